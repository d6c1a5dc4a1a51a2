#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "oauth_callback.h"
#include "auth_vocabulary.h"

struct ICoreWebView2;
struct ICoreWebView2Controller;
struct ICoreWebView2Environment;
struct ICoreWebView2NavigationCompletedEventArgs;
struct ICoreWebView2NavigationStartingEventArgs;
class OAuthManager;

// The interactive part of the authorization-code flow: a top-level window hosting the embedded
// browser, which it navigates to the authorization URL. The navigation to the redirect URI is
// cancelled, its code exchanged for tokens with the flow's OAuth manager, and the outcome
// handed to the callback on the main thread through WM_OAUTH_COMPLETE. The window is then
// hidden, not destroyed: a later flow on the same object renews silently in the hidden browser,
// whose cookies keep the authorization server's session.
//
// A silent renewal that cannot reach the redirect (the server asks for the user, a navigation
// fails, or nothing arrives within the renewal bound) ends with an empty result through the
// same message. Main thread only.
class OAuthWebViewWindow {
 public:
  explicit OAuthWebViewWindow(HWND parent, uint32_t silent_renewal_bound_ms = 30000);
  ~OAuthWebViewWindow();
  OAuthWebViewWindow(const OAuthWebViewWindow&) = delete;
  OAuthWebViewWindow& operator=(const OAuthWebViewWindow&) = delete;

  // User type: 0 citizen, 1 professional. The flow keeps its share of `manager`.
  void StartOAuthFlow(const std::string& authorization_url, const std::string& redirect_uri,
                      std::shared_ptr<OAuthManager> manager, int user_type,
                      OAuthCallback callback, const std::string& locale);
  // Runs the stored callback with a copy of the stored result (on WM_OAUTH_COMPLETE).
  void InvokeCallback();

  void Hide();
  HWND window() const { return window_; }
  ICoreWebView2* webview() const { return webview_.Get(); }
  bool IsSilentRenewalPending() const { return silent_renewal_pending_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  void RenewSilently();
  void CreateBrowserWindow();
  void DestroyHostWindow();
  void InitializeWebView();
  HRESULT OnEnvironmentCreated(HRESULT result, ICoreWebView2Environment* environment);
  HRESULT OnControllerCreated(HRESULT result, ICoreWebView2Controller* controller);
  HRESULT OnNavigationStarting(ICoreWebView2* sender,
                               ICoreWebView2NavigationStartingEventArgs* args);
  HRESULT OnNavigationCompleted(ICoreWebView2* sender,
                                ICoreWebView2NavigationCompletedEventArgs* args);
  void HandleRedirect(const std::string& uri);
  void PostOutcome(std::optional<murako::OAuthToken> outcome);
  void EndSilentRenewal(const std::string& reason);
  void StopRenewalTimer();
  void FailAtOnce(const char* first_line, const char* second_line);
  static bool RunCallback(OAuthCallback callback, std::optional<murako::OAuthToken> outcome);
  void ResizeBrowser();

  HWND parent_;
  HWND window_ = nullptr;
  Microsoft::WRL::ComPtr<ICoreWebView2Controller> controller_;
  Microsoft::WRL::ComPtr<ICoreWebView2> webview_;
  std::string authorization_url_;
  std::string redirect_uri_;
  std::shared_ptr<OAuthManager> manager_;
  int user_type_ = 0;
  OAuthCallback callback_;
  std::optional<murako::OAuthToken> result_;
  std::string locale_ = "es";

  uint32_t silent_renewal_bound_ms_;
  bool silent_renewal_pending_ = false;
  std::optional<UINT64> renewal_navigation_;  // the id of the renewal's navigation, once seen
  // Completions may arrive after this object is gone; they check this first.
  std::shared_ptr<OAuthWebViewWindow*> alive_;
};
