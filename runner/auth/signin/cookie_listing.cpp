#include "cookie_listing.h"

#include <WebView2.h>
#include <wrl/client.h>

#include <utility>

#include "logger.h"
#include "service_endpoints.h"
#include "string_conversion.h"
#include "unique_handle.h"
#include "webview_handlers.h"
#include "webview_runtime.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kCheck[] = "\xE2\x9C\x85";              // U+2705
constexpr char kWarning[] = "\xE2\x9A\xA0\xEF\xB8\x8F";  // U+26A0 U+FE0F

template <typename Getter>
std::optional<std::string> ReadString(Getter getter) {
  UniqueCoTaskMemory<wchar_t> text;
  if (FAILED(getter(text.put()))) return std::nullopt;
  return TakeBrowserString(text.release());
}

template <typename Getter>
std::optional<bool> ReadFlag(Getter getter) {
  BOOL flag = FALSE;
  if (FAILED(getter(&flag))) return std::nullopt;
  return flag != FALSE;
}

HRESULT OnCookiesReceived(HRESULT result, ICoreWebView2CookieList* list,
                          const std::shared_ptr<PendingReply<CookieListing>>& reply) {
  if (FAILED(result) || list == nullptr) {
    LogError("Failed to get cookies");
    reply->Error(kGetCookiesFailedCode, kGetCookiesFailedMessage);
    return S_OK;
  }
  reply->Success(
      CookieListingOf(ReadBrowserCookies(list), DeploymentServiceHosts().citizen_production));
  return S_OK;
}

}  // namespace

CookieListing CookieListingWithoutBrowser() {
  LogWarning("OAuth WebView not available - please login first");
  CookieListing listing;
  listing.message = std::string(kWarning) +
                    " OAuth WebView not available. Please login first to create a session.";
  return listing;
}

CookieListing CookieListingOf(std::vector<BrowserCookie> cookies, const std::string& host) {
  CookieListing listing;
  listing.count = static_cast<int>(cookies.size());
  listing.cookies = std::move(cookies);
  const std::string count = std::to_string(listing.count);
  LogInfo(std::string(kCheck) + " Found " + count + " cookies from " + host);
  listing.message = listing.count > 0
                        ? std::string(kCheck) + " Successfully retrieved " + count + " cookies"
                        : std::string(kWarning) + " No cookies found from " + host;
  return listing;
}

BrowserCookie ReadBrowserCookie(ICoreWebView2Cookie* cookie) {
  BrowserCookie read;
  if (cookie == nullptr) return read;
  read.name = ReadString([&](LPWSTR* out) { return cookie->get_Name(out); });
  read.value = ReadString([&](LPWSTR* out) { return cookie->get_Value(out); });
  read.domain = ReadString([&](LPWSTR* out) { return cookie->get_Domain(out); });
  read.path = ReadString([&](LPWSTR* out) { return cookie->get_Path(out); });
  double expires = 0;
  if (SUCCEEDED(cookie->get_Expires(&expires))) read.expiresAt = expires;
  read.secure = ReadFlag([&](BOOL* out) { return cookie->get_IsSecure(out); });
  read.httpOnly = ReadFlag([&](BOOL* out) { return cookie->get_IsHttpOnly(out); });
  return read;
}

bool ForEachBrowserCookie(ICoreWebView2CookieList* list,
                          const std::function<void(ICoreWebView2Cookie*)>& visit) {
  UINT count = 0;
  if (list == nullptr || FAILED(list->get_Count(&count))) return false;
  for (UINT i = 0; i < count; ++i) {
    ComPtr<ICoreWebView2Cookie> cookie;
    if (SUCCEEDED(list->GetValueAtIndex(i, cookie.GetAddressOf())) && cookie) visit(cookie.Get());
  }
  return true;
}

std::vector<BrowserCookie> ReadBrowserCookies(ICoreWebView2CookieList* list) {
  std::vector<BrowserCookie> cookies;
  ForEachBrowserCookie(list, [&](ICoreWebView2Cookie* cookie) {
    cookies.push_back(ReadBrowserCookie(cookie));
  });
  return cookies;
}

void RequestBrowserCookies(ICoreWebView2* webview,
                           const std::shared_ptr<PendingReply<CookieListing>>& reply) {
  LogInfo("Using OAuth WebView for cookie access...");
  ComPtr<ICoreWebView2_2> webview2;
  if (webview == nullptr || FAILED(webview->QueryInterface(IID_PPV_ARGS(&webview2))) || !webview2) {
    LogError("Failed to get ICoreWebView2_2 interface");
    reply->Error(kInterfaceErrorCode, kInterfaceErrorMessage);
    return;
  }
  ComPtr<ICoreWebView2CookieManager> manager;
  if (FAILED(webview2->get_CookieManager(manager.GetAddressOf())) || !manager) {
    LogError("Failed to get CookieManager");
    reply->Error(kCookieManagerErrorCode, kCookieManagerErrorMessage);
    return;
  }
  LogInfo(std::string(kCheck) + " CookieManager obtained from OAuth WebView");
  auto handler = GetCookiesCompletedHandler::Create(
      [reply](HRESULT result, ICoreWebView2CookieList* list) {
        return OnCookiesReceived(result, list, reply);
      });
  if (FAILED(manager->GetCookies(L"", handler.Get()))) {
    LogError("Failed to call GetCookies");
    reply->Error(kGetCookiesFailedCode, kGetCookiesFailedMessage);
    return;
  }
  LogInfo("GetCookies call initiated (async)...");
}
