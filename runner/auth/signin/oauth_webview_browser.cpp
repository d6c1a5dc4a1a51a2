// OAuthWebViewWindow, its browser and window: creating the window, the environment and the
// controller, watching every navigation (only https proceeds; the redirect is cancelled and
// read), watching a silent renewal for the evidence that ends it, and the window procedure.
#include "oauth_webview_window.h"

#include <WebView2.h>

#include <memory>
#include <string>

#include "browser_guards.h"
#include "cookie_deletion.h"
#include "log_redaction.h"
#include "logger.h"
#include "sign_in_urls.h"
#include "sign_in_window_class.h"
#include "string_conversion.h"
#include "webview_handlers.h"
#include "webview_runtime.h"

namespace {

constexpr char kCheck[] = "\xE2\x9C\x85";  // U+2705
constexpr char kCross[] = "\xE2\x9D\x8C";  // U+274C

// A browser handler that calls `method` of the window as long as the window exists.
template <typename Handler, typename First, typename Second>
auto ForwardTo(std::weak_ptr<OAuthWebViewWindow*> alive,
               HRESULT (OAuthWebViewWindow::*method)(First, Second)) {
  return Handler::Create([alive, method](First first, Second second) {
    std::shared_ptr<OAuthWebViewWindow*> self = alive.lock();
    return self ? ((*self)->*method)(first, second) : S_OK;
  });
}

// A navigation that did not fail on its own: another one replaced it, or it was cancelled.
bool WasInterrupted(COREWEBVIEW2_WEB_ERROR_STATUS status) {
  return status == COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED ||
         status == COREWEBVIEW2_WEB_ERROR_STATUS_CONNECTION_ABORTED;
}

}  // namespace

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
  // Closed by the user, or the flow answered (a sign-out, a new sign-in) meanwhile.
  if (window_ == nullptr || phase_ != Phase::kInteractive) return S_OK;
  auto handler = ForwardTo<ControllerCompletedHandler>(alive_,
                                                       &OAuthWebViewWindow::OnControllerCreated);
  if (FAILED(environment->CreateCoreWebView2Controller(window_, handler.Get()))) {
    FailAtOnce("Failed to create WebView2 controller", nullptr);
  }
  return S_OK;
}

HRESULT OAuthWebViewWindow::OnControllerCreated(HRESULT result,
                                                ICoreWebView2Controller* controller) {
  // The flow was answered while the browser was being made: it is not wanted, and the browser
  // in place may still be deleting a signed-out session (closing it would drop that).
  if (phase_ != Phase::kInteractive) {
    if (controller != nullptr) controller->Close();
    return S_OK;
  }
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
  std::weak_ptr<OAuthWebViewWindow*> alive = alive_;
  GuardFramesWindowsAndDownloads(webview_.Get(), [alive] {
    const std::shared_ptr<OAuthWebViewWindow*> self = alive.lock();
    return self ? (*self)->redirect_uri_ : std::string();
  });
  if (HasSignedOutMark()) {
    DeleteSignedOutSiteData();
  } else {
    NavigateToAuthorization();
  }
  return S_OK;
}

// The profile was signed out, and its site data may have outlived the browser that was to
// delete it: a navigation before the deletion is confirmed could carry the old server session.
void OAuthWebViewWindow::DeleteSignedOutSiteData() {
  std::weak_ptr<OAuthWebViewWindow*> alive = alive_;
  const std::string mark = CurrentSignedOutMark().value_or(std::string());
  const auto deleted = [alive, mark](bool gone) {
    if (gone) TakeSignedOutMark(mark);
    std::shared_ptr<OAuthWebViewWindow*> self = alive.lock();
    if (!self || (*self)->phase_ != Phase::kInteractive) return;  // answered meanwhile
    if (gone) {
      (*self)->NavigateToAuthorization();
    } else {
      (*self)->FailAtOnce("The sign-in does not start while the signed-out session's cookies remain",
                          nullptr);
    }
  };
  if (!DeleteAllSiteData(webview_.Get(), options_.cookie_deletion_bound_ms, deleted)) {
    FailAtOnce("The sign-in does not start while the signed-out session's cookies remain",
               nullptr);
  }
}

void OAuthWebViewWindow::NavigateToAuthorization() {
  if (phase_ != Phase::kInteractive || !webview_) return;  // the flow was answered meanwhile
  webview_->Navigate(Utf8ToWide(authorization_url_).c_str());
  LogInfo("WebView2 initialized and navigating to: " + RedactAddressForLog(authorization_url_));
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
