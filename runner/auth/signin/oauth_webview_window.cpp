#include "oauth_webview_window.h"

#include <WebView2.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <utility>

#include "auth_vocabulary.h"
#include "logger.h"
#include "oauth_manager.h"
#include "sign_in_urls.h"
#include "sign_in_window_class.h"
#include "string_conversion.h"
#include "webview_handlers.h"
#include "webview_runtime.h"

namespace {

constexpr UINT_PTR kRenewalTimer = 1;
constexpr char kCheck[] = "\xE2\x9C\x85";  // U+2705
constexpr char kCross[] = "\xE2\x9D\x8C";  // U+274C

int64_t UnixMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
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

}  // namespace

OAuthWebViewWindow::OAuthWebViewWindow(HWND parent, uint32_t silent_renewal_bound_ms)
    : parent_(parent),
      silent_renewal_bound_ms_(silent_renewal_bound_ms),
      alive_(std::make_shared<OAuthWebViewWindow*>(this)) {}

OAuthWebViewWindow::~OAuthWebViewWindow() {
  alive_.reset();
  if (controller_) controller_->Close();
  DestroyHostWindow();
}

// Detached first: destroying it here is no user closing it.
void OAuthWebViewWindow::DestroyHostWindow() {
  if (window_ == nullptr) return;
  StopRenewalTimer();
  SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
  window_ = nullptr;
}

void OAuthWebViewWindow::StartOAuthFlow(const std::string& authorization_url,
                                        const std::string& redirect_uri,
                                        std::shared_ptr<OAuthManager> manager, int user_type,
                                        OAuthCallback callback, const std::string& locale) {
  LogInfo("Starting OAuth flow with URL: " + authorization_url);
  LogInfo("User type: " + OAuthUserTypeWord(user_type));
  authorization_url_ = authorization_url;
  redirect_uri_ = redirect_uri;
  manager_ = std::move(manager);
  user_type_ = user_type;
  callback_ = std::move(callback);
  locale_ = locale;

  if (window_ != nullptr && webview_) {
    RenewSilently();
    return;
  }
  LogInfo("Creating new WebView window for initial OAuth");
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

  silent_renewal_pending_ = true;
  renewal_navigation_.reset();
  SetTimer(window_, kRenewalTimer, silent_renewal_bound_ms_, nullptr);
  if (!controller_ || !webview_) {
    LogError(std::string(kCross) + " WebView controller or webview is NULL - cannot navigate");
    EndSilentRenewal("no browser to navigate");
    return;
  }
  LogInfo("Calling webview_->Navigate() for silent renewal...");
  const HRESULT navigated = webview_->Navigate(Utf8ToWide(navigation_url).c_str());
  if (SUCCEEDED(navigated)) {
    LogInfo(std::string(kCheck) + " Navigate() succeeded - navigating to " + navigation_url);
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
  if (FAILED(CreateWebViewEnvironment(SignInBrowserProfileFolder(), handler.Get()))) {
    FailAtOnce("Failed to create WebView2 environment", nullptr);
  }
}

HRESULT OAuthWebViewWindow::OnEnvironmentCreated(HRESULT result,
                                                 ICoreWebView2Environment* environment) {
  if (FAILED(result) || environment == nullptr) {
    FailAtOnce("Failed to create WebView2 environment", nullptr);
    return S_OK;
  }
  if (window_ == nullptr) return S_OK;  // closed by the user meanwhile: no callback
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
  webview_->Navigate(Utf8ToWide(authorization_url_).c_str());
  LogInfo("WebView2 initialized and navigating to: " + authorization_url_);
  return S_OK;
}

HRESULT OAuthWebViewWindow::OnNavigationStarting(ICoreWebView2*,
                                                 ICoreWebView2NavigationStartingEventArgs* args) {
  if (args == nullptr) return S_OK;
  LPWSTR raw_uri = nullptr;
  const HRESULT got_uri = args->get_Uri(&raw_uri);
  // Released whatever the result: a failing call may still have handed over a buffer.
  const std::string uri = TakeBrowserString(raw_uri).value_or(std::string());
  if (FAILED(got_uri)) return S_OK;
  UINT64 navigation = 0;
  if (silent_renewal_pending_ && !renewal_navigation_ &&
      SUCCEEDED(args->get_NavigationId(&navigation))) {
    renewal_navigation_ = navigation;
  }
  if (IsOAuthRedirect(uri, redirect_uri_)) {
    LogInfo("Detected OAuth redirect - CANCELING navigation to prevent WebView lock");
    args->put_Cancel(TRUE);
  }
  HandleRedirect(uri);
  return S_OK;
}

// The code is in the URI: the log gets it masked.
void OAuthWebViewWindow::HandleRedirect(const std::string& uri) {
  LogInfo("Navigation starting: " + RedactAuthorizationCode(uri));
  if (!IsOAuthRedirect(uri, redirect_uri_)) return;
  LogInfo("Detected OAuth redirect");
  silent_renewal_pending_ = false;
  StopRenewalTimer();

  const std::string code = ExtractAuthorizationCode(uri);
  if (code.empty()) {
    LogError("Failed to extract authorization code from redirect");
    PostOutcome(std::nullopt);
    Hide();
    return;
  }
  LogInfo("Authorization code extracted: " + code.substr(0, 10) + "...");
  LogInfo("Starting token exchange...");
  std::optional<murako::OAuthToken> token;
  if (manager_) token = manager_->ExchangeCodeForToken(code, redirect_uri_, user_type_);
  if (token) {
    LogInfo("Token exchange successful");
    LogInfo("Access token: " + token->access_token.substr(0, 20) + "...");
  } else {
    LogError("Token exchange failed - no token returned");
  }
  LogInfo("Posting callback to main thread...");
  PostOutcome(std::move(token));
  LogInfo("Hiding WebView window (keeping alive for silent renewal)...");
  Hide();
  LogInfo("WebView window hidden (not destroyed)");
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
  // The renewal's own navigation ended without the redirect: a loaded page means the server
  // wants the user. (An earlier navigation ending late is not the renewal's.)
  UINT64 navigation = 0;
  if (renewal_navigation_ && SUCCEEDED(args->get_NavigationId(&navigation)) &&
      navigation == *renewal_navigation_) {
    EndSilentRenewal(success ? "the authorization server asks for the user"
                             : "the navigation failed");
  }
  return S_OK;
}

void OAuthWebViewWindow::PostOutcome(std::optional<murako::OAuthToken> outcome) {
  if (!callback_ || parent_ == nullptr) {
    LogError("Callback is null or parent window invalid");
    return;
  }
  result_ = std::move(outcome);
  if (!PostMessageW(parent_, WM_OAUTH_COMPLETE, 0, 0)) {
    LogError("Posting WM_OAUTH_COMPLETE failed (error " + std::to_string(GetLastError()) + ")");
    return;
  }
  LogInfo("Callback posted to main thread");
}

void OAuthWebViewWindow::EndSilentRenewal(const std::string& reason) {
  if (!silent_renewal_pending_) return;
  silent_renewal_pending_ = false;
  StopRenewalTimer();
  LogWarning("Silent renewal ended without a token: " + reason);
  PostOutcome(std::nullopt);
}

void OAuthWebViewWindow::StopRenewalTimer() {
  if (window_ != nullptr) KillTimer(window_, kRenewalTimer);
}

void OAuthWebViewWindow::FailAtOnce(const char* first_line, const char* second_line) {
  LogError(first_line);
  if (second_line != nullptr) LogError(second_line);
  if (callback_) RunCallback(callback_, std::nullopt);
}

void OAuthWebViewWindow::InvokeCallback() {
  LogInfo("InvokeCallback called on main thread");
  if (!callback_) {
    LogError("Callback is null");
    return;
  }
  if (RunCallback(callback_, result_)) LogInfo("Callback invoked successfully on main thread");
}

// Takes copies: the callback may start the next flow, which replaces the stored ones.
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
      if (wparam != kRenewalTimer) break;
      EndSilentRenewal("no redirect within " + std::to_string(silent_renewal_bound_ms_ / 1000) +
                       " s");
      return 0;
    case WM_DESTROY:
      EndSilentRenewal("the sign-in window was destroyed");
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      window_ = nullptr;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}
