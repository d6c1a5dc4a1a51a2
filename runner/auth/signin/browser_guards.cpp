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

HRESULT OnNewWindowRequested(ICoreWebView2* sender,
                             ICoreWebView2NewWindowRequestedEventArgs* args) {
  if (args == nullptr) return S_OK;
  args->put_Handled(TRUE);  // whatever happens next, the browser opens no window of its own
  LPWSTR raw_uri = nullptr;
  const HRESULT got_uri = args->get_Uri(&raw_uri);
  const std::string uri = TakeBrowserString(raw_uri).value_or(std::string());
  if (FAILED(got_uri) || sender == nullptr ||
      JudgeNavigation(uri, std::string()) != NavigationVerdict::kAllow) {
    LogWarning("New window request refused: " + RedactAddressForLog(uri));
    return S_OK;
  }
  LogInfo("New window request opened in the sign-in window: " + RedactAddressForLog(uri));
  sender->Navigate(Utf8ToWide(uri).c_str());
  return S_OK;
}

// A frame follows the top-level rules, and never reaches the redirect URI: a code a frame
// carries is not the sign-in's.
HRESULT OnFrameNavigationStarting(ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) {
  if (args == nullptr) return S_OK;
  LPWSTR raw_uri = nullptr;
  const HRESULT got_uri = args->get_Uri(&raw_uri);
  const std::string uri = TakeBrowserString(raw_uri).value_or(std::string());
  if (SUCCEEDED(got_uri) && JudgeNavigation(uri, std::string()) == NavigationVerdict::kAllow) {
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

// The last guard: whatever reaches the system's protocol handlers from any frame is refused,
// without the runtime's prompt.
HRESULT OnLaunchingExternalUriScheme(ICoreWebView2*,
                                     ICoreWebView2LaunchingExternalUriSchemeEventArgs* args) {
  if (args == nullptr) return S_OK;
  args->put_Cancel(TRUE);
  LPWSTR raw_uri = nullptr;
  args->get_Uri(&raw_uri);
  LogWarning("External scheme refused in the sign-in window: " +
             RedactAddressForLog(TakeBrowserString(raw_uri).value_or(std::string())));
  return S_OK;
}

void GuardExternalSchemes(ICoreWebView2* webview) {
  ComPtr<ICoreWebView2_18> with_launches;
  if (FAILED(webview->QueryInterface(IID_PPV_ARGS(&with_launches))) || !with_launches) {
    LogInfo("Sign-in browser without ICoreWebView2_18: external schemes are refused by the "
            "navigation guards only");
    return;
  }
  EventRegistrationToken token = {};
  if (FAILED(with_launches->add_LaunchingExternalUriScheme(
          LaunchingExternalUriSchemeHandler::Create(OnLaunchingExternalUriScheme).Get(),
          &token))) {
    LogError("Failed to register the external-scheme guard of the sign-in browser");
  }
}

}  // namespace

void GuardFramesWindowsAndDownloads(ICoreWebView2* webview) {
  if (webview == nullptr) return;
  EventRegistrationToken token = {};
  if (FAILED(webview->add_NewWindowRequested(
          NewWindowRequestedHandler::Create(OnNewWindowRequested).Get(), &token))) {
    LogError("Failed to register the new-window guard of the sign-in browser");
  }
  if (FAILED(webview->add_FrameNavigationStarting(
          NavigationStartingHandler::Create(OnFrameNavigationStarting).Get(), &token))) {
    LogError("Failed to register the frame guard of the sign-in browser");
  }
  GuardExternalSchemes(webview);
  ComPtr<ICoreWebView2_4> with_downloads;
  if (FAILED(webview->QueryInterface(IID_PPV_ARGS(&with_downloads))) || !with_downloads) {
    LogWarning("Sign-in browser without ICoreWebView2_4: downloads cannot be watched");
    return;
  }
  if (FAILED(with_downloads->add_DownloadStarting(
          DownloadStartingHandler::Create(OnDownloadStarting).Get(), &token))) {
    LogError("Failed to register the download guard of the sign-in browser");
  }
}
