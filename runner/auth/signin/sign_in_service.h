#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "auth_vocabulary.h"
#include "pending_reply.h"
#include "sign_in_results.h"
#include "silent_refresh.h"

class OAuthManager;
class OAuthWebViewWindow;

struct SignInServiceOptions {
  // How long a renewal in the hidden browser may go without reaching the redirect before it
  // ends with an empty result (the refresh-token fallback then runs).
  uint32_t silent_renewal_bound_ms = 30000;
};

// The sign-in flows of the main window: account linking, the plain sign-in, silent renewal
// through the hidden browser and the cookie listing. Owns the sign-in window, the renewal
// guard and a share of the current OAuth manager; every flow keeps the manager it started
// with, so replacing the manager ("setEnvironment") never pulls it from under a running flow.
// Main thread only; nothing here throws.
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
  std::shared_ptr<OAuthManager> Manager() const;

  // "vincularCertificadoCiudadano" (0) / "vincularCertificadoProfesional" (1). `locale` is the
  // "locale" argument when the arguments are a map holding a string there.
  void LinkCertificates(int user_type, const std::optional<std::string>& locale,
                        std::unique_ptr<LinkingReply> reply);
  // "startOAuth", after the channel validated "userType" and "redirectUri".
  void StartOAuth(const std::string& user_type, const std::string& redirect_uri,
                  std::unique_ptr<StartOAuthReply> reply);
  // "refreshTokenWithCookies", first step: logs the request and answers at once when a renewal
  // is still pending. Nothing means the channel validates "userType" and calls
  // RefreshTokenWithCookies.
  std::optional<SilentRefreshResult> RejectConcurrentRefresh();
  void RefreshTokenWithCookies(const std::string& user_type,
                               std::unique_ptr<SilentRefreshReply> reply);
  // "getCookiesInfo".
  void GetCookiesInfo(std::unique_ptr<CookiesReply> reply);

  // WM_OAUTH_COMPLETE reached the main window: logs it and runs the finished sign-in's
  // continuation.
  void OnOAuthComplete();

  // The sign-in window, if any (hidden after a sign-in, kept for renewal and cookies).
  OAuthWebViewWindow* SignInWindow() const;
  void HideSignInWindow();

 private:
  void ReplaceSignInWindow();
  void OnStartOAuthTokenReceived(const std::string& user_type,
                                 const std::shared_ptr<PendingReply<murako::OAuthToken>>& reply,
                                 const std::optional<murako::OAuthToken>& token);

  HWND main_window_;
  std::shared_ptr<OAuthManager> manager_;
  std::unique_ptr<OAuthWebViewWindow> window_;
  SilentRefresh silent_refresh_;
  SignInServiceOptions options_;
};
