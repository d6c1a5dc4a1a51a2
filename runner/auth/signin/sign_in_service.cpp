#include "sign_in_service.h"

#include <utility>

#include "account_linking.h"
#include "auth_vocabulary.h"
#include "cookie_listing.h"
#include "flow_proof.h"
#include "login_hint.h"
#include "log_redaction.h"
#include "logger.h"
#include "oauth_manager.h"
#include "oauth_protocol.h"
#include "pending_reply.h"
#include "secure_storage.h"
#include "service_endpoints.h"
#include "session_state.h"
#include "webview_runtime.h"

namespace {

constexpr char kLock[] = "\xF0\x9F\x94\x90";     // U+1F510
constexpr char kCookie[] = "\xF0\x9F\x8D\xAA";   // U+1F36A
constexpr char kCheck[] = "\xE2\x9C\x85";        // U+2705
constexpr char kSessionExpired[] = "Silent refresh failed. Session may have expired.";

// The failure answers of calls whose reply is released unanswered.
void LinkingUnanswered(LinkingReply& reply) {
  AccountLinkingResult result;
  result.message = kLinkingAuthenticationFailed;
  reply.Success(result);
}
void StartOAuthUnanswered(StartOAuthReply& reply) {
  reply.Error(kOAuthFailedCode, kOAuthFailedMessage);
}
void RefreshUnanswered(SilentRefreshReply& reply) {
  reply.Success(SilentRefreshResult{false, kSessionExpired, ""});
}
void CookiesUnanswered(CookiesReply& reply) {
  reply.Error(kGetCookiesFailedCode, kGetCookiesFailedMessage);
}

// The flow's state and PKCE verifier; logged when the system cannot supply them.
std::optional<AuthorizationRequestProof> FlowProof() {
  std::optional<AuthorizationRequestProof> proof = NewAuthorizationRequestProof();
  if (!proof) LogError("Could not create the sign-in flow's state and PKCE verifier");
  return proof;
}

}  // namespace

SignInService::SignInService(HWND main_window, std::shared_ptr<OAuthManager> manager,
                             std::function<void()> show_session_expired_notice,
                             SignInServiceOptions options)
    : main_window_(main_window),
      manager_(std::move(manager)),
      silent_refresh_(std::move(show_session_expired_notice)),
      options_(options),
      alive_(std::make_shared<SignInService*>(this)) {}

SignInService::~SignInService() {
  alive_.reset();
  DisarmPendingFlows("the main window is closing");
}

void SignInService::SetOAuthManager(std::shared_ptr<OAuthManager> manager) {
  manager_ = std::move(manager);
}

std::shared_ptr<OAuthManager> SignInService::Manager() const { return manager_; }

OAuthWebViewWindow* SignInService::SignInWindow() const { return window_.get(); }

void SignInService::HideSignInWindow() {
  if (window_) window_->Hide();
}

// The flow of the window being replaced is answered before its window goes. Its browser may
// still be deleting a signed-out account's cookies: the new browser then deletes the profile's
// cookies before it navigates.
void SignInService::ReplaceSignInWindow() {
  if (!deleting_.empty()) MarkSignedOut();
  if (window_) window_->AbandonFlow("a new sign-in replaced it");
  Retire(std::move(window_));
  window_ = std::make_unique<OAuthWebViewWindow>(main_window_, options_);
}

SignInService::FlowAnswer SignInService::Answering(OAuthCallback callback) {
  return [callback](const std::shared_ptr<OAuthManager>&) { return callback; };
}

// The one start of every flow: its state and verifier, its authorization URL from the current
// manager, then the flow in a new sign-in window, or as a renewal in the hidden one in place.
bool SignInService::StartFlow(const FlowStart& start, const FlowAnswer& answer) {
  const std::optional<AuthorizationRequestProof> proof = FlowProof();
  if (!proof) return false;
  if (start.renewal) LogInfo("Using existing OAuth WebView for silent renewal (like iOS)...");
  const std::shared_ptr<OAuthManager> manager = manager_;
  const std::string url =
      manager->BuildAuthorizationUrl(OAuthUserTypeNumber(start.type), start.redirect_uri,
                                     start.locale, start.login_hint, *proof);
  if (start.renewal) {
    LogInfo("Starting silent OAuth flow with existing WebView");
    LogInfo("Authorization URL: " + RedactAddressForLog(url));
  }
  OAuthCallback callback = answer(manager);
  if (!start.renewal) ReplaceSignInWindow();
  window_->StartOAuthFlow(url, start.redirect_uri, manager, start.type, std::move(callback),
                          start.locale, *proof);
  return true;
}

void SignInService::LinkCertificates(UserType type, const std::optional<std::string>& locale,
                                     std::unique_ptr<LinkingReply> reply) {
  LogInfo(std::string(kLock) + " [Windows] Starting complete " + UserTypeWord(type) +
          " linking flow...");
  const std::string used_locale = locale.value_or("es");
  LogInfo("  Using locale: " + used_locale);
  SecureStorage::StoreToken(kAppLocaleKey, used_locale);
  const std::string login_hint = ReadLoginHint(type);

  auto pending = PendingReply<AccountLinkingResult>::Hold(std::move(reply), LinkingUnanswered);
  const auto linked = [pending, type](std::optional<murako::OAuthToken> token) {
    if (pending->IsAnswered()) return;
    pending->Success(AccountLinking(type).OnLinkingTokenReceived(token));
  };
  if (!StartFlow({type, kOAuthRedirectUri, used_locale, login_hint, false}, Answering(linked))) {
    linked(std::nullopt);
  }
}

void SignInService::StartOAuth(UserType type, const std::string& redirect_uri,
                               std::unique_ptr<StartOAuthReply> reply) {
  auto pending = PendingReply<murako::OAuthToken>::Hold(std::move(reply), StartOAuthUnanswered);
  const auto received = [this, pending, type](std::optional<murako::OAuthToken> token) {
    if (pending->IsAnswered()) return;
    OnStartOAuthTokenReceived(type, pending, token);
  };
  if (!StartFlow({type, redirect_uri, "es", "", false}, Answering(received))) {
    received(std::nullopt);
  }
}

void SignInService::OnStartOAuthTokenReceived(
    UserType type, const std::shared_ptr<PendingReply<murako::OAuthToken>>& reply,
    const std::optional<murako::OAuthToken>& token) {
  LogInfo("OAuth callback invoked in Flutter window");
  if (token) {
    LogInfo("Token received, creating Flutter map");
    const LinkingStorageKeys keys = LinkingStorageKeysFor(type);
    LogInfo("Storing access token in Credential Manager...");
    if (SecureStorage::StoreToken(keys.access_token, token->access_token)) {
      LogInfo("Access token stored successfully");
      LogOAuthNotice("Token guardado (" + UserTypeWord(type) + ")", true);
    } else {
      LogError("Failed to store access token");
      LogOAuthNotice("Error guardando token", false);
    }
    if (!token->refresh_token.empty()) {
      LogInfo("Storing refresh token in Credential Manager...");
      if (SecureStorage::StoreToken(keys.refresh_token, token->refresh_token)) {
        LogInfo("Refresh token stored successfully");
      } else {
        LogError("Failed to store refresh token");
      }
    }
    if (RecordTokenEnvironment(type)) {
      LogInfo("Calling result->Success()");
      reply->Success(*token);
      LogInfo("result->Success() completed");
    } else {
      reply->Error(kOAuthFailedCode, kOAuthFailedMessage);
    }
  } else {
    LogError("Token is null, calling result->Error()");
    LogOAuthNotice("No se obtuvo token", false);
    reply->Error(kOAuthFailedCode, kOAuthFailedMessage);
  }
  LogInfo("Hiding OAuth WebView (keeping alive for cookies POC)");
  if (window_) {
    window_->Hide();
    LogInfo(std::string(kCheck) + " OAuth window hidden - WebView kept alive for cookies");
  }
  LogInfo("OAuth callback completed");
}

std::optional<SilentRefreshResult> SignInService::RejectConcurrentRefresh() {
  return silent_refresh_.CheckCanStart(window_ && window_->IsInteractiveFlowPending());
}

void SignInService::RefreshTokenWithCookies(UserType type,
                                            std::unique_ptr<SilentRefreshReply> reply) {
  auto pending = PendingReply<SilentRefreshResult>::Hold(std::move(reply), RefreshUnanswered);
  LogInfo("User type: " + UserTypeWord(type));
  if (!window_) {
    pending->Success(SilentRefresh::WebViewUnavailable());
    return;
  }
  if (!HasStoredSession(type)) {
    LogWarning("No stored session for " + UserTypeWord(type) + " - silent renewal not attempted");
    pending->Success(SilentRefreshResult{false, kSessionExpired, ""});
    return;
  }
  const auto renew = [this, pending, type](const std::shared_ptr<OAuthManager>& manager) {
    const SilentRenewal renewal = silent_refresh_.MarkStarted(TokenRefresherOf(manager), type);
    return [this, pending, renewal, type](std::optional<murako::OAuthToken> token) {
      if (pending->IsAnswered()) return;
      pending->Success(silent_refresh_.OnSilentRefreshTokenReceived(renewal, type, token));
    };
  };
  if (!StartFlow({type, kOAuthRedirectUri, "es", "", true}, renew)) {
    pending->Success(SilentRefreshResult{false, kSessionExpired, ""});
    return;
  }
  LogInfo("DEBUG: WebView kept VISIBLE for debugging");
}

void SignInService::GetCookiesInfo(std::unique_ptr<CookiesReply> reply) {
  auto pending = PendingReply<CookieListing>::Hold(std::move(reply), CookiesUnanswered);
  LogInfo(std::string(kCookie) + " [POC] Getting cookies from WebView2...");
  if (!window_ || window_->webview() == nullptr) {
    pending->Success(CookieListingWithoutBrowser());
    return;
  }
  RequestBrowserCookies(window_->webview(), pending);
}

void SignInService::OnOAuthComplete(WPARAM flow) {
  LogInfo("Received WM_OAUTH_COMPLETE on main thread");
  if (window_) window_->InvokeCallback(flow);
}
