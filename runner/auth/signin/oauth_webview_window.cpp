#include "oauth_webview_window.h"

#include <WebView2.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <utility>

#include "logger.h"
#include "oauth_manager.h"
#include "auth_vocabulary.h"
#include "sign_in_urls.h"
#include "string_conversion.h"
#include "webview_handlers.h"
#include "webview_runtime.h"

namespace {

constexpr wchar_t kWindowClass[] = L"MurakoOAuthWindow";
constexpr int kWindowSize = 800;
constexpr int kIconResource = 101;
constexpr UINT_PTR kRenewalTimer = 1;
constexpr char kCheck[] = "\xE2\x9C\x85";  // U+2705
constexpr char kCross[] = "\xE2\x9D\x8C";  // U+274C

int64_t UnixMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
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
  if (window_ != nullptr) {
    StopRenewalTimer();
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
    window_ = nullptr;
  }
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
  if (!CreateHostWindow()) {
    FailAtOnce("CreateWindowExW failed", "Failed to create WebView window");
    return;
  }
  InitializeWebView();
}

bool OAuthWebViewWindow::CreateHostWindow() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
  window_class.lpszClassName = kWindowClass;
  RegisterClassExW(&window_class);  // fails harmlessly when the class exists

  const int left = (GetSystemMetrics(SM_CXSCREEN) - kWindowSize) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - kWindowSize) / 2;
  window_ = CreateWindowExW(0, kWindowClass, SignInWindowTitle(locale_).c_str(),
                            WS_OVERLAPPEDWINDOW, left, top, kWindowSize, kWindowSize, parent_,
                            nullptr, instance, this);
  if (window_ == nullptr) return false;
  HANDLE small_icon = LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, 16, 16, 0);
  if (small_icon != nullptr) {
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon));
  }
  ShowWindow(window_, SW_SHOW);
  UpdateWindow(window_);
  return true;
}

void OAuthWebViewWindow::InitializeWebView() {
  LogInfo("Initializing WebView2");
  std::weak_ptr<OAuthWebViewWindow*> alive = alive_;
  auto handler = EnvironmentCompletedHandler::Create(
      [alive](HRESULT result, ICoreWebView2Environment* environment) {
        std::shared_ptr<OAuthWebViewWindow*> self = alive.lock();
        return self ? (*self)->OnEnvironmentCreated(result, environment) : S_OK;
      });
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
  std::weak_ptr<OAuthWebViewWindow*> alive = alive_;
  auto handler = ControllerCompletedHandler::Create(
      [alive](HRESULT created, ICoreWebView2Controller* controller) {
        std::shared_ptr<OAuthWebViewWindow*> self = alive.lock();
        return self ? (*self)->OnControllerCreated(created, controller) : S_OK;
      });
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
  controller_ = controller;
  webview_.Reset();
  if (FAILED(controller_->get_CoreWebView2(webview_.ReleaseAndGetAddressOf())) || !webview_) {
    FailAtOnce("Failed to create WebView2 controller", nullptr);
    return S_OK;
  }
  ResizeBrowser();

  std::weak_ptr<OAuthWebViewWindow*> alive = alive_;
  EventRegistrationToken token = {};
  webview_->add_NavigationStarting(
      NavigationStartingHandler::Create(
          [alive](ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) {
            std::shared_ptr<OAuthWebViewWindow*> self = alive.lock();
            return self && args ? (*self)->OnNavigationStarting(args) : S_OK;
          })
          .Get(),
      &token);
  webview_->add_NavigationCompleted(
      NavigationCompletedHandler::Create(
          [alive](ICoreWebView2*, ICoreWebView2NavigationCompletedEventArgs* args) {
            std::shared_ptr<OAuthWebViewWindow*> self = alive.lock();
            return self && args ? (*self)->OnNavigationCompleted(args) : S_OK;
          })
          .Get(),
      &token);
  webview_->Navigate(Utf8ToWide(authorization_url_).c_str());
  LogInfo("WebView2 initialized and navigating to: " + authorization_url_);
  return S_OK;
}

HRESULT OAuthWebViewWindow::OnNavigationStarting(ICoreWebView2NavigationStartingEventArgs* args) {
  LPWSTR raw_uri = nullptr;
  if (FAILED(args->get_Uri(&raw_uri))) return S_OK;
  const std::string uri = TakeBrowserString(raw_uri).value_or(std::string());
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

HRESULT OAuthWebViewWindow::OnNavigationCompleted(ICoreWebView2NavigationCompletedEventArgs* args) {
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
  // A renewal's page finished loading without the redirect: the server wants the user.
  EndSilentRenewal(success ? "the authorization server asks for the user"
                           : "the navigation failed");
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
  if (!callback_) return;
  const OAuthCallback callback = callback_;  // the callback may start a new flow
  try {
    callback(std::nullopt);
  } catch (const std::exception& error) {
    LogError(std::string("Exception in callback: ") + error.what());
  } catch (...) {
    LogError("Unknown exception in callback");
  }
}

void OAuthWebViewWindow::InvokeCallback() {
  LogInfo("InvokeCallback called on main thread");
  if (!callback_) {
    LogError("Callback is null");
    return;
  }
  // Copies: the callback may start the next flow, which replaces both.
  const OAuthCallback callback = callback_;
  std::optional<murako::OAuthToken> result = result_;
  try {
    callback(std::move(result));
    LogInfo("Callback invoked successfully on main thread");
  } catch (const std::exception& error) {
    LogError(std::string("Exception in callback: ") + error.what());
  } catch (...) {
    LogError("Unknown exception in callback");
  }
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
