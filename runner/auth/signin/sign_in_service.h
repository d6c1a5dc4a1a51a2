#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "auth_vocabulary.h"
#include "cookie_deletion.h"
#include "oauth_webview_window.h"
#include "pending_reply.h"
#include "sign_in_results.h"
#include "silent_refresh.h"

class OAuthManager;

using SignInServiceOptions = SignInWindowOptions;

// The sign-in flows of the main window: account linking, the plain sign-in, silent renewal
// through the hidden browser, the cookie listing and the end of the browser's session at
// sign-out. Owns the sign-in window, the renewal guard and the program's current OAuth
// manager; every flow keeps a share of the manager it started with, so replacing the manager
// ("setEnvironment") never pulls it from under a running flow. Every flow has its own state
// and PKCE verifier, and every call gets exactly one answer: a flow replaced by a new one is
// answered first, and a reply released unanswered answers the call's failure. Main thread
// only; nothing here throws.
class SignInService {
 public:
  // `main_window` receives WM_OAUTH_COMPLETE and owns the sign-in window.
  // `show_session_expired_notice` runs when a silent renewal and its fallback both fail.
  SignInService(HWND main_window, std::shared_ptr<OAuthManager> manager,
                std::function<void()> show_session_expired_notice,
                SignInServiceOptions options = {});
  ~SignInService();
  SignInService(const SignInService&) = delete;
  SignInService& operator=(const SignInService&) = delete;

  // "setEnvironment": later flows use `manager`; running ones keep theirs.
  void SetOAuthManager(std::shared_ptr<OAuthManager> manager);
  // The current manager, for the channels' own calls.
  std::shared_ptr<OAuthManager> Manager() const;

  // "vincularCertificadoCiudadano" / "vincularCertificadoProfesional". `locale` is the
  // "locale" argument when the arguments are a map holding a string there.
  void LinkCertificates(UserType type, const std::optional<std::string>& locale,
                        std::unique_ptr<LinkingReply> reply);
  // "startOAuth", after the channel validated "userType" and "redirectUri".
  void StartOAuth(UserType type, const std::string& redirect_uri,
                  std::unique_ptr<StartOAuthReply> reply);
  // "refreshTokenWithCookies", first step: logs the request and answers at once when a renewal
  // or an interactive sign-in is still pending. Nothing means the channel validates "userType"
  // and calls RefreshTokenWithCookies.
  std::optional<SilentRefreshResult> RejectConcurrentRefresh();
  void RefreshTokenWithCookies(UserType type, std::unique_ptr<SilentRefreshReply> reply);
  // "getCookiesInfo".
  void GetCookiesInfo(std::unique_ptr<CookiesReply> reply);

  // Every sign-out, in this order: what is pending for the account is disarmed (each pending
  // flow answered with its failure; an abandoned renewal makes no request, no grant and no
  // store; the other account's flow goes on), then
  // `clear_stored_session` deletes the tokens (and whatever else that sign-out removes), then
  // the browser's session ends. `type` names the one account signed out: while the other
  // still holds a session or has a sign-in under way (its first one included), only this
  // account's page is stopped and its window hidden (never the other's sign-in), and only the
  // cookies sent to this account's authorization hosts and the site data of their origins go
  // (the browser stays; the profile is marked signed out when they cannot be deleted); none,
  // or with nothing of the other account left, EndBrowserSession.
  // Asked while a flow's result is being delivered (a message dispatched inside the callback),
  // it would pull the window from under the delivery: nothing runs and the answer is false
  // (logged), for the caller to answer its failure.
  bool SignOut(const std::function<void()>& clear_stored_session,
               std::optional<UserType> type = std::nullopt);
  // The sign-out of both accounts at the end of the program (the close, the end of the Windows
  // session, an installer's close): it runs at once, also while a flow's result is being
  // delivered, whose window then stays until the delivery has returned. The browser's cookie
  // deletions are awaited, dispatching messages, for at most `kEndOfProgramWaitMs`; the profile
  // is marked signed out before, so a next start deletes what a cut-off deletion left.
  static constexpr uint32_t kEndOfProgramWaitMs = 3000;
  void SignOutAtEnd(const std::function<void()>& clear_stored_session);
  // The pending flows of `type`, or of both accounts when none.
  void DisarmPendingFlows(const std::string& reason, std::optional<UserType> type = std::nullopt);
  // The profile is marked signed out and the browser stopped; once the browser confirmed that the
  // profile's site data (cookies, storage, cache) is deleted, this sign-out's mark is taken. Then,
  // or at the time limit (the mark stays), the hidden sign-in window and its browser are closed
  // (a window whose flow is being delivered once the service ends).
  void EndBrowserSession();

  // WM_OAUTH_COMPLETE reached the main window: logs it and runs the continuation of the flow
  // named by `flow` (its wparam), if that flow is still the current one.
  void OnOAuthComplete(WPARAM flow);

  // A flow's result is being delivered: what the delivery uses must outlive it.
  bool IsDelivering() const;

  // The sign-in window, if any (hidden after a sign-in, kept for renewal and cookies).
  OAuthWebViewWindow* SignInWindow() const;
  void HideSignInWindow();

 private:
  // The sign-out itself, once it may run: `type`'s flows (or all) disarmed, the stored session
  // cleared, then the browser's session of that account, or all of it, ended.
  void RunSignOut(const std::function<void()>& clear_stored_session,
                  std::optional<UserType> type);
  // What the starts of the flows differ in.
  struct FlowStart {
    UserType type;
    std::string redirect_uri;
    std::string locale;
    std::string login_hint;
    // A silent renewal in the window in place; any other flow gets a new sign-in window.
    bool renewal;
  };
  // Makes the flow's callback once its authorization URL is built, from the flow's manager.
  using FlowAnswer = std::function<OAuthCallback(const std::shared_ptr<OAuthManager>&)>;
  static FlowAnswer Answering(OAuthCallback callback);

  // False, and nothing started, when the flow's state and verifier cannot be made.
  bool StartFlow(const FlowStart& start, const FlowAnswer& answer);
  void ReplaceSignInWindow();
  void EndAccountBrowserSession(UserType type);
  // Whether the window holds a flow of the account other than `type`, interactive or silent.
  bool OtherAccountFlowPending(UserType type) const;
  // The other account keeps a stored session or a sign-in under way: `type`'s sign-out is its
  // own, not the end of the browser's session.
  bool OtherAccountStays(UserType type) const;
  // Starts a cookie deletion in `window`'s browser through `start`, keeping the window while it
  // runs; `outcome` gets its answer. False when it did not start.
  bool DeleteCookiesIn(const OAuthWebViewWindow* window,
                       const std::function<bool(CookieDeletionDone)>& start,
                       std::function<void(bool)> outcome);
  void Retire(std::unique_ptr<OAuthWebViewWindow> window);
  void DeletionDone(const OAuthWebViewWindow* window);
  void AwaitCookieDeletions(uint32_t limit_ms);
  void OnStartOAuthTokenReceived(UserType type,
                                 const std::shared_ptr<PendingReply<murako::OAuthToken>>& reply,
                                 const std::optional<murako::OAuthToken>& token);

  HWND main_window_;
  std::shared_ptr<OAuthManager> manager_;
  std::unique_ptr<OAuthWebViewWindow> window_;
  // Windows whose browser is deleting its cookies before it closes, and one entry per deletion
  // in progress (in these or in the current window).
  std::vector<std::unique_ptr<OAuthWebViewWindow>> closing_;
  std::vector<const OAuthWebViewWindow*> deleting_;
  SilentRefresh silent_refresh_;
  SignInServiceOptions options_;
  // Completions may arrive after this object is gone; they check this first.
  std::shared_ptr<SignInService*> alive_;
};
