#include "oauth_webview_window.h"

#include <WebView2.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <utility>

#include "auth_vocabulary.h"
#include "browser_guards.h"
#include "cookie_listing.h"
#include "log_redaction.h"
#include "logger.h"
#include "oauth_manager.h"
#include "sign_in_urls.h"
#include "sign_in_window_class.h"
#include "string_conversion.h"
#include "webview_handlers.h"
#include "webview_runtime.h"

namespace {

constexpr UINT_PTR kRenewalTimer = 1;
constexpr UINT_PTR kSettleTimer = 2;
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

// A browser handler that calls `method` of the window as long as the window exists.
template <typename Handler, typename First, typename Second>
auto ForwardTo(std::weak_ptr<OAuthWebViewWindow*> alive,
               HRESULT (OAuthWebViewWindow::*method)(First, Second)) {
  return Handler::Create([alive, method](First first, Second second) {
    std::shared_ptr<OAuthWebViewWindow*> self = alive.lock();
    return self ? ((*self)->*method)(first, second) : S_OK;
  });
}

std::string HexCode(HRESULT code) {
  char text[16];
  std::snprintf(text, sizeof(text), "%08X", static_cast<unsigned>(code));
  return text;
}

// A navigation that did not fail on its own: another one replaced it, or it was cancelled.
bool WasInterrupted(COREWEBVIEW2_WEB_ERROR_STATUS status) {
  return status == COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED ||
         status == COREWEBVIEW2_WEB_ERROR_STATUS_CONNECTION_ABORTED;
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
                                        std::shared_ptr<OAuthManager> manager, int user_type,
                                        OAuthCallback callback, const std::string& locale,
                                        const AuthorizationRequestProof& proof) {
  AbandonFlow("a new sign-in flow started");
  LogInfo("Starting OAuth flow with URL: " + RedactAddressForLog(authorization_url));
  LogInfo("User type: " + OAuthUserTypeWord(user_type));
  authorization_url_ = authorization_url;
  redirect_uri_ = redirect_uri;
  manager_ = std::move(manager);
  user_type_ = user_type;
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

void OAuthWebViewWindow::CreateBrowserWindow() {
  DestroyHostWindow();  // a window whose browser never came: start afresh
  window_ = CreateSignInWindow(parent_, SignInWindowTitle(locale_), WindowProc, this);
  if (window_ == nullptr) {
    FailAtOnce("CreateWindowExW failed", "Failed to create WebView window");
    return;
  }
  InitializeWebView();
}

void OAuthWebViewWindow::InitializeWebView() {
  LogInfo("Initializing WebView2");
  auto handler = ForwardTo<EnvironmentCompletedHandler>(alive_,
                                                        &OAuthWebViewWindow::OnEnvironmentCreated);
  const HRESULT started = CreateWebViewEnvironment(SignInBrowserProfileFolder(), handler.Get());
  if (FAILED(started)) {
    LogEnvironmentFailure(started);
    FailAtOnce(nullptr, nullptr);
  }
}

HRESULT OAuthWebViewWindow::OnEnvironmentCreated(HRESULT result,
                                                 ICoreWebView2Environment* environment) {
  if (FAILED(result) || environment == nullptr) {
    LogEnvironmentFailure(FAILED(result) ? result : E_POINTER);
    FailAtOnce(nullptr, nullptr);
    return S_OK;
  }
  if (window_ == nullptr) return S_OK;  // closed by the user meanwhile: already answered
  auto handler = ForwardTo<ControllerCompletedHandler>(alive_,
                                                       &OAuthWebViewWindow::OnControllerCreated);
  if (FAILED(environment->CreateCoreWebView2Controller(window_, handler.Get()))) {
    FailAtOnce("Failed to create WebView2 controller", nullptr);
  }
  return S_OK;
}

HRESULT OAuthWebViewWindow::OnControllerCreated(HRESULT result,
                                                ICoreWebView2Controller* controller) {
  if (FAILED(result) || controller == nullptr) {
    FailAtOnce("Failed to create WebView2 controller", nullptr);
    return S_OK;
  }
  if (controller_) controller_->Close();  // the browser of a window the user closed
  controller_ = controller;
  webview_.Reset();
  if (FAILED(controller_->get_CoreWebView2(webview_.ReleaseAndGetAddressOf())) || !webview_) {
    FailAtOnce("Failed to create WebView2 controller", nullptr);
    return S_OK;
  }
  ResizeBrowser();

  EventRegistrationToken token = {};
  webview_->add_NavigationStarting(
      ForwardTo<NavigationStartingHandler>(alive_, &OAuthWebViewWindow::OnNavigationStarting)
          .Get(),
      &token);
  webview_->add_NavigationCompleted(
      ForwardTo<NavigationCompletedHandler>(alive_, &OAuthWebViewWindow::OnNavigationCompleted)
          .Get(),
      &token);
  GuardNewWindowsAndDownloads(webview_.Get());
  if (TakeSignedOutMark()) DeleteBrowserCookies(webview_.Get());
  if (phase_ != Phase::kInteractive) return S_OK;  // the flow was answered meanwhile
  webview_->Navigate(Utf8ToWide(authorization_url_).c_str());
  LogInfo("WebView2 initialized and navigating to: " + RedactAddressForLog(authorization_url_));
  return S_OK;
}

HRESULT OAuthWebViewWindow::OnNavigationStarting(ICoreWebView2*,
                                                 ICoreWebView2NavigationStartingEventArgs* args) {
  if (args == nullptr) return S_OK;
  LPWSTR raw_uri = nullptr;
  const HRESULT got_uri = args->get_Uri(&raw_uri);
  // Released whatever the result: a failing call may still have handed over a buffer.
  const std::string uri = TakeBrowserString(raw_uri).value_or(std::string());
  if (FAILED(got_uri)) {
    args->put_Cancel(TRUE);  // a navigation that cannot be looked at does not proceed
    return S_OK;
  }
  switch (JudgeNavigation(uri, redirect_uri_)) {
    case NavigationVerdict::kRedirect:
      LogInfo("Detected OAuth redirect - CANCELING navigation to prevent WebView lock");
      args->put_Cancel(TRUE);
      HandleRedirect(uri);
      return S_OK;
    case NavigationVerdict::kRefuse:
      args->put_Cancel(TRUE);
      LogWarning("Navigation cancelled (only https is allowed): " + RedactAddressForLog(uri));
      return S_OK;
    case NavigationVerdict::kAllow:
      break;
  }
  LogInfo("Navigation starting: " + RedactAddressForLog(uri));
  if (phase_ == Phase::kRenewal) {
    if (window_ != nullptr) KillTimer(window_, kSettleTimer);  // the page did not stay
    UINT64 navigation = 0;
    if (!renewal_navigation_ && SUCCEEDED(args->get_NavigationId(&navigation))) {
      renewal_navigation_ = navigation;
    }
  }
  return S_OK;
}

void OAuthWebViewWindow::HandleRedirect(const std::string& uri) {
  LogInfo("Navigation starting: " + RedactAddressForLog(uri));
  LogInfo("Detected OAuth redirect");
  if (phase_ != Phase::kInteractive && phase_ != Phase::kRenewal) {
    LogError("Callback is null or parent window invalid");
    Hide();
    return;
  }
  StopRenewalTimers();
  const RedirectParameters redirect = ReadRedirectParameters(uri);
  std::optional<murako::OAuthToken> token;
  switch (JudgeRedirect(redirect, proof_.state)) {
    case RedirectOutcome::kStateMismatch:
      LogError("OAuth state mismatch");
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
    token = manager_->ExchangeCodeForToken(code, redirect_uri_, user_type_, proof_.code_verifier);
  }
  if (token) {
    LogInfo("Token exchange successful");
    LogInfo("Access token: " + SecretHead(token->access_token, kLoggedTokenHead));
  } else {
    LogError("Token exchange failed - no token returned");
  }
  return token;
}

HRESULT OAuthWebViewWindow::OnNavigationCompleted(ICoreWebView2*,
                                                  ICoreWebView2NavigationCompletedEventArgs* args) {
  if (args == nullptr) return S_OK;
  BOOL success = FALSE;
  args->get_IsSuccess(&success);
  if (success) {
    LogInfo(std::string(kCheck) + " Navigation COMPLETED successfully");
  } else {
    COREWEBVIEW2_WEB_ERROR_STATUS status = COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN;
    args->get_WebErrorStatus(&status);
    LogError(std::string(kCross) + " Navigation FAILED with error status: " +
             std::to_string(static_cast<int>(status)));
  }
  WatchRenewal(args, success != FALSE);
  return S_OK;
}

// A renewal ends on evidence: a navigation of its own that fails ends it at once; a page that
// stays (loaded, or left in place by a cancelled navigation) ends it when no further
// navigation starts within the settle time. Completions of navigations older than the
// renewal are not its evidence.
void OAuthWebViewWindow::WatchRenewal(ICoreWebView2NavigationCompletedEventArgs* args,
                                      bool success) {
  UINT64 navigation = 0;
  if (phase_ != Phase::kRenewal || !renewal_navigation_ ||
      FAILED(args->get_NavigationId(&navigation)) || navigation < *renewal_navigation_) {
    return;
  }
  COREWEBVIEW2_WEB_ERROR_STATUS status = COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN;
  if (!success) args->get_WebErrorStatus(&status);
  if (success || WasInterrupted(status)) {
    if (window_ != nullptr) SetTimer(window_, kSettleTimer, options_.silent_renewal_settle_ms,
                                     nullptr);
    return;
  }
  EndSilentRenewal("the navigation failed");
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
  if (RunCallback(callback_, std::move(outcome))) {
    LogInfo("Callback invoked successfully on main thread");
  }
}

bool OAuthWebViewWindow::RunCallback(OAuthCallback callback,
                                     std::optional<murako::OAuthToken> outcome) {
  try {
    callback(std::move(outcome));
    return true;
  } catch (const std::exception& error) {
    LogError(std::string("Exception in callback: ") + error.what());
  } catch (...) {
    LogError("Unknown exception in callback");
  }
  return false;
}

void OAuthWebViewWindow::Hide() {
  if (window_ != nullptr) ShowWindow(window_, SW_HIDE);
}

void OAuthWebViewWindow::ResizeBrowser() {
  if (!controller_ || window_ == nullptr) return;
  RECT bounds = {};
  GetClientRect(window_, &bounds);
  controller_->put_Bounds(bounds);
}

LRESULT CALLBACK OAuthWebViewWindow::WindowProc(HWND window, UINT message, WPARAM wparam,
                                                LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  auto* self = reinterpret_cast<OAuthWebViewWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return self->HandleMessage(window, message, wparam, lparam);
}

LRESULT OAuthWebViewWindow::HandleMessage(HWND window, UINT message, WPARAM wparam,
                                          LPARAM lparam) {
  switch (message) {
    case WM_SIZE:
      ResizeBrowser();
      return 0;
    case WM_TIMER:
      if (wparam == kRenewalTimer) {
        EndSilentRenewal("no redirect within " +
                         std::to_string(options_.silent_renewal_bound_ms / 1000) + " s");
      } else if (wparam == kSettleTimer) {
        EndSilentRenewal("the authorization server asks for the user");
      } else {
        break;
      }
      return 0;
    case WM_DESTROY:
      // The user closed the window: its flow ends without a token.
      EndSilentRenewal("the sign-in window was destroyed");
      if (phase_ == Phase::kInteractive) {
        LogWarning("Sign-in window closed by the user - the sign-in ends without a token");
        PostOutcome(std::nullopt);
      }
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      window_ = nullptr;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}
