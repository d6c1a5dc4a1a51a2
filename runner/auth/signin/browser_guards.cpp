#include "browser_guards.h"

#include <WebView2.h>
#include <wrl/client.h>

#include <string>

#include "log_redaction.h"
#include "logger.h"
#include "sign_in_urls.h"
#include "string_conversion.h"
#include "webview_handlers.h"
#include "webview_runtime.h"

using Microsoft::WRL::ComPtr;

namespace {

// Only a request the runtime attributes to the main frame counts as the page's own.
bool FromMainFrame(ICoreWebView2NewWindowRequestedEventArgs* args) {
  ComPtr<ICoreWebView2NewWindowRequestedEventArgs3> with_frame;
  ComPtr<ICoreWebView2FrameInfo> frame;
  ComPtr<ICoreWebView2FrameInfo2> frame_kind;
  COREWEBVIEW2_FRAME_KIND kind = COREWEBVIEW2_FRAME_KIND_UNKNOWN;
  return SUCCEEDED(args->QueryInterface(IID_PPV_ARGS(&with_frame))) && with_frame &&
         SUCCEEDED(with_frame->get_OriginalSourceFrameInfo(frame.GetAddressOf())) && frame &&
         SUCCEEDED(frame->QueryInterface(IID_PPV_ARGS(&frame_kind))) && frame_kind &&
         SUCCEEDED(frame_kind->get_FrameKind(&kind)) && kind == COREWEBVIEW2_FRAME_KIND_MAIN_FRAME;
}

HRESULT OnNewWindowRequested(ICoreWebView2* sender,
                             ICoreWebView2NewWindowRequestedEventArgs* args) {
  if (args == nullptr) return S_OK;
  args->put_Handled(TRUE);  // whatever happens next, the browser opens no window of its own
  LPWSTR raw_uri = nullptr;
  const HRESULT got_uri = args->get_Uri(&raw_uri);
  const std::string uri = TakeBrowserString(raw_uri).value_or(std::string());
  if (SUCCEEDED(got_uri) && !FromMainFrame(args)) {
    LogWarning("New window request from a frame refused: " + RedactAddressForLog(uri));
    return S_OK;
  }
  if (FAILED(got_uri) || sender == nullptr ||
      JudgeNavigation(uri, std::string()) != NavigationVerdict::kAllow) {
    LogWarning("New window request refused: " + RedactAddressForLog(uri));
    return S_OK;
  }
  LogInfo("New window request opened in the sign-in window: " + RedactAddressForLog(uri));
  sender->Navigate(Utf8ToWide(uri).c_str());
  return S_OK;
}

// A frame follows the top-level rules, but for the browser's own blank and srcdoc documents, and
// never reaches the redirect URI: a code a frame carries is not the sign-in's.
HRESULT OnFrameNavigationStarting(const std::string& redirect_uri,
                                  ICoreWebView2NavigationStartingEventArgs* args) {
  if (args == nullptr) return S_OK;
  LPWSTR raw_uri = nullptr;
  const HRESULT got_uri = args->get_Uri(&raw_uri);
  const std::string uri = TakeBrowserString(raw_uri).value_or(std::string());
  if (SUCCEEDED(got_uri) && JudgeFrameNavigation(uri, redirect_uri) == NavigationVerdict::kAllow) {
    return S_OK;
  }
  args->put_Cancel(TRUE);
  LogWarning("Frame navigation cancelled (only https is allowed): " + RedactAddressForLog(uri));
  return S_OK;
}

HRESULT OnDownloadStarting(ICoreWebView2*, ICoreWebView2DownloadStartingEventArgs* args) {
  if (args == nullptr) return S_OK;
  args->put_Cancel(TRUE);
  args->put_Handled(TRUE);
  LogWarning("Download refused in the sign-in window");
  return S_OK;
}

// Cancels what `args` asks for, logging `refused` with the address it names.
template <typename Args>
HRESULT RefuseAddressed(Args* args, const char* refused) {
  if (args == nullptr) return S_OK;
  args->put_Cancel(TRUE);
  LPWSTR raw_uri = nullptr;
  args->get_Uri(&raw_uri);
  LogWarning(refused + RedactAddressForLog(TakeBrowserString(raw_uri).value_or(std::string())));
  return S_OK;
}

// The last guard: whatever reaches the system's protocol handlers from any frame is refused,
// without the runtime's prompt.
HRESULT OnLaunchingExternalUriScheme(ICoreWebView2*,
                                     ICoreWebView2LaunchingExternalUriSchemeEventArgs* args) {
  return RefuseAddressed(args, "External scheme refused in the sign-in window: ");
}

HRESULT OnClientCertificateRequested(ICoreWebView2*,
                                     ICoreWebView2ClientCertificateRequestedEventArgs* args) {
  if (args == nullptr) return S_OK;
  args->put_Cancel(TRUE);
  LPWSTR raw_host = nullptr;
  args->get_Host(&raw_host);
  int port = 0;
  args->get_Port(&port);
  LogWarning("Client certificate request refused in the sign-in window: " +
             TakeBrowserString(raw_host).value_or(std::string()) + ":" +
             std::to_string(port));
  return S_OK;
}

HRESULT OnBasicAuthenticationRequested(ICoreWebView2*,
                                       ICoreWebView2BasicAuthenticationRequestedEventArgs* args) {
  return RefuseAddressed(args, "Basic authentication request refused in the sign-in window: ");
}

// Registers `on_event` through `add`, a registration of the browser's later interface
// `Versioned`, when the runtime has it; `missing` is logged at `level` when it has not.
template <typename Versioned, typename EventHandler, typename OnEvent>
void GuardThrough(ICoreWebView2* webview,
                  HRESULT (STDMETHODCALLTYPE Versioned::*add)(EventHandler*,
                                                              EventRegistrationToken*),
                  OnEvent on_event, LogLevel level, const char* missing, const char* failed) {
  ComPtr<Versioned> versioned;
  if (FAILED(webview->QueryInterface(IID_PPV_ARGS(&versioned))) || !versioned) {
    LogAt(level, missing);
    return;
  }
  EventRegistrationToken token = {};
  const auto handler = WebViewHandler<EventHandler>::Create(on_event);
  if (FAILED((versioned.Get()->*add)(handler.Get(), &token))) LogError(failed);
}

void GuardVersionedEvents(ICoreWebView2* webview) {
  GuardThrough(webview, &ICoreWebView2_18::add_LaunchingExternalUriScheme,
               OnLaunchingExternalUriScheme, LogLevel::Info,
               "Sign-in browser without ICoreWebView2_18: external schemes are refused by the "
               "navigation guards only",
               "Failed to register the external-scheme guard of the sign-in browser");
  GuardThrough(webview, &ICoreWebView2_5::add_ClientCertificateRequested,
               OnClientCertificateRequested, LogLevel::Info,
               "Sign-in browser without ICoreWebView2_5: client certificate requests not seen",
               "Failed to register the client certificate guard of the sign-in browser");
  GuardThrough(webview, &ICoreWebView2_10::add_BasicAuthenticationRequested,
               OnBasicAuthenticationRequested, LogLevel::Info,
               "Sign-in browser without ICoreWebView2_10: basic authentication requests not seen",
               "Failed to register the basic authentication guard of the sign-in browser");
  GuardThrough(webview, &ICoreWebView2_4::add_DownloadStarting, OnDownloadStarting,
               LogLevel::Warning,
               "Sign-in browser without ICoreWebView2_4: downloads cannot be watched",
               "Failed to register the download guard of the sign-in browser");
}

}  // namespace

void GuardFramesWindowsAndDownloads(ICoreWebView2* webview,
                                    std::function<std::string()> redirect_uri) {
  if (webview == nullptr) return;
  const auto on_frame_navigation = [redirect_uri = std::move(redirect_uri)](
                                       ICoreWebView2*,
                                       ICoreWebView2NavigationStartingEventArgs* args) {
    return OnFrameNavigationStarting(redirect_uri ? redirect_uri() : std::string(), args);
  };
  EventRegistrationToken token = {};
  if (FAILED(webview->add_NewWindowRequested(
          NewWindowRequestedHandler::Create(OnNewWindowRequested).Get(), &token))) {
    LogError("Failed to register the new-window guard of the sign-in browser");
  }
  if (FAILED(webview->add_FrameNavigationStarting(
          NavigationStartingHandler::Create(on_frame_navigation).Get(), &token))) {
    LogError("Failed to register the frame guard of the sign-in browser");
  }
  GuardVersionedEvents(webview);
}
