// The sign-in window with the embedded-browser stand-in and a scripted user against the signing
// service double's authorization server: the plain sign-in, the cookie listing and silent
// renewal with a live and with an expired server session, one reaching the redirect through a
// second navigation and one that hears nothing; forged redirects; where the browser may go;
// cancel, a closed window, a replaced sign-in and a redirect without a code, each answered
// once; sign-out ending the browser's session (its site data, its own signed-out mark, no window
// left), and one account's sign-out (also through "deleteStoredToken") leaving the other's
// renewal and first sign-in alone; a missing browser runtime; the window's title.
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "application_host.h"
#include "auth_vocabulary.h"
#include "bridge_session_methods.h"
#include "browser_user.h"
#include "captured_log.h"
#include "oauth_manager.h"
#include "oauth_protocol.h"
#include "oauth_webview_window.h"
#include "saved_credentials.h"
#include "secure_storage.h"
#include "service_double_control.h"
#include "service_endpoints.h"
#include "session_state.h"
#include "sign_in_service.h"
#include "sign_in_test_host.h"
#include "string_conversion.h"
#include "test_environment.h"
#include "webview_runtime.h"

namespace {

constexpr DWORD kFlowTimeoutMs = 60000;
constexpr uint32_t kRenewalBoundMs = 8000;

// What the channel methods reach of the main window, around the test's sign-in service.
struct ChannelHost : ApplicationHost {
  ChannelHost(HWND window, SignInService& sign_in) : window(window), sign_in(sign_in) {}
  HWND MainWindow() const override { return window; }
  SignInService& SignIn() override { return sign_in; }
  HWND window;
  SignInService& sign_in;
};

class SignInBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(control_.IsRunning()) << "signing service double not running";
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    SecureStorage::DeleteToken(kEnvironmentKey);
    for (const std::string& key : SessionTokenKeysInClearingOrder()) {
      SecureStorage::DeleteToken(key);
    }
    control_.Call("POST", "/oauth/sessions/revoke", "{}");
    control_.Call("POST", "/oauth/page_mode", "{}");
    host_ = std::make_unique<SignInTestHost>();
    ASSERT_NE(host_->handle(), nullptr);
    SignInServiceOptions options;
    options.silent_renewal_bound_ms = kRenewalBoundMs;
    service_ = std::make_unique<SignInService>(host_->handle(), manager_,
                                               [this] {
                                                 ++expired_notices_;
                                                 if (on_expired_notice_) on_expired_notice_();
                                               },
                                               options);
    host_->OnOAuthComplete([this](WPARAM flow) { service_->OnOAuthComplete(flow); });
  }
  void TearDown() override {
    control_.Call("POST", "/oauth/page_mode", "{}");
    service_.reset();
    host_.reset();
    PumpFor(200);
    CoUninitialize();
  }

  // An interactive plain sign-in of the citizen, as the user types the name and password.
  std::shared_ptr<RecordedAnswer<murako::OAuthToken>> SignInCitizen() {
    user_.Script(BrowserUser::LogInAs("ciudadano"));
    return StartSignIn(UserType::kCitizen, true);
  }
  std::shared_ptr<RecordedAnswer<murako::OAuthToken>> StartSignIn(UserType type, bool wait) {
    auto answer = std::make_shared<RecordedAnswer<murako::OAuthToken>>();
    service_->StartOAuth(type, kOAuthRedirectUri, RecordInto(answer));
    if (wait) {
      EXPECT_TRUE(PumpUntil([&] { return answer->answers > 0; }, kFlowTimeoutMs));
    }
    return answer;
  }
  void PageMode(const std::string& json) { control_.Call("POST", "/oauth/page_mode", json); }
  bool SignInWindowVisible() const {
    HWND window = service_->SignInWindow() ? service_->SignInWindow()->window() : nullptr;
    return window != nullptr && IsWindowVisible(window);
  }
  // Access tokens the double's authorization server has issued so far.
  size_t Grants() const {
    const auto issued = nlohmann::json::parse(control_.Call("GET", "/oauth/issued").value_or("{}"));
    return issued.value("access_tokens", nlohmann::json::array()).size();
  }
  static bool NoSessionTokenStored() {
    for (const std::string& key : SessionTokenKeysInClearingOrder()) {
      if (SecureStorage::GetToken(key)) return false;
    }
    return true;
  }

  // A silent renewal started and left to run; Renew waits for its answer.
  std::shared_ptr<RecordedAnswer<SilentRefreshResult>> StartRenewal(UserType type) {
    EXPECT_FALSE(service_->RejectConcurrentRefresh());
    auto answer = std::make_shared<RecordedAnswer<SilentRefreshResult>>();
    service_->RefreshTokenWithCookies(type, RecordInto(answer));
    return answer;
  }
  std::shared_ptr<RecordedAnswer<SilentRefreshResult>> Renew(UserType type = UserType::kCitizen) {
    auto answer = StartRenewal(type);
    shown_during_renewal_ = false;
    EXPECT_TRUE(PumpUntil(
        [&] {
          HWND window = service_->SignInWindow() ? service_->SignInWindow()->window() : nullptr;
          if (window != nullptr && IsWindowVisible(window)) shown_during_renewal_ = true;
          return answer->answers > 0;
        },
        kRenewalBoundMs + 10000));
    return answer;
  }

  ServiceDoubleControl control_;
  SavedCredentials saved_{LinkingCredentialKeys()};
  BrowserUser user_;
  std::shared_ptr<OAuthManager> manager_ =
      std::make_shared<OAuthManager>("", kOAuthClientId, kDevelopmentClientSecret);
  std::unique_ptr<SignInTestHost> host_;
  std::unique_ptr<SignInService> service_;
  int expired_notices_ = 0;
  std::function<void()> on_expired_notice_;
  bool shown_during_renewal_ = false;
};

TEST_F(SignInBrowserTest, SignInThenCookiesThenSilentRenewalWithALiveServerSession) {
  auto signed_in = SignInCitizen();
  ASSERT_TRUE(signed_in->value) << signed_in->error_code;
  EXPECT_EQ(signed_in->answers, 1);
  EXPECT_EQ(SecureStorage::GetToken("oauth_access_token_ciudadano"),
            signed_in->value->access_token);
  EXPECT_EQ(SecureStorage::GetToken("oauth_refresh_token_ciudadano"),
            signed_in->value->refresh_token);
  ASSERT_NE(service_->SignInWindow(), nullptr);
  HWND window = service_->SignInWindow()->window();
  ASSERT_NE(window, nullptr) << "the window is hidden after the sign-in, not destroyed";
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(WindowTitle(window), "Sendaro - Autenticaci\xC3\xB3n");

  // The authorization server's session cookie, as the browser keeps it.
  auto cookies = std::make_shared<RecordedAnswer<CookieListing>>();
  service_->GetCookiesInfo(RecordInto(cookies));
  ASSERT_TRUE(PumpUntil([&] { return cookies->answers > 0; }, kFlowTimeoutMs));
  ASSERT_TRUE(cookies->value) << cookies->error_code;
  EXPECT_EQ(cookies->value->count, static_cast<int>(cookies->value->cookies.size()));
  const BrowserCookie* session = nullptr;
  for (const BrowserCookie& cookie : cookies->value->cookies) {
    if (cookie.name == std::string("TXAUTHSESSION")) session = &cookie;
  }
  ASSERT_NE(session, nullptr) << cookies->value->message;
  EXPECT_EQ(session->path, std::string("/trustedx-authserver"));
  EXPECT_EQ(session->domain, DeploymentServiceHosts().citizen_development);
  EXPECT_EQ(session->secure, true);
  EXPECT_EQ(session->httpOnly, true);
  ASSERT_TRUE(session->expiresAt);
  EXPECT_GT(*session->expiresAt, static_cast<double>(CurrentUnixSeconds()));
  EXPECT_FALSE(session->value.value_or("").empty());

  // The server still knows the browser: a new token without showing anything.
  SecureStorage::StoreToken("oauth_token_expiry_ciudadano", "1000");
  const int64_t before = CurrentUnixSeconds();
  auto renewed = Renew();
  ASSERT_TRUE(renewed->value);
  EXPECT_TRUE(renewed->value->success) << renewed->value->message;
  EXPECT_EQ(renewed->value->message, "Token refreshed successfully");
  EXPECT_FALSE(renewed->value->newToken.empty());
  EXPECT_NE(renewed->value->newToken, signed_in->value->access_token);
  EXPECT_FALSE(shown_during_renewal_);
  EXPECT_EQ(SecureStorage::GetToken("oauth_access_token_ciudadano"), renewed->value->newToken);
  const int64_t expiry =
      std::stoll(SecureStorage::GetToken("oauth_token_expiry_ciudadano").value_or("0"));
  EXPECT_GE(expiry, before + 3600);
  EXPECT_LE(expiry, CurrentUnixSeconds() + 3600);
  EXPECT_EQ(expired_notices_, 0);
}

TEST_F(SignInBrowserTest, RenewalAfterTheServerSessionExpiredFallsBackThenEndsTheSession) {
  auto signed_in = SignInCitizen();
  ASSERT_TRUE(signed_in->value);
  control_.Call("POST", "/oauth/sessions/expire", R"({"account":"ciudadano"})");

  // The hidden browser meets the login page: the renewal ends empty, well within its bound,
  // and the stored refresh token renews the session.
  const ULONGLONG started = GetTickCount64();
  DebugOutputCapture capture;
  auto fallback = Renew();
  EXPECT_TRUE(LoggedExactly(capture, "WARNING",
                            "Silent renewal ended without a token: the authorization server "
                            "asks for the user"));
  ASSERT_TRUE(fallback->value);
  EXPECT_TRUE(fallback->value->success);
  EXPECT_EQ(fallback->value->message, "Token refreshed via refresh_token fallback");
  EXPECT_LT(GetTickCount64() - started, static_cast<ULONGLONG>(kRenewalBoundMs));
  EXPECT_FALSE(shown_during_renewal_);
  EXPECT_EQ(SecureStorage::GetToken("oauth_access_token_ciudadano"), fallback->value->newToken);
  EXPECT_EQ(expired_notices_, 0);

  // Nothing left to renew with: the session-expired notice and a failed answer. The notice is
  // shown while the renewal's answer is delivered; an end of the Windows session dispatched
  // inside it (the notification area's call waits on another process) signs out before it
  // returns, cookies confirmed deleted, for nothing runs after it; the delivery keeps its window
  // until it has returned. A channel's sign-out there runs nothing and says so.
  bool signed_out_under_delivery = false;
  on_expired_notice_ = [&] {
    EXPECT_FALSE(service_->SignOut([] { ADD_FAILURE() << "a refused sign-out ran"; }));
    service_->SignOutAtEnd([] { EXPECT_TRUE(ClearOAuthSession()); });
    signed_out_under_delivery =
        service_->SignInWindow() != nullptr && NoSessionTokenStored() && !HasSignedOutMark();
  };
  SecureStorage::DeleteToken("oauth_refresh_token_ciudadano");
  auto expired = Renew();
  ASSERT_TRUE(expired->value);
  EXPECT_FALSE(expired->value->success);
  EXPECT_EQ(expired->value->message, "Silent refresh failed. Session may have expired.");
  EXPECT_EQ(expired->value->newToken, "");
  EXPECT_EQ(expired_notices_, 1);
  EXPECT_FALSE(service_->RejectConcurrentRefresh()) << "the guard is cleared";
  EXPECT_TRUE(signed_out_under_delivery);
  EXPECT_NE(service_->SignInWindow(), nullptr);
  EXPECT_TRUE(NoSessionTokenStored());
}

TEST_F(SignInBrowserTest, CancelClosedWindowAndRedirectWithoutCodeEachAnswerOnce) {
  // The user follows the cancel link: error=access_denied ends the flow with an empty result.
  user_.Script(BrowserUser::Cancel());
  auto cancelled = std::make_shared<RecordedAnswer<murako::OAuthToken>>();
  service_->StartOAuth(UserType::kProfessional, kOAuthRedirectUri, RecordInto(cancelled));
  ASSERT_TRUE(PumpUntil([&] { return cancelled->answers > 0; }, kFlowTimeoutMs));
  EXPECT_FALSE(cancelled->value);
  EXPECT_EQ(cancelled->error_code, "OAUTH_FAILED");
  EXPECT_EQ(cancelled->error_message, "Failed to complete OAuth flow");
  EXPECT_EQ(host_->completions(), 1);

  // The user closes the window during a linking: the call gets the failure answer, once.
  user_.Script(BrowserUser::CloseWindow());
  auto closed = std::make_shared<RecordedAnswer<AccountLinkingResult>>();
  service_->LinkCertificates(UserType::kProfessional, std::nullopt, RecordInto(closed));
  ASSERT_TRUE(PumpUntil([&] { return closed->answers > 0; }, kFlowTimeoutMs));
  EXPECT_EQ(service_->SignInWindow()->window(), nullptr);
  ASSERT_TRUE(closed->value);
  EXPECT_FALSE(closed->value->success);
  EXPECT_EQ(closed->value->message, kLinkingAuthenticationFailed);
  PumpFor(1000);
  EXPECT_EQ(closed->answers, 1);
  EXPECT_EQ(host_->completions(), 2);

  // The server refuses the request and redirects without a code (wrong acr_values).
  std::string url =
      manager_->BuildAuthorizationUrl(kOAuthProfessional, kOAuthRedirectUri, "es", "");
  url.replace(url.find("acr_values=") + 11, 3, "bad");
  OAuthWebViewWindow window(host_->handle(), SignInWindowOptions{kRenewalBoundMs});
  host_->OnOAuthComplete([&window](WPARAM flow) { window.InvokeCallback(flow); });
  int calls = 0;
  std::optional<murako::OAuthToken> outcome = murako::OAuthToken();
  window.StartOAuthFlow(url, kOAuthRedirectUri, manager_, UserType::kProfessional,
                        [&](std::optional<murako::OAuthToken> token) {
                          ++calls;
                          outcome = std::move(token);
                        },
                        "es");
  ASSERT_TRUE(PumpUntil([&] { return calls > 0; }, kFlowTimeoutMs));
  EXPECT_FALSE(outcome);
  EXPECT_EQ(host_->completions(), 3);
  EXPECT_FALSE(IsWindowVisible(window.window()));
  host_->OnOAuthComplete(nullptr);
}

TEST_F(SignInBrowserTest, TitleFollowsTheLocaleAndLinkingStoresIt) {
  user_.Script(BrowserUser::DoNothing());
  auto basque = std::make_shared<RecordedAnswer<AccountLinkingResult>>();
  service_->LinkCertificates(UserType::kCitizen, std::string("eu"), RecordInto(basque));
  ASSERT_NE(service_->SignInWindow()->window(), nullptr);
  EXPECT_EQ(WindowTitle(service_->SignInWindow()->window()), "Sendaroa - Autentifikazioa");
  EXPECT_EQ(SecureStorage::GetToken("app_locale"), "eu");

  auto spanish = std::make_shared<RecordedAnswer<AccountLinkingResult>>();
  service_->LinkCertificates(UserType::kProfessional, std::nullopt, RecordInto(spanish));
  EXPECT_EQ(WindowTitle(service_->SignInWindow()->window()), "Sendaro - Autenticaci\xC3\xB3n");
  EXPECT_EQ(SecureStorage::GetToken("app_locale"), "es");
  PumpFor(500);
  EXPECT_EQ(basque->answers, 1) << "answered when the second linking replaced its window";
  EXPECT_EQ(spanish->answers, 0);
}

TEST_F(SignInBrowserTest, ForgedRedirectsAreRefusedAndTheRealOneStillLinks) {
  // A page of the flow sends the window to the redirect URI with a code minted for another
  // account and the flow's own state: only the flow's PKCE verifier keeps the foreign code
  // from being exchanged.
  PageMode(R"({"mode": "foreign_code", "account": "profesional", "state": "keep"})");
  DebugOutputCapture capture;
  auto answer = StartSignIn(UserType::kCitizen, true);
  EXPECT_EQ(answer->answers, 1);
  EXPECT_EQ(answer->error_code, "OAUTH_FAILED");
  EXPECT_TRUE(NoSessionTokenStored());
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "Token exchange failed - no token returned"));

  // A line forged into the server's error stays on the line it came in.
  PageMode(R"({"mode": "foreign_code", "state": "keep",
               "error": "access_denied\n[2026-01-01 00:00:00] [INFO] Token exchange successful"})");
  auto refused = StartSignIn(UserType::kCitizen, true);
  EXPECT_EQ(refused->error_code, "OAUTH_FAILED");
  EXPECT_TRUE(LoggedExactly(capture, "ERROR",
                            "Authorization server answered error: access_denied\\x0A"
                            "[2026-01-01 00:00:00] [INFO] Token exchange successful"));

  // Without a state or with another one, the forged redirect is cancelled and the sign-in goes
  // on: the page refreshes to the authorization server, the user logs in, the account links.
  for (const std::string state : {"drop", "other"}) {
    SCOPED_TRACE(state);
    PageMode(R"({"mode": "foreign_code", "account": "profesional", "then": "continue", )"
             R"("state": ")" + state + "\"}");
    const nlohmann::json account = control_.Accounts()["accounts"]["ciudadano"];
    user_.Script(nlohmann::json{
        {"pages", {{{"path", "/trustedx-authserver/oauth/murako/continue"},
                    {"action", "submit"},
                    {"fields", {{"username", account.value("dni", "")},
                                {"password", account.value("password", "")}}}}}}}
                     .dump());
    DebugOutputCapture forged;
    auto linked = std::make_shared<RecordedAnswer<AccountLinkingResult>>();
    service_->LinkCertificates(UserType::kCitizen, std::nullopt, RecordInto(linked));
    ASSERT_TRUE(PumpUntil([&] { return linked->answers > 0; }, kFlowTimeoutMs));
    ASSERT_TRUE(linked->value);
    EXPECT_TRUE(linked->value->success) << linked->value->message;
    EXPECT_GT(linked->value->installed, 0);
    EXPECT_TRUE(LoggedExactly(forged, "ERROR", "OAuth state mismatch - redirect cancelled, "
                                               "still waiting for the sign-in's own"));
    EXPECT_FALSE(LoggedContaining(forged, "Token exchange failed"));
    PageMode("{}");
    service_->SignOut([] { EXPECT_TRUE(ClearOAuthSession()); });
  }
}

TEST_F(SignInBrowserTest, TheBrowserGoesOnlyWhereASignInGoes) {
  const auto browser_did = [this](const std::string& step) {
    return PumpUntil([&] { return user_.BrowserLog().find(step) != std::string::npos; },
                     kFlowTimeoutMs);
  };
  // A window for another program is refused; a help link for a new window opens in the
  // sign-in window itself. No window escapes the application.
  DebugOutputCapture capture;
  PageMode(R"({"mode": "new_window"})");
  user_.Script(BrowserUser::FollowLink("help"));
  StartSignIn(UserType::kCitizen, false);
  ASSERT_TRUE(browser_did("title: Ayuda del acceso")) << user_.BrowserLog();
  EXPECT_TRUE(LoggedExactly(capture, "WARNING", "New window request refused: ms-settings:privacy"));
  EXPECT_TRUE(
      LoggedContaining(capture, "New window request opened in the sign-in window: https://"));
  EXPECT_EQ(user_.BrowserLog().find("opened outside the application"), std::string::npos);

  // Plain http is never fetched, an attachment never saved.
  PageMode(R"({"mode": "plain_http"})");
  StartSignIn(UserType::kCitizen, false);
  ASSERT_TRUE(browser_did("navigation cancelled: http://")) << user_.BrowserLog();
  EXPECT_TRUE(LoggedContaining(capture, "Navigation cancelled (only https is allowed): http://"));
  // Frames follow the top-level rules: an http address and an external scheme are refused.
  PageMode(R"({"mode": "frames"})");
  StartSignIn(UserType::kCitizen, false);
  ASSERT_TRUE(browser_did("frame navigation allowed: https://")) << user_.BrowserLog();
  EXPECT_NE(user_.BrowserLog().find("frame navigation cancelled: http://"), std::string::npos);
  EXPECT_NE(user_.BrowserLog().find("frame navigation cancelled: ms-settings:privacy"),
            std::string::npos);
  EXPECT_TRUE(LoggedContaining(capture, "Frame navigation cancelled (only https is allowed): http://"));
  EXPECT_TRUE(LoggedExactly(capture, "WARNING",
                            "Frame navigation cancelled (only https is allowed): ms-settings:privacy"));
  PageMode(R"({"mode": "download"})");
  StartSignIn(UserType::kCitizen, false);
  ASSERT_TRUE(browser_did("download cancelled")) << user_.BrowserLog();
  EXPECT_TRUE(LoggedExactly(capture, "WARNING", "Download refused in the sign-in window"));
  EXPECT_EQ(user_.BrowserLog().find("download saved"), std::string::npos);

  // A server asking for a TLS client certificate or for basic credentials gets neither, and no
  // prompt offers the user's certificates; the sign-in keeps waiting.
  PageMode("{}");
  user_.Script(R"({"pages": [], "client_certificate_paths": ["/trustedx-authserver/oauth/*"]})");
  auto asked = StartSignIn(UserType::kCitizen, false);
  ASSERT_TRUE(browser_did("client certificate request cancelled: ")) << user_.BrowserLog();
  EXPECT_TRUE(LoggedContaining(capture, "Client certificate request refused in the sign-in "
                                        "window: " + DeploymentServiceHosts().citizen_development));
  PageMode(R"({"mode": "basic_auth"})");
  user_.Script(BrowserUser::DoNothing());
  PumpFor(500);
  EXPECT_EQ(asked->answers, 0);
  StartSignIn(UserType::kCitizen, false);
  ASSERT_TRUE(browser_did("basic authentication request cancelled: https://"));
  EXPECT_TRUE(LoggedContaining(capture, "Basic authentication request refused in the sign-in "
                                        "window: https://"));
  EXPECT_EQ(user_.BrowserLog().find("certificate picker shown"), std::string::npos);
  EXPECT_EQ(user_.BrowserLog().find("credentials prompt shown"), std::string::npos);

  // The blank and srcdoc frames sign-in pages script are the browser's own documents: the
  // login page that has them still signs in, and nothing is launched for them.
  PageMode(R"({"mode": "blank_frames"})");
  user_.Script(BrowserUser::LogInAs("ciudadano"));
  auto framed = StartSignIn(UserType::kCitizen, false);
  ASSERT_TRUE(PumpUntil([&] { return framed->answers > 0; }, 20000)) << user_.BrowserLog();
  EXPECT_TRUE(framed->value) << framed->error_code;
  EXPECT_NE(user_.BrowserLog().find("frame navigation allowed: about:blank"), std::string::npos);
  EXPECT_NE(user_.BrowserLog().find("frame navigation allowed: about:srcdoc"), std::string::npos);
  EXPECT_EQ(user_.BrowserLog().find("launched for: about:"), std::string::npos);
}

TEST_F(SignInBrowserTest, EverySignInCallGetsExactlyOneAnswer) {
  // A redirect URI that cannot be recognised fails the call at once.
  auto unusable = std::make_shared<RecordedAnswer<murako::OAuthToken>>();
  service_->StartOAuth(UserType::kCitizen, "", RecordInto(unusable));
  EXPECT_EQ(unusable->answers, 1);
  EXPECT_EQ(unusable->error_code, "OAUTH_FAILED");

  // The first flow's completion is held back while a second sign-in replaces its window: the
  // first call gets its own outcome then, and its late message is not the second's.
  std::optional<WPARAM> held;
  host_->OnOAuthComplete([&](WPARAM flow) {
    if (!held) {
      held = flow;
    } else {
      service_->OnOAuthComplete(flow);
    }
  });
  user_.Script(BrowserUser::LogInAs("ciudadano"));
  auto first = StartSignIn(UserType::kCitizen, false);
  ASSERT_TRUE(PumpUntil([&] { return held.has_value(); }, kFlowTimeoutMs));
  EXPECT_EQ(first->answers, 0);
  user_.Script(BrowserUser::DoNothing());
  control_.Call("POST", "/oauth/sessions/revoke", "{}");
  auto second = StartSignIn(UserType::kCitizen, false);
  EXPECT_EQ(first->answers, 1);
  EXPECT_TRUE(first->value) << first->error_code;
  service_->OnOAuthComplete(*held);
  EXPECT_EQ(second->answers, 0);

  // While the user signs in, a silent renewal is refused at once and the window stays.
  ASSERT_TRUE(PumpUntil([&] { return SignInWindowVisible(); }, kFlowTimeoutMs));
  const std::optional<SilentRefreshResult> busy = service_->RejectConcurrentRefresh();
  ASSERT_TRUE(busy);
  EXPECT_EQ(busy->message, "Token refresh already in progress. Please wait.");
  EXPECT_TRUE(SignInWindowVisible());

  auto third = StartSignIn(UserType::kProfessional, false);
  EXPECT_EQ(second->answers, 1);
  EXPECT_EQ(second->error_code, "OAUTH_FAILED");
  host_->OnOAuthComplete(nullptr);
  service_.reset();  // the main window goes: the pending call is answered too
  EXPECT_EQ(third->answers, 1);
  EXPECT_EQ(first->answers, 1);
}

TEST_F(SignInBrowserTest, ARenewalReachingTheRedirectThroughASecondNavigationSucceeds) {
  auto signed_in = SignInCitizen();
  ASSERT_TRUE(signed_in->value);
  for (const std::string mode : {"meta_refresh", "auto_submit"}) {
    SCOPED_TRACE(mode);
    PageMode(R"({"mode": ")" + mode + "\"}");
    auto renewed = Renew();
    ASSERT_TRUE(renewed->value);
    EXPECT_TRUE(renewed->value->success);
    EXPECT_EQ(renewed->value->message, "Token refreshed successfully");
    EXPECT_FALSE(shown_during_renewal_);
  }
  EXPECT_NE(user_.BrowserLog().find("page: refreshes to https://"), std::string::npos);
  EXPECT_NE(user_.BrowserLog().find("page: submits its form to https://"), std::string::npos);
}

TEST_F(SignInBrowserTest, SignOutEndsTheBrowsersSessionAndNothingBringsTheTokensBack) {
  auto signed_in = SignInCitizen();
  ASSERT_TRUE(signed_in->value);
  const std::string cookies = WideToUtf8(SignInBrowserProfileFolder()) + "\\Cookies.txt";
  ASSERT_NE(ReadFileBytes(cookies).find("TXAUTHSESSION"), std::string::npos);

  // No stored session: a renewal is answered at once; the browser goes nowhere.
  for (const std::string& key : SessionTokenKeysInClearingOrder()) SecureStorage::DeleteToken(key);
  const size_t steps = user_.BrowserLog().size();
  auto without = Renew();
  ASSERT_TRUE(without->value);
  EXPECT_FALSE(without->value->success);
  EXPECT_EQ(without->value->message, "Silent refresh failed. Session may have expired.");
  EXPECT_EQ(user_.BrowserLog().size(), steps);

  // Clear, then refresh: no token, no cookie. The browser deletes the cookies after the call
  // asked for it: the profile is marked signed out at once, and the browser closed and the mark
  // taken only once it confirmed the deletion.
  const std::wstring mark = SignInBrowserProfileFolder() + L"\\signed-out";
  const auto signed_out_cleanly = [&] {
    return PumpUntil(
        [&] {
          return ReadFileBytes(cookies).find("TXAUTHSESSION") == std::string::npos &&
                 GetFileAttributesW(mark.c_str()) == INVALID_FILE_ATTRIBUTES;
        },
        5000);
  };
  service_->SignOut([] { EXPECT_TRUE(ClearOAuthSession()); });
  EXPECT_EQ(service_->SignInWindow(), nullptr);
  EXPECT_NE(GetFileAttributesW(mark.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(signed_out_cleanly());
  auto refreshed = Renew();
  ASSERT_TRUE(refreshed->value);
  EXPECT_FALSE(refreshed->value->success);
  EXPECT_TRUE(NoSessionTokenStored());

  // A second sign-out before the first one's browser confirmed its deletion: that late
  // confirmation leaves the second one's mark, for the next browser's deletion to take.
  ASSERT_TRUE(SignInCitizen()->value);
  service_->SignOut([] { EXPECT_TRUE(ClearOAuthSession()); });
  service_->SignOut([] { EXPECT_TRUE(ClearOAuthSession()); });
  PumpFor(1500);
  EXPECT_NE(GetFileAttributesW(mark.c_str()), INVALID_FILE_ATTRIBUTES)
      << "a deletion took the mark of a later sign-out";

  // Signed in again, then, after a restart, signed out with no browser to delete the cookies
  // in: the next browser deletes them before it goes anywhere, and a new sign-in meets the
  // login page.
  ASSERT_TRUE(SignInCitizen()->value);
  service_ = std::make_unique<SignInService>(host_->handle(), manager_, [] {});
  service_->SignOut([] { EXPECT_TRUE(ClearOAuthSession()); });
  ASSERT_NE(ReadFileBytes(cookies).find("TXAUTHSESSION"), std::string::npos);
  user_.Script(BrowserUser::DoNothing());
  auto again = StartSignIn(UserType::kCitizen, false);
  ASSERT_TRUE(PumpUntil([&] { return SignInWindowVisible(); }, kFlowTimeoutMs));
  PumpFor(2000);
  EXPECT_EQ(again->answers, 0) << "no server session came back with a cookie";
  EXPECT_TRUE(signed_out_cleanly());
}

// A renewal after the user closed the sign-in window opens a new one, whose browser is still
// being created when a sign-out follows at once, again and again: once the sign-out's deletion
// is confirmed, no sign-in window of it is left, and the new browser never comes.
TEST_F(SignInBrowserTest, NoSignInWindowOutlivesASignOutDeletion) {
  const std::wstring mark = SignInBrowserProfileFolder() + L"\\signed-out";
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(SignInCitizen()->value);
    control_.Call("POST", "/oauth/sessions/revoke", "{}");
    user_.Script(BrowserUser::CloseWindow());
    StartSignIn(UserType::kCitizen, true);
    ASSERT_EQ(service_->SignInWindow()->window(), nullptr);
    auto renewal = StartRenewal(UserType::kCitizen);
    if (round % 2 == 0) {
      EXPECT_TRUE(service_->SignOut([] { EXPECT_TRUE(ClearOAuthSession()); }));
    } else {
      EXPECT_TRUE(service_->SignOut([] { EXPECT_FALSE(UnlinkAccount(UserType::kCitizen)); },
                                    UserType::kCitizen));
    }
    EXPECT_EQ(renewal->answers, 1);
    ASSERT_TRUE(PumpUntil([&] { return GetFileAttributesW(mark.c_str()) == INVALID_FILE_ATTRIBUTES; },
                          5000));
    EXPECT_EQ(FindWindowW(L"MurakoOAuthWindow", nullptr), nullptr);
  }
}

TEST_F(SignInBrowserTest, OneAccountsSignOutLeavesTheOthersRenewalWorking) {
  user_.Script(BrowserUser::LogInAs("ciudadano"));
  ASSERT_TRUE(StartSignIn(UserType::kCitizen, true)->value);
  user_.Script(BrowserUser::LogInAs("profesional"));
  ASSERT_TRUE(StartSignIn(UserType::kProfessional, true)->value);
  const std::string cookies = WideToUtf8(SignInBrowserProfileFolder()) + "\\Cookies.txt";
  const ServiceHosts hosts = DeploymentServiceHosts();
  ASSERT_NE(ReadFileBytes(cookies).find(hosts.citizen_development), std::string::npos);

  // "desactivarCertificado" of the citizen while the professional's renewal is under way: the
  // professional's server session and renewal stay.
  auto renewed = StartRenewal(UserType::kProfessional);
  service_->SignOut([] { EXPECT_FALSE(DeactivateAccount(UserType::kCitizen)); }, UserType::kCitizen);
  EXPECT_EQ(renewed->answers, 0) << "the citizen's sign-out answered the professional's renewal";
  ASSERT_NE(service_->SignInWindow(), nullptr);
  EXPECT_NE(service_->SignInWindow()->window(), nullptr) << "the hidden window stays";
  ASSERT_TRUE(PumpUntil(
      [&] { return ReadFileBytes(cookies).find(hosts.citizen_development) == std::string::npos; },
      5000));
  EXPECT_NE(ReadFileBytes(cookies).find(hosts.professional_development), std::string::npos);
  ASSERT_TRUE(PumpUntil([&] { return renewed->answers > 0; }, kRenewalBoundMs + 10000));
  ASSERT_TRUE(renewed->value);
  EXPECT_TRUE(renewed->value->success) << renewed->value->message;
  EXPECT_EQ(renewed->value->message, "Token refreshed successfully");
  EXPECT_EQ(SecureStorage::GetToken("oauth_access_token_profesional"), renewed->value->newToken);

  // The last account's sign-out ends the browser's session as before.
  service_->SignOut([] { EXPECT_FALSE(DeactivateAccount(UserType::kProfessional)); }, UserType::kProfessional);
  EXPECT_EQ(service_->SignInWindow(), nullptr);
  EXPECT_TRUE(PumpUntil(
      [&] { return ReadFileBytes(cookies).find("TXAUTHSESSION") == std::string::npos; }, 5000));
}

TEST_F(SignInBrowserTest, ASignOutDuringARenewalBringsNoTokenAndNoGrant) {
  auto signed_in = SignInCitizen();
  ASSERT_TRUE(signed_in->value);
  // The hidden browser will meet the login page, and the stored refresh token would renew.
  control_.Call("POST", "/oauth/sessions/expire", R"({"account":"ciudadano"})");
  const size_t before = Grants();
  auto renewal = StartRenewal(UserType::kCitizen);
  PumpFor(300);
  ASSERT_EQ(renewal->answers, 0);

  service_->SignOut([] { EXPECT_TRUE(ClearOAuthSession()); });
  EXPECT_EQ(renewal->answers, 1);
  ASSERT_TRUE(renewal->value);
  EXPECT_FALSE(renewal->value->success);
  EXPECT_EQ(renewal->value->newToken, "");
  PumpFor(3000);
  EXPECT_EQ(renewal->answers, 1);
  EXPECT_EQ(Grants(), before) << "no grant follows a sign-out";
  EXPECT_TRUE(NoSessionTokenStored());
  EXPECT_FALSE(service_->RejectConcurrentRefresh()) << "the guard is cleared";
}

// The citizen's sign-out ("desactivarCertificado", then "deleteStoredToken") while the
// professional's first sign-in window is open is the citizen's alone: its cookies and the site
// data of its origin go, the professional's login page stays, the professional logs in there
// and is linked. Signing both out then clears the whole profile's site data.
TEST_F(SignInBrowserTest, OneAccountsSignOutLeavesTheOthersFirstSignInToComplete) {
  const std::string folder = WideToUtf8(SignInBrowserProfileFolder());
  const auto holds = [&](const char* file, const std::string& text) {
    return ReadFileBytes(folder + file).find(text) != std::string::npos;
  };
  const ServiceHosts hosts = DeploymentServiceHosts();
  const std::string citizen = ChooseApiEndpoint(hosts, UserType::kCitizen, false).base_url + " ";
  const std::string professional =
      ChooseApiEndpoint(hosts, UserType::kProfessional, false).base_url + " ";
  ChannelHost channel_host(host_->handle(), *service_);
  for (const bool through_delete_stored_token : {false, true}) {
    SCOPED_TRACE(through_delete_stored_token ? "deleteStoredToken" : "desactivarCertificado");
    ASSERT_TRUE(SignInCitizen()->value);
    // The professional types the name and password a few seconds after the page is shown.
    nlohmann::json typing = nlohmann::json::parse(BrowserUser::LogInAs("profesional"));
    typing["pages"][0]["delay_ms"] = 3000;
    user_.Script(typing.dump());
    auto linked = std::make_shared<RecordedAnswer<AccountLinkingResult>>();
    service_->LinkCertificates(UserType::kProfessional, std::nullopt, RecordInto(linked));
    ASSERT_TRUE(PumpUntil([&] { return holds("\\SiteData.txt", professional); }, kFlowTimeoutMs));
    ASSERT_TRUE(holds("\\SiteData.txt", citizen));
    if (through_delete_stored_token) {
      const flutter::EncodableValue arguments = MapOf({{"userType", Text("ciudadano")}});
      EXPECT_EQ(bridge_session::DeleteStoredToken(channel_host, &arguments).value, Flag(true));
    } else {
      EXPECT_TRUE(service_->SignOut([] { EXPECT_FALSE(DeactivateAccount(UserType::kCitizen)); },
                                    UserType::kCitizen));
    }
    EXPECT_EQ(linked->answers, 0) << "the citizen's sign-out answered the professional's sign-in";
    EXPECT_TRUE(SignInWindowVisible());
    EXPECT_TRUE(PumpUntil([&] { return !holds("\\Cookies.txt", hosts.citizen_development) &&
                                       !holds("\\SiteData.txt", citizen); }, 5000));
    EXPECT_TRUE(holds("\\SiteData.txt", professional));
    ASSERT_TRUE(PumpUntil([&] { return linked->answers > 0; }, kFlowTimeoutMs));
    ASSERT_TRUE(linked->value);
    EXPECT_TRUE(linked->value->success) << linked->value->message;
    EXPECT_GT(linked->value->installed, 0);
    EXPECT_TRUE(SecureStorage::GetToken("oauth_access_token_profesional"));

    service_->SignOut([] { EXPECT_TRUE(ClearOAuthSession()); });
    EXPECT_TRUE(PumpUntil([&] { return ReadFileBytes(folder + "\\SiteData.txt").empty() &&
                                       !holds("\\Cookies.txt", "TXAUTHSESSION"); }, 5000));
  }
}

// "deleteStoredToken" is the account's sign-out too: the renewal under way, which the live
// server session would bring to the redirect, exchanges no code and stores nothing.
TEST_F(SignInBrowserTest, DeleteStoredTokenDuringARenewalBringsNoTokenAndNoGrant) {
  ASSERT_TRUE(SignInCitizen()->value);
  SecureStorage::StoreToken("oauth_token_expiry_ciudadano", "1000");
  const size_t before = Grants();
  auto renewal = StartRenewal(UserType::kCitizen);

  ChannelHost host(host_->handle(), *service_);
  const flutter::EncodableValue arguments = MapOf({{"userType", Text("ciudadano")}});
  EXPECT_EQ(bridge_session::DeleteStoredToken(host, &arguments).value, Flag(true));
  ASSERT_EQ(renewal->answers, 1) << "answered by the sign-out";
  ASSERT_TRUE(renewal->value);
  EXPECT_FALSE(renewal->value->success);
  PumpFor(4000);
  EXPECT_EQ(renewal->answers, 1);
  EXPECT_EQ(Grants(), before) << "no code exchange follows the sign-out";
  EXPECT_FALSE(SecureStorage::GetToken("oauth_access_token_ciudadano"));
  EXPECT_FALSE(SecureStorage::GetToken("oauth_refresh_token_ciudadano"));
  EXPECT_TRUE(SecureStorage::GetToken("oauth_token_expiry_ciudadano")) << "the expiry stays";
}

TEST_F(SignInBrowserTest, AMissingBrowserRuntimeIsNamedAndTheLinkingAnswered) {
  SetEnvironmentVariableW(L"SENDARO_WEBVIEW_NO_RUNTIME", L"1");
  DebugOutputCapture capture;
  auto linked = std::make_shared<RecordedAnswer<AccountLinkingResult>>();
  service_->LinkCertificates(UserType::kCitizen, std::nullopt, RecordInto(linked));
  SetEnvironmentVariableW(L"SENDARO_WEBVIEW_NO_RUNTIME", nullptr);
  EXPECT_EQ(linked->answers, 1);
  ASSERT_TRUE(linked->value);
  EXPECT_EQ(linked->value->message, kLinkingAuthenticationFailed);
  EXPECT_TRUE(LoggedInOrder(capture, {"] [ERROR] Failed to create WebView2 environment",
                                      "] [ERROR]    HRESULT: 0x80070002",
                                      "] [ERROR] WebView2 Runtime not found"}));
}

// A server that accepts connections and never answers.
class SilentServer {
 public:
  SilentServer() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    bind(socket_, reinterpret_cast<sockaddr*>(&address), length);
    listen(socket_, 8);
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() {
    closesocket(socket_);
    WSACleanup();
  }
  std::string Url() const {
    return "https://127.0.0.1:" + std::to_string(port_) + "/trustedx-authserver/oauth/murako?x=1";
  }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  int port_ = 0;
};

TEST_F(SignInBrowserTest, ARenewalThatHearsNothingEndsEmptyAtItsBound) {
  SilentServer server;
  constexpr uint32_t kBoundMs = 2000;
  OAuthWebViewWindow window(host_->handle(), SignInWindowOptions{kBoundMs});
  host_->OnOAuthComplete([&window](WPARAM flow) { window.InvokeCallback(flow); });
  int calls = 0;
  std::optional<murako::OAuthToken> outcome = murako::OAuthToken();
  auto callback = [&](std::optional<murako::OAuthToken> token) {
    ++calls;
    outcome = std::move(token);
  };
  window.StartOAuthFlow(server.Url(), kOAuthRedirectUri, manager_, UserType::kCitizen, callback,
                        "es");
  ASSERT_TRUE(PumpUntil([&] { return window.webview() != nullptr; }, kFlowTimeoutMs));

  // The renewal answers the interactive flow it replaces first.
  window.StartOAuthFlow(server.Url(), kOAuthRedirectUri, manager_, UserType::kCitizen, callback,
                        "es");
  EXPECT_TRUE(window.IsSilentRenewalPending());
  EXPECT_EQ(calls, 1);
  outcome = murako::OAuthToken();
  DebugOutputCapture capture;
  const ULONGLONG started = GetTickCount64();
  ASSERT_TRUE(PumpUntil([&] { return calls > 1; }, 20000));
  const ULONGLONG waited = GetTickCount64() - started;
  EXPECT_FALSE(outcome);
  EXPECT_FALSE(window.IsSilentRenewalPending());
  EXPECT_TRUE(LoggedExactly(capture, "WARNING",
                            "Silent renewal ended without a token: no redirect within 2 s"));
  EXPECT_GE(waited, kBoundMs - 100);
  EXPECT_LT(waited, kBoundMs + 3000);
  PumpFor(500);
  EXPECT_EQ(calls, 2);
  host_->OnOAuthComplete(nullptr);
}

}  // namespace
