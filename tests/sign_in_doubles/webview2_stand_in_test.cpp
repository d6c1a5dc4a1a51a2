// The stand-in browser (WebView2Loader.dll) driven through its COM interfaces against the
// service double's authorization server, with a scripted user: sign-in ending in the redirect
// with a code, the session cookie kept in the profile and listed, a live session skipping the
// login page, a hidden window where the user does nothing, cancel and close, web storage kept
// per origin and cleared after the call. Every event must
// arrive from the message loop, never inside the call that caused it. Needs an X display.
#include <windows.h>

#include <WebView2.h>
#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "browser_guards.h"
#include "com_object.h"
#include "oauth_manager.h"
#include "oauth_protocol.h"
#include "service_double_control.h"
#include "service_endpoints.h"
#include "string_conversion.h"
#include "test_environment.h"

namespace {

bool inside_browser_call = false;
bool event_inside_call = false;

// A COM handler calling a function; its reference count shows what the browser keeps.
template <typename Interface, typename... Args>
class Handler final : public ComObject<Interface> {
 public:
  explicit Handler(std::function<void(Args...)> function) : function_(std::move(function)) {}
  HRESULT STDMETHODCALLTYPE Invoke(Args... args) override {
    event_inside_call = event_inside_call || inside_browser_call;
    function_(args...);
    return S_OK;
  }

 protected:
  bool Answers(REFIID) const override { return false; }

 private:
  std::function<void(Args...)> function_;
};

using StartingHandler = Handler<ICoreWebView2NavigationStartingEventHandler, ICoreWebView2*,
                                ICoreWebView2NavigationStartingEventArgs*>;
using CompletedHandler = Handler<ICoreWebView2NavigationCompletedEventHandler, ICoreWebView2*,
                                 ICoreWebView2NavigationCompletedEventArgs*>;

template <typename Call>
HRESULT BrowserCall(Call call) {
  inside_browser_call = true;
  const HRESULT result = call();
  inside_browser_call = false;
  return result;
}

std::string Take(LPWSTR text) {
  std::string utf8 = text ? WideToUtf8(text) : "";
  CoTaskMemFree(text);
  return utf8;
}

bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  while (!done()) {
    if (GetTickCount64() >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  return true;
}

// One top-level window with the browser in it, as the sign-in window hosts it.
struct BrowserWindow {
  HWND window = nullptr;
  ComPtr<ICoreWebView2Controller> controller;
  ComPtr<ICoreWebView2> web_view;
  ComPtr<StartingHandler> starting;
  ComPtr<CompletedHandler> completed;
  std::vector<std::string> started;
  std::vector<std::pair<bool, int>> outcomes;
  std::string redirect;

  explicit BrowserWindow(const std::string& profile) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"StandInBrowserTest";
    RegisterClassW(&window_class);
    window = CreateWindowExW(0, L"StandInBrowserTest", L"test", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                             0, 0, 800, 800, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ComPtr<ICoreWebView2Environment> environment;
    auto on_environment = Make<Handler<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
                                       HRESULT, ICoreWebView2Environment*>>(
        [&](HRESULT, ICoreWebView2Environment* created) { environment = created; });
    BrowserCall([&] {
      return CreateCoreWebView2EnvironmentWithOptions(nullptr, Utf8ToWide(profile).c_str(),
                                                      nullptr, on_environment.Get());
    });
    if (!PumpUntil([&] { return environment != nullptr; }, 5000)) return;
    auto on_controller = Make<Handler<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
                                      HRESULT, ICoreWebView2Controller*>>(
        [&](HRESULT, ICoreWebView2Controller* created) { controller = created; });
    BrowserCall([&] {
      return environment->CreateCoreWebView2Controller(window, on_controller.Get());
    });
    if (!PumpUntil([&] { return controller != nullptr; }, 5000)) return;
    controller->get_CoreWebView2(&web_view);
    starting = Make<StartingHandler>([this](ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) {
      LPWSTR uri = nullptr;
      args->get_Uri(&uri);
      started.push_back(Take(uri));
      if (started.back().rfind(kOAuthRedirectUri, 0) == 0) {
        args->put_Cancel(TRUE);
        redirect = started.back();
      }
    });
    completed = Make<CompletedHandler>([this](ICoreWebView2*, ICoreWebView2NavigationCompletedEventArgs* args) {
      BOOL success = FALSE;
      COREWEBVIEW2_WEB_ERROR_STATUS status = COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN;
      args->get_IsSuccess(&success);
      args->get_WebErrorStatus(&status);
      outcomes.emplace_back(success != FALSE, status);
    });
    EventRegistrationToken token;
    web_view->add_NavigationStarting(starting.Get(), &token);
    web_view->add_NavigationCompleted(completed.Get(), &token);
  }
  ~BrowserWindow() {
    if (controller) controller->Close();
    if (IsWindow(window)) DestroyWindow(window);
  }

  void Navigate(const std::string& url) {
    EXPECT_EQ(BrowserCall([&] { return web_view->Navigate(Utf8ToWide(url).c_str()); }), S_OK);
  }
  bool WaitForRedirect(DWORD milliseconds = 20000) {
    return PumpUntil([&] { return !redirect.empty(); }, milliseconds);
  }
};

class StandInBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(control_.IsRunning()) << "signing service double not running";
    const std::vector<uint8_t> ca = control_.CaCertificateDer();
    std::ofstream(folder_.path() + "test-ca.der", std::ios::binary)
        .write(reinterpret_cast<const char*>(ca.data()), static_cast<std::streamsize>(ca.size()));
    SetEnvironmentVariableW(L"SENDARO_WEBVIEW_TRUSTED_CA", Utf8ToWide(folder_.path() + "test-ca.der").c_str());
    SetEnvironmentVariableW(L"SENDARO_WEBVIEW_LOG", Utf8ToWide(folder_.path() + "browser.log").c_str());
    SetEnvironmentVariableW(L"SENDARO_WEBVIEW_USER_SCRIPT", Utf8ToWide(folder_.path() + "user.json").c_str());
    event_inside_call = false;
  }
  void TearDown() override { EXPECT_FALSE(event_inside_call) << "an event arrived inside a call"; }

  void Script(const std::string& json) { std::ofstream(folder_.path() + "user.json") << json; }
  std::string LogInScript() {
    auto account = control_.Accounts()["accounts"]["ciudadano"];
    return R"({"pages": [{"path": "/trustedx-authserver/oauth/murako", "action": "submit",
               "fields": {"password": ")" + account["password"].get<std::string>() + R"("}}]})";
  }
  std::string AuthorizationUrl() const {
    return OAuthManager("", kOAuthClientId, kDevelopmentClientSecret)
        .BuildAuthorizationUrl(kOAuthCitizen, kOAuthRedirectUri, "es", "12345678Z");
  }
  std::string Profile() const { return folder_.path() + "profile"; }

  ServiceDoubleControl control_;
  ScopedTempDirectory folder_;
};

TEST_F(StandInBrowser, ScriptedLoginRedirectsWithACodeAndKeepsTheSessionCookie) {
  Script(LogInScript());
  BrowserWindow browser(Profile());
  ASSERT_TRUE(browser.web_view);
  browser.Navigate(AuthorizationUrl());
  ASSERT_TRUE(browser.WaitForRedirect()) << ReadFileBytes(folder_.path() + "browser.log");

  // The page, the form's POST to the same address, then the redirect (cancelled).
  ASSERT_EQ(browser.started.size(), 3u);
  EXPECT_EQ(browser.started[0], AuthorizationUrl());
  EXPECT_EQ(browser.started[1], AuthorizationUrl());
  ASSERT_EQ(browser.redirect.rfind("oauth-swift://oauth-callback?code=", 0), 0u);
  ASSERT_TRUE(PumpUntil([&] { return browser.outcomes.size() == 2; }, 5000));
  EXPECT_EQ(browser.outcomes[0], std::make_pair(true, 0));
  EXPECT_EQ(browser.outcomes[1], std::make_pair(false, int{COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED}));
  const std::string code = browser.redirect.substr(browser.redirect.find("code=") + 5);
  EXPECT_TRUE(OAuthManager("", kOAuthClientId, kDevelopmentClientSecret)
                  .ExchangeCodeForToken(code, kOAuthRedirectUri, kOAuthCitizen));

  // The server's session cookie, listed with its attributes and written to the profile.
  ComPtr<ICoreWebView2_2> web_view_2;
  ASSERT_EQ(browser.web_view.As(&web_view_2), S_OK);
  ComPtr<ICoreWebView2CookieManager> cookies;
  ASSERT_EQ(web_view_2->get_CookieManager(&cookies), S_OK);
  ComPtr<ICoreWebView2CookieList> list;
  auto on_cookies = Make<Handler<ICoreWebView2GetCookiesCompletedHandler, HRESULT,
                                                ICoreWebView2CookieList*>>(
      [&](HRESULT, ICoreWebView2CookieList* answer) { list = answer; });
  ASSERT_EQ(BrowserCall([&] { return cookies->GetCookies(L"", on_cookies.Get()); }), S_OK);
  ASSERT_TRUE(PumpUntil([&] { return list != nullptr; }, 5000));
  UINT count = 0;
  list->get_Count(&count);
  ASSERT_EQ(count, 1u);
  ComPtr<ICoreWebView2Cookie> cookie;
  ASSERT_EQ(list->GetValueAtIndex(0, &cookie), S_OK);
  LPWSTR text = nullptr;
  cookie->get_Name(&text);
  EXPECT_EQ(Take(text), "TXAUTHSESSION");
  cookie->get_Domain(&text);
  EXPECT_EQ(Take(text), DeploymentServiceHosts().citizen_development);
  cookie->get_Path(&text);
  EXPECT_EQ(Take(text), "/trustedx-authserver");
  BOOL secure = FALSE, http_only = FALSE, session = TRUE;
  double expires = 0;
  cookie->get_IsSecure(&secure);
  cookie->get_IsHttpOnly(&http_only);
  cookie->get_IsSession(&session);
  cookie->get_Expires(&expires);
  EXPECT_TRUE(secure && http_only && !session);
  EXPECT_NEAR(expires, static_cast<double>(time(nullptr)) + 8 * 3600, 120);
  EXPECT_NE(ReadFileBytes(Profile() + "\\Cookies.txt").find("TXAUTHSESSION"), std::string::npos);

  // Closing the controller releases the handlers it kept.
  browser.controller->Close();
  EXPECT_EQ(browser.starting->references(), 1u);
  EXPECT_EQ(browser.completed->references(), 1u);
}

TEST_F(StandInBrowser, LiveSessionSkipsTheLoginPageAndAHiddenWindowGetsNoUser) {
  Script(LogInScript());
  {
    BrowserWindow first(Profile());
    first.Navigate(AuthorizationUrl());
    ASSERT_TRUE(first.WaitForRedirect());
  }
  // A new browser on the same profile: the stored cookie brings the code at once.
  Script(R"({"pages": [{"action": "close", "times": 0}]})");
  BrowserWindow second(Profile());
  second.Navigate(AuthorizationUrl() + "&_t=1");
  ASSERT_TRUE(second.WaitForRedirect());
  EXPECT_EQ(second.started.size(), 2u);
  EXPECT_NE(second.redirect.find("code="), std::string::npos);

  // Server session gone and the window hidden: the login page loads, nobody acts on it.
  control_.Call("POST", "/oauth/sessions/expire", R"({"account": "ciudadano"})");
  ShowWindow(second.window, SW_HIDE);
  second.redirect.clear();
  second.outcomes.clear();
  second.Navigate(AuthorizationUrl() + "&_t=2");
  ASSERT_TRUE(PumpUntil([&] { return !second.outcomes.empty(); }, 10000));
  EXPECT_TRUE(second.outcomes[0].first);
  PumpUntil([] { return false; }, 500);
  EXPECT_TRUE(second.redirect.empty());
  EXPECT_TRUE(IsWindow(second.window));
  EXPECT_NE(ReadFileBytes(folder_.path() + "browser.log").find("user: the window is hidden"),
            std::string::npos);
}

TEST_F(StandInBrowser, CancelLinkAndClosingTheWindow) {
  Script(R"({"pages": [{"title": "Acceso", "action": "cancel"}]})");
  {
    BrowserWindow browser(Profile());
    browser.Navigate(AuthorizationUrl());
    ASSERT_TRUE(browser.WaitForRedirect());
    EXPECT_EQ(browser.redirect.rfind("oauth-swift://oauth-callback?error=access_denied", 0), 0u);
  }
  Script(R"({"pages": [{"title": "Acceso", "action": "close"}]})");
  BrowserWindow browser(Profile());
  browser.Navigate(AuthorizationUrl());
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(browser.window); }, 10000));
  EXPECT_TRUE(browser.redirect.empty());
}

// A login page keeps an item in web storage for its origin; the DevTools protocol clears one
// origin's after the call returned, and another origin's clearing leaves it.
TEST_F(StandInBrowser, SiteDataIsKeptPerOriginAndClearedAfterTheCall) {
  const std::string site_data = Profile() + "\\SiteData.txt";
  const std::string origin =
      ChooseApiEndpoint(DeploymentServiceHosts(), UserType::kCitizen, false).base_url;
  BrowserWindow browser(Profile());
  browser.Navigate(AuthorizationUrl());
  ASSERT_TRUE(PumpUntil([&] { return ReadFileBytes(site_data).find(origin + " ") == 0; }, 10000));
  int cleared = 0;
  auto on_cleared = Make<Handler<ICoreWebView2CallDevToolsProtocolMethodCompletedHandler,
                                 HRESULT, LPCWSTR>>([&](HRESULT, LPCWSTR) { ++cleared; });
  for (const std::string& other : {std::string("https://other.example"), origin}) {
    const std::wstring parameters = Utf8ToWide(R"({"origin": ")" + other + R"("})");
    EXPECT_EQ(BrowserCall([&] {
      return browser.web_view->CallDevToolsProtocolMethod(L"Storage.clearDataForOrigin",
                                                          parameters.c_str(), on_cleared.Get());
    }), S_OK);
    EXPECT_FALSE(ReadFileBytes(site_data).empty());
  }
  ASSERT_TRUE(PumpUntil([&] { return cleared == 2; }, 5000));
  EXPECT_EQ(ReadFileBytes(site_data), "");
}

// An external scheme the navigation events let through asks to launch its application; the
// sign-in browser's guard cancels the launch where the runtime reports it.
TEST_F(StandInBrowser, ExternalSchemeLaunchesUnlessTheGuardCancelsIt) {
  const std::string log = folder_.path() + "browser.log";
  const auto logged = [&](const std::string& line) {
    return PumpUntil([&] { return ReadFileBytes(log).find(line) != std::string::npos; }, 5000);
  };
  {
    BrowserWindow unguarded(Profile());
    unguarded.Navigate("ms-settings:privacy");
    EXPECT_TRUE(logged("external application launched for: ms-settings:privacy"));
  }
  BrowserWindow guarded(Profile());
  GuardFramesWindowsAndDownloads(guarded.web_view.Get(), nullptr);
  guarded.Navigate("ms-settings:privacy");
  EXPECT_TRUE(logged("external scheme launch cancelled: ms-settings:privacy"));
}

}  // namespace
