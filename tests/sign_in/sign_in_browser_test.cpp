// The sign-in window with the embedded-browser stand-in and a scripted user against the signing
// service double's authorization server: the plain sign-in, the cookie listing and silent
// renewal with a live and with an expired server session, and one that hears nothing; cancel,
// a closed window and a redirect without a code; the window's title in Spanish and Basque.
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "auth_vocabulary.h"
#include "browser_user.h"
#include "captured_log.h"
#include "oauth_manager.h"
#include "oauth_protocol.h"
#include "oauth_webview_window.h"
#include "saved_credentials.h"
#include "secure_storage.h"
#include "service_double_control.h"
#include "service_endpoints.h"
#include "sign_in_service.h"
#include "sign_in_test_host.h"

namespace {

constexpr DWORD kFlowTimeoutMs = 60000;
constexpr uint32_t kRenewalBoundMs = 8000;

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
    host_ = std::make_unique<SignInTestHost>();
    ASSERT_NE(host_->handle(), nullptr);
    SignInServiceOptions options;
    options.silent_renewal_bound_ms = kRenewalBoundMs;
    service_ = std::make_unique<SignInService>(host_->handle(), manager_,
                                               [this] { ++expired_notices_; }, options);
    host_->OnOAuthComplete([this] { service_->OnOAuthComplete(); });
  }
  void TearDown() override {
    service_.reset();
    host_.reset();
    PumpFor(200);
    CoUninitialize();
  }

  // An interactive plain sign-in of the citizen, as the user types the name and password.
  std::shared_ptr<RecordedAnswer<murako::OAuthToken>> SignInCitizen() {
    user_.Script(BrowserUser::LogInAs("ciudadano"));
    auto answer = std::make_shared<RecordedAnswer<murako::OAuthToken>>();
    service_->StartOAuth("ciudadano", kOAuthRedirectUri, RecordInto(answer));
    EXPECT_TRUE(PumpUntil([&] { return answer->answers > 0; }, kFlowTimeoutMs));
    return answer;
  }

  std::shared_ptr<RecordedAnswer<SilentRefreshResult>> Renew() {
    EXPECT_FALSE(service_->RejectConcurrentRefresh());
    auto answer = std::make_shared<RecordedAnswer<SilentRefreshResult>>();
    service_->RefreshTokenWithCookies("ciudadano", RecordInto(answer));
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

  // Nothing left to renew with: the session-expired notice and a failed answer.
  SecureStorage::DeleteToken("oauth_refresh_token_ciudadano");
  auto expired = Renew();
  ASSERT_TRUE(expired->value);
  EXPECT_FALSE(expired->value->success);
  EXPECT_EQ(expired->value->message, "Silent refresh failed. Session may have expired.");
  EXPECT_EQ(expired->value->newToken, "");
  EXPECT_EQ(expired_notices_, 1);
  EXPECT_FALSE(service_->RejectConcurrentRefresh()) << "the guard is cleared";
}

TEST_F(SignInBrowserTest, CancelClosedWindowAndRedirectWithoutCode) {
  // The user follows the cancel link: error=access_denied ends the flow with an empty result.
  user_.Script(BrowserUser::Cancel());
  auto cancelled = std::make_shared<RecordedAnswer<murako::OAuthToken>>();
  service_->StartOAuth("profesional", kOAuthRedirectUri, RecordInto(cancelled));
  ASSERT_TRUE(PumpUntil([&] { return cancelled->answers > 0; }, kFlowTimeoutMs));
  EXPECT_FALSE(cancelled->value);
  EXPECT_EQ(cancelled->error_code, "OAUTH_FAILED");
  EXPECT_EQ(cancelled->error_message, "Failed to complete OAuth flow");
  EXPECT_EQ(host_->completions(), 1);

  // The user closes the window: no answer, ever; the window is gone.
  user_.Script(BrowserUser::CloseWindow());
  auto closed = std::make_shared<RecordedAnswer<murako::OAuthToken>>();
  service_->StartOAuth("profesional", kOAuthRedirectUri, RecordInto(closed));
  EXPECT_TRUE(PumpUntil([&] { return service_->SignInWindow()->window() == nullptr; },
                        kFlowTimeoutMs));
  PumpFor(1500);
  EXPECT_EQ(closed->answers, 0);
  EXPECT_EQ(host_->completions(), 1);

  // The server refuses the request and redirects without a code (wrong acr_values).
  std::string url =
      manager_->BuildAuthorizationUrl(kOAuthProfessional, kOAuthRedirectUri, "es", "");
  url.replace(url.find("acr_values=") + 11, 3, "bad");
  OAuthWebViewWindow window(host_->handle(), kRenewalBoundMs);
  host_->OnOAuthComplete([&window] { window.InvokeCallback(); });
  int calls = 0;
  std::optional<murako::OAuthToken> outcome = murako::OAuthToken();
  window.StartOAuthFlow(url, kOAuthRedirectUri, manager_, kOAuthProfessional,
                        [&](std::optional<murako::OAuthToken> token) {
                          ++calls;
                          outcome = std::move(token);
                        },
                        "es");
  ASSERT_TRUE(PumpUntil([&] { return calls > 0; }, kFlowTimeoutMs));
  EXPECT_FALSE(outcome);
  EXPECT_EQ(host_->completions(), 2);
  EXPECT_FALSE(IsWindowVisible(window.window()));
  host_->OnOAuthComplete(nullptr);
}

TEST_F(SignInBrowserTest, TitleFollowsTheLocaleAndLinkingStoresIt) {
  user_.Script(BrowserUser::DoNothing());
  auto basque = std::make_shared<RecordedAnswer<AccountLinkingResult>>();
  service_->LinkCertificates(kOAuthCitizen, std::string("eu"), RecordInto(basque));
  ASSERT_NE(service_->SignInWindow()->window(), nullptr);
  EXPECT_EQ(WindowTitle(service_->SignInWindow()->window()), "Sendaroa - Autentifikazioa");
  EXPECT_EQ(SecureStorage::GetToken("app_locale"), "eu");

  auto spanish = std::make_shared<RecordedAnswer<AccountLinkingResult>>();
  service_->LinkCertificates(kOAuthProfessional, std::nullopt, RecordInto(spanish));
  EXPECT_EQ(WindowTitle(service_->SignInWindow()->window()), "Sendaro - Autenticaci\xC3\xB3n");
  EXPECT_EQ(SecureStorage::GetToken("app_locale"), "es");
  PumpFor(500);
  EXPECT_EQ(basque->answers + spanish->answers, 0);
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
  OAuthWebViewWindow window(host_->handle(), kBoundMs);
  host_->OnOAuthComplete([&window] { window.InvokeCallback(); });
  int calls = 0;
  std::optional<murako::OAuthToken> outcome = murako::OAuthToken();
  auto callback = [&](std::optional<murako::OAuthToken> token) {
    ++calls;
    outcome = std::move(token);
  };
  window.StartOAuthFlow(server.Url(), kOAuthRedirectUri, manager_, kOAuthCitizen, callback, "es");
  ASSERT_TRUE(PumpUntil([&] { return window.webview() != nullptr; }, kFlowTimeoutMs));

  window.StartOAuthFlow(server.Url(), kOAuthRedirectUri, manager_, kOAuthCitizen, callback, "es");
  EXPECT_TRUE(window.IsSilentRenewalPending());
  DebugOutputCapture capture;
  const ULONGLONG started = GetTickCount64();
  ASSERT_TRUE(PumpUntil([&] { return calls > 0; }, 20000));
  const ULONGLONG waited = GetTickCount64() - started;
  EXPECT_FALSE(outcome);
  EXPECT_FALSE(window.IsSilentRenewalPending());
  EXPECT_TRUE(LoggedExactly(capture, "WARNING",
                            "Silent renewal ended without a token: no redirect within 2 s"));
  EXPECT_GE(waited, kBoundMs - 100);
  EXPECT_LT(waited, kBoundMs + 3000);
  PumpFor(500);
  EXPECT_EQ(calls, 1);
  host_->OnOAuthComplete(nullptr);
}

}  // namespace
