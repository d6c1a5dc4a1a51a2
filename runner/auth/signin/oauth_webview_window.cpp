// OAuthWebViewWindow, its flows: starting one (interactively or as a silent renewal), reading
// the redirect, and giving every flow its one answer through WM_OAUTH_COMPLETE or at once.
// The browser and its window are in oauth_webview_browser.cpp.
#include "oauth_webview_window.h"

#include <WebView2.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <utility>

#include "auth_vocabulary.h"
#include "guarded_entry.h"
#include "log_redaction.h"
#include "logger.h"
#include "oauth_manager.h"
#include "sign_in_urls.h"
#include "string_conversion.h"

namespace {

constexpr size_t kLoggedCodeHead = 10;
constexpr size_t kLoggedTokenHead = 20;
constexpr char kCheck[] = "\xE2\x9C\x85";  // U+2705
constexpr char kCross[] = "\xE2\x9D\x8C";  // U+274C

int64_t UnixMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Flows are numbered across every sign-in window of the process, so that the message of a
// replaced window never names the flow of its successor.
WPARAM NextFlow() {
  static std::atomic<WPARAM> last{0};
  WPARAM flow = ++last;
  if (flow == 0) flow = ++last;
  return flow;
}

std::string HexCode(HRESULT code) {
  char text[16];
  std::snprintf(text, sizeof(text), "%08X", static_cast<unsigned>(code));
  return text;
}

}  // namespace

OAuthWebViewWindow::OAuthWebViewWindow(HWND parent, SignInWindowOptions options)
    : parent_(parent), options_(options), alive_(std::make_shared<OAuthWebViewWindow*>(this)) {}

OAuthWebViewWindow::~OAuthWebViewWindow() {
  alive_.reset();
  if (controller_) controller_->Close();
  DestroyHostWindow();
}

// Detached first: destroying it here is no user closing it.
void OAuthWebViewWindow::DestroyHostWindow() {
  if (window_ == nullptr) return;
  StopRenewalTimers();
  SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
  window_ = nullptr;
}

bool OAuthWebViewWindow::IsInteractiveFlowPending() const {
  return interactive_ && (phase_ == Phase::kInteractive || phase_ == Phase::kPosted);
}

void OAuthWebViewWindow::StartOAuthFlow(const std::string& authorization_url,
                                        const std::string& redirect_uri,
                                        std::shared_ptr<OAuthManager> manager,
                                        UserType user_type, OAuthCallback callback,
                                        const std::string& locale,
                                        const AuthorizationRequestProof& proof) {
  AbandonFlow("a new sign-in flow started");
  LogInfo("Starting OAuth flow with URL: " + RedactAddressForLog(authorization_url));
  user_type_ = user_type;
  LogInfo("User type: " + UserTypeWord(user_type_));
  authorization_url_ = authorization_url;
  redirect_uri_ = redirect_uri;
  manager_ = std::move(manager);
  callback_ = std::move(callback);
  locale_ = locale;
  proof_ = proof;
  result_.reset();
  flow_ = NextFlow();

  if (!IsUsableRedirectUri(redirect_uri_)) {
    FailAtOnce("Redirect URI cannot be recognised in a navigation", nullptr);
    return;
  }
  if (window_ != nullptr && webview_) {
    RenewSilently();
    return;
  }
  LogInfo("Creating new WebView window for initial OAuth");
  phase_ = Phase::kInteractive;
  interactive_ = true;
  CreateBrowserWindow();
}

void OAuthWebViewWindow::RenewSilently() {
  LogInfo("WebView already exists - performing silent OAuth renewal");
  Hide();
  LogInfo("WebView window kept hidden for silent renewal");
  const int64_t now_ms = UnixMilliseconds();
  const std::string navigation_url = WithCacheBuster(authorization_url_, now_ms);
  LogInfo("Adding cache-buster parameter: _t=" + std::to_string(now_ms));
  LogInfo("Navigating directly to OAuth URL (like iOS - no reset)...");

  phase_ = Phase::kRenewal;
  interactive_ = false;
  renewal_navigation_.reset();
  SetTimer(window_, kRenewalTimer, options_.silent_renewal_bound_ms, nullptr);
  LogInfo("Calling webview_->Navigate() for silent renewal...");
  const HRESULT navigated = webview_->Navigate(Utf8ToWide(navigation_url).c_str());
  if (SUCCEEDED(navigated)) {
    LogInfo(std::string(kCheck) + " Navigate() succeeded - navigating to " +
            RedactAddressForLog(navigation_url));
    return;
  }
  LogError(std::string(kCross) + " Navigate() FAILED with HRESULT: 0x" + HexCode(navigated));
  LogError("   Decimal: " + std::to_string(static_cast<long>(navigated)));
  EndSilentRenewal("the navigation could not start");
}

void OAuthWebViewWindow::HandleRedirect(const std::string& uri) {
  LogInfo("Navigation starting: " + RedactAddressForLog(uri));
  LogInfo("Detected OAuth redirect");
  if (phase_ != Phase::kInteractive && phase_ != Phase::kRenewal) {
    LogError("Callback is null or parent window invalid");
    Hide();
    return;
  }
  const RedirectParameters redirect = ReadRedirectParameters(uri);
  const RedirectOutcome outcome = JudgeRedirect(redirect, proof_.state);
  // Any page can send the window to the redirect URI: only the flow's own state ends it.
  if (outcome == RedirectOutcome::kStateMismatch) {
    LogError("OAuth state mismatch - redirect cancelled, still waiting for the sign-in's own");
    return;
  }
  StopRenewalTimers();
  std::optional<murako::OAuthToken> token;
  switch (outcome) {
    case RedirectOutcome::kStateMismatch:
      break;
    case RedirectOutcome::kError:
      LogError("Authorization server answered error: " + *redirect.error);
      LogError("Failed to extract authorization code from redirect");
      break;
    case RedirectOutcome::kNoCode:
      LogError("Failed to extract authorization code from redirect");
      break;
    case RedirectOutcome::kCode:
      token = ExchangeCode(*redirect.code);
      break;
  }
  LogInfo("Posting callback to main thread...");
  PostOutcome(std::move(token));
  LogInfo("Hiding WebView window (keeping alive for silent renewal)...");
  Hide();
  LogInfo("WebView window hidden (not destroyed)");
}

std::optional<murako::OAuthToken> OAuthWebViewWindow::ExchangeCode(const std::string& code) {
  LogInfo("Authorization code extracted: " + SecretHead(code, kLoggedCodeHead));
  LogInfo("Starting token exchange...");
  std::optional<murako::OAuthToken> token;
  if (manager_) {
    token = manager_->ExchangeCodeForToken(code, redirect_uri_, OAuthUserTypeNumber(user_type_),
                                           proof_.code_verifier);
  }
  if (token) {
    LogInfo("Token exchange successful");
    LogInfo("Access token: " + SecretHead(token->access_token, kLoggedTokenHead));
  } else {
    LogError("Token exchange failed - no token returned");
  }
  return token;
}

void OAuthWebViewWindow::PostOutcome(std::optional<murako::OAuthToken> outcome) {
  result_ = std::move(outcome);
  phase_ = Phase::kPosted;
  if (parent_ == nullptr || !PostMessageW(parent_, WM_OAUTH_COMPLETE, flow_, 0)) {
    LogError("Posting WM_OAUTH_COMPLETE failed (error " + std::to_string(GetLastError()) +
             ") - answering at once");
    Deliver(result_);
    return;
  }
  LogInfo("Callback posted to main thread");
}

void OAuthWebViewWindow::EndSilentRenewal(const std::string& reason) {
  if (phase_ != Phase::kRenewal) return;
  StopRenewalTimers();
  LogWarning("Silent renewal ended without a token: " + reason);
  PostOutcome(std::nullopt);
}

void OAuthWebViewWindow::StopRenewalTimers() {
  if (window_ == nullptr) return;
  KillTimer(window_, kRenewalTimer);
  KillTimer(window_, kSettleTimer);
}

void OAuthWebViewWindow::FailAtOnce(const char* first_line, const char* second_line) {
  if (first_line != nullptr) LogError(first_line);
  if (second_line != nullptr) LogError(second_line);
  Deliver(std::nullopt);
}

void OAuthWebViewWindow::AbandonFlow(const std::string& reason, bool keep_outcome) {
  if (phase_ == Phase::kIdle) return;
  StopRenewalTimers();
  if (phase_ == Phase::kRenewal) StopBrowser();  // its page belongs to no flow any more
  const bool outcome_known = keep_outcome && phase_ == Phase::kPosted;
  LogWarning("Sign-in flow answered early: " + reason);
  Deliver(outcome_known ? result_ : std::nullopt);
}

void OAuthWebViewWindow::InvokeCallback(WPARAM flow) {
  LogInfo("InvokeCallback called on main thread");
  if (flow != flow_ || phase_ != Phase::kPosted) {
    LogWarning("WM_OAUTH_COMPLETE of a sign-in flow that is no longer pending - ignored");
    return;
  }
  if (!callback_) {
    LogError("Callback is null");
    phase_ = Phase::kIdle;
    return;
  }
  Deliver(result_);
}

// The flow's one answer. The callback runs from a copy: it may start the next flow.
void OAuthWebViewWindow::Deliver(std::optional<murako::OAuthToken> outcome) {
  phase_ = Phase::kIdle;
  if (!callback_) return;
  ++deliveries_;
  const bool ran = RunCallback(callback_, std::move(outcome));
  --deliveries_;
  if (ran) LogInfo("Callback invoked successfully on main thread");
}

bool OAuthWebViewWindow::RunCallback(OAuthCallback callback,
                                     std::optional<murako::OAuthToken> outcome) {
  return GuardEntry(
      [&] {
        callback(std::move(outcome));
        return true;
      },
      [](const CaughtFailure& caught) {
        if (caught.IsStandard()) {
          LogEntryFailure("Exception in callback: ", caught);
        } else {
          LogError("Unknown exception in callback");
        }
        return false;
      });
}

void OAuthWebViewWindow::Hide() {
  if (window_ != nullptr) ShowWindow(window_, SW_HIDE);
}

void OAuthWebViewWindow::StopBrowser() {
  if (webview_) webview_->Stop();
}
