#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "auth_vocabulary.h"
#include "flow_proof.h"
#include "oauth_callback.h"

struct ICoreWebView2;
struct ICoreWebView2Controller;
struct ICoreWebView2Environment;
struct ICoreWebView2NavigationCompletedEventArgs;
struct ICoreWebView2NavigationStartingEventArgs;
class OAuthManager;

struct SignInWindowOptions {
  // How long a renewal in the hidden browser may go without reaching the redirect.
  uint32_t silent_renewal_bound_ms = 30000;
  // How long a page loaded during a renewal may stay without a further navigation before the
  // renewal ends without a token (the server shows its login page: the user is needed).
  uint32_t silent_renewal_settle_ms = 2000;
  // How long the browser may take to confirm that its cookies are deleted.
  uint32_t cookie_deletion_bound_ms = 10000;
};

// The interactive part of the authorization-code flow: a top-level window hosting the embedded
// browser, which it navigates to the authorization URL. The browser goes only to https
// addresses; the navigation to the redirect URI is cancelled and, when its state is the flow's,
// its code exchanged (with the flow's PKCE verifier) through the flow's OAuth manager. The
// outcome reaches the callback on the main thread through WM_OAUTH_COMPLETE, whose wparam
// names the flow, so a message of a flow that is no longer current is ignored. The window is
// then hidden, not destroyed: a later flow on the same object renews silently in the hidden
// browser, whose cookies keep the authorization server's session. A new browser on a profile
// marked signed out has its site data deleted and waits for the browser's word that it is gone
// before its first navigation (then the mark it found is taken); when it cannot be deleted, the
// flow ends without a token and the mark stays. A browser that comes after its flow was answered
// (a sign-out, a new sign-in) is closed unused, and the one in place stays.
//
// Every flow is answered exactly once: with a token, or empty when the redirect carries an
// error, no code or another flow's state, when the user closes the window, when a renewal ends
// without the redirect (a failed navigation, a page that stays, or its bound), or when the
// flow is abandoned (a new flow, a sign-out). Main thread only.
class OAuthWebViewWindow {
 public:
  explicit OAuthWebViewWindow(HWND parent, SignInWindowOptions options = {});
  ~OAuthWebViewWindow();
  OAuthWebViewWindow(const OAuthWebViewWindow&) = delete;
  OAuthWebViewWindow& operator=(const OAuthWebViewWindow&) = delete;

  // The flow keeps its share of `manager`. `proof` holds the state and PKCE verifier the
  // authorization URL was built with. A flow still pending on this object is answered (empty)
  // first. A redirect URI that cannot be recognised fails the flow at once.
  void StartOAuthFlow(const std::string& authorization_url, const std::string& redirect_uri,
                      std::shared_ptr<OAuthManager> manager, UserType user_type,
                      OAuthCallback callback, const std::string& locale,
                      const AuthorizationRequestProof& proof = {});
  // WM_OAUTH_COMPLETE with the flow named in its wparam: runs that flow's callback with its
  // outcome, once; a message of any other flow is ignored.
  void InvokeCallback(WPARAM flow);
  // Answers a pending flow now: with its outcome when one is already stored and
  // `keep_outcome` (a new flow replaces it), else empty (a sign-out).
  void AbandonFlow(const std::string& reason, bool keep_outcome = true);

  void Hide();
  // Ends whatever the browser is loading: a page still on its way can set cookies no more.
  void StopBrowser();
  // The callback of a flow is running (a delivery is on the stack): this object must outlive it.
  bool IsDelivering() const { return deliveries_ > 0; }
  HWND window() const { return window_; }
  ICoreWebView2* webview() const { return webview_.Get(); }
  bool IsSilentRenewalPending() const { return phase_ == Phase::kRenewal; }
  // A flow not answered yet: under way, or its outcome posted.
  bool IsFlowPending() const { return phase_ != Phase::kIdle; }
  // The user type of the current or last flow.
  UserType FlowUserType() const { return user_type_; }
  // A sign-in the user is taking part in: the window is shown, or its outcome not yet delivered.
  bool IsInteractiveFlowPending() const;

 private:
  enum class Phase { kIdle, kInteractive, kRenewal, kPosted };
  static constexpr UINT_PTR kRenewalTimer = 1;
  static constexpr UINT_PTR kSettleTimer = 2;

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  void RenewSilently();
  void CreateBrowserWindow();
  void DestroyHostWindow();
  void InitializeWebView();
  HRESULT OnEnvironmentCreated(HRESULT result, ICoreWebView2Environment* environment);
  HRESULT OnControllerCreated(HRESULT result, ICoreWebView2Controller* controller);
  void DeleteSignedOutSiteData();
  void NavigateToAuthorization();
  HRESULT OnNavigationStarting(ICoreWebView2* sender,
                               ICoreWebView2NavigationStartingEventArgs* args);
  HRESULT OnNavigationCompleted(ICoreWebView2* sender,
                                ICoreWebView2NavigationCompletedEventArgs* args);
  void WatchRenewal(ICoreWebView2NavigationCompletedEventArgs* args, bool success);
  void HandleRedirect(const std::string& uri);
  std::optional<murako::OAuthToken> ExchangeCode(const std::string& code);
  void PostOutcome(std::optional<murako::OAuthToken> outcome);
  void EndSilentRenewal(const std::string& reason);
  void StopRenewalTimers();
  void FailAtOnce(const char* first_line, const char* second_line);
  void Deliver(std::optional<murako::OAuthToken> outcome);
  static bool RunCallback(OAuthCallback callback, std::optional<murako::OAuthToken> outcome);
  void ResizeBrowser();

  HWND parent_;
  SignInWindowOptions options_;
  HWND window_ = nullptr;
  Microsoft::WRL::ComPtr<ICoreWebView2Controller> controller_;
  Microsoft::WRL::ComPtr<ICoreWebView2> webview_;
  std::string authorization_url_;
  std::string redirect_uri_;
  std::shared_ptr<OAuthManager> manager_;
  UserType user_type_ = UserType::kCitizen;
  OAuthCallback callback_;
  std::optional<murako::OAuthToken> result_;
  std::string locale_ = "es";
  AuthorizationRequestProof proof_;

  WPARAM flow_ = 0;
  Phase phase_ = Phase::kIdle;
  bool interactive_ = false;                   // the current flow shows the window
  int deliveries_ = 0;                         // callbacks running
  std::optional<UINT64> renewal_navigation_;  // the first navigation of the renewal, once seen
  // Completions may arrive after this object is gone; they check this first.
  std::shared_ptr<OAuthWebViewWindow*> alive_;
};
