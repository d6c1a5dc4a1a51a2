// The sign-in window's pure parts: recognising and reading the redirect, where the browser may
// go, the renewal URL, the window title, the cookie listing's texts, the hand-written COM
// handlers and the reply answered exactly once.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "cookie_deletion.h"
#include "cookie_listing.h"
#include "pending_reply.h"
#include "sign_in_urls.h"
#include "webview_handlers.h"

namespace {

constexpr char kRedirect[] = "oauth-swift://oauth-callback";

TEST(SignInRedirect, OnlyTheRedirectUriItselfIsTheRedirect) {
  EXPECT_TRUE(IsOAuthRedirect("oauth-swift://oauth-callback?code=abc", kRedirect));
  EXPECT_TRUE(IsOAuthRedirect("OAUTH-SWIFT://Oauth-Callback/?code=abc#x", kRedirect));
  EXPECT_TRUE(IsOAuthRedirect("oauth-swift://oauth-callback", kRedirect));
  for (const char* other : {"https://host/login?next=oauth-swift://oauth-callback",
                            "oauth-swift://oauth-callback.evil.example?code=abc",
                            "oauth-swift://oauth-callback@evil.example?code=abc",
                            "oauth-swift://oauth-callback/more?code=abc", "oauth-swift://oauth",
                            "oauth-swift:oauth-callback?code=abc"}) {
    EXPECT_FALSE(IsOAuthRedirect(other, kRedirect)) << other;
  }
  for (const char* unusable : {"", "oauth-callback", "oauth-swift://", "x://cb?code=1", "://cb"}) {
    EXPECT_FALSE(IsUsableRedirectUri(unusable)) << unusable;
    EXPECT_FALSE(IsOAuthRedirect("x://cb?code=1", unusable)) << unusable;
  }

  EXPECT_EQ(JudgeNavigation("https://h/p", kRedirect), NavigationVerdict::kAllow);
  EXPECT_EQ(JudgeNavigation("oauth-swift://oauth-callback?x", kRedirect),
            NavigationVerdict::kRedirect);
  for (const char* refused : {"http://h/p", "mailto:x@y", "ms-settings:privacy", "file:///c:/x",
                              "javascript:alert(1)", "https:///nohost", ""}) {
    EXPECT_EQ(JudgeNavigation(refused, kRedirect), NavigationVerdict::kRefuse) << refused;
  }
  // A frame: the browser's own documents too, the redirect URI never.
  EXPECT_EQ(JudgeNavigation("about:blank", kRedirect), NavigationVerdict::kRefuse);
  for (const char* own : {"about:blank", "about:srcdoc", "https://h/p", "https://app.example/"}) {
    EXPECT_EQ(JudgeFrameNavigation(own, kRedirect), NavigationVerdict::kAllow) << own;
  }
  for (const char* refused : {"about:config", "oauth-swift://oauth-callback?code=1", "http://h"}) {
    EXPECT_EQ(JudgeFrameNavigation(refused, kRedirect), NavigationVerdict::kRefuse) << refused;
  }
  // An https redirect URI given to "startOAuth" is no frame's either.
  EXPECT_EQ(JudgeFrameNavigation("https://APP.example/cb?code=1&state=s", "https://app.example/cb"),
            NavigationVerdict::kRefuse);
}

TEST(SignInRedirect, ParametersAreDecodedAndTheStateDecidesFirst) {
  RedirectParameters read =
      ReadRedirectParameters("oauth-swift://oauth-callback?error_code=7&code=a%2Fb+c&state=s%3D1");
  EXPECT_EQ(read.code, std::optional<std::string>("a/b c"));
  EXPECT_EQ(read.state, std::optional<std::string>("s=1"));
  EXPECT_FALSE(read.error);
  EXPECT_EQ(JudgeRedirect(read, "s=1"), RedirectOutcome::kCode);
  EXPECT_EQ(JudgeRedirect(read, "other"), RedirectOutcome::kStateMismatch);

  read = ReadRedirectParameters("oauth-swift://oauth-callback?error_code=abc&code=&state=s");
  EXPECT_EQ(JudgeRedirect(read, "s"), RedirectOutcome::kNoCode);
  read = ReadRedirectParameters("oauth-swift://oauth-callback?error=access_denied&code=x&state=s");
  EXPECT_EQ(JudgeRedirect(read, "s"), RedirectOutcome::kError);
  read = ReadRedirectParameters("oauth-swift://oauth-callback?code=foreign");
  EXPECT_EQ(JudgeRedirect(read, "s"), RedirectOutcome::kStateMismatch);
  EXPECT_EQ(JudgeRedirect(read, ""), RedirectOutcome::kCode) << "a flow without a state";
}

TEST(SignInRenewal, CacheBusterGoesOnTheStoredUrlAndTitleFollowsTheLocale) {
  const std::string url = "https://host/authorize?client_id=lumetra&login_hint=";
  EXPECT_EQ(WithCacheBuster(url, 1700000000123), url + "&_t=1700000000123");
  EXPECT_EQ(WithCacheBuster(url, 5), WithCacheBuster(url, 5));

  EXPECT_EQ(SignInWindowTitle("eu"), L"Sendaroa - Autentifikazioa");
  for (const char* other : {"EU", "es", "", "eu-ES"}) {
    EXPECT_EQ(SignInWindowTitle(other), L"Sendaro - Autenticaci\u00f3n") << other;
  }
}

TEST(SignInCookies, ListingTextsCountAndHost) {
  BrowserCookie cookie;
  cookie.name = "session";
  const CookieListing two = CookieListingOf({cookie, cookie}, "sign.example");
  EXPECT_EQ(two.count, 2);
  EXPECT_EQ(two.message, "\xE2\x9C\x85 Successfully retrieved 2 cookies");
  const CookieListing none = CookieListingOf({}, "sign.example");
  EXPECT_EQ(none.count, 0);
  EXPECT_EQ(none.message, "\xE2\x9A\xA0\xEF\xB8\x8F No cookies found from sign.example");
  const CookieListing without = CookieListingWithoutBrowser();
  EXPECT_EQ(without.count, 0);
  EXPECT_TRUE(without.cookies.empty());

  // What one account's sign-out deletes: the cookies a request to its host carries.
  EXPECT_TRUE(CookieDomainMatchesHost("sign.example", "SIGN.example"));
  EXPECT_TRUE(CookieDomainMatchesHost(".example", "sign.example"));
  EXPECT_TRUE(CookieDomainMatchesHost(".sign.example", "sign.example"));
  EXPECT_FALSE(CookieDomainMatchesHost("example", "sign.example")) << "host-only, another host";
  EXPECT_FALSE(CookieDomainMatchesHost(".n.example", "sign.example"));
  EXPECT_FALSE(CookieDomainMatchesHost(".other.sign.example", "sign.example"));
}

TEST(SignInComHandlers, ReferenceCountingInterfacesAndExceptions) {
  bool invoked = false;
  auto handler = GetCookiesCompletedHandler::Create(
      [&invoked](HRESULT result, ICoreWebView2CookieList*) {
        invoked = true;
        if (FAILED(result)) throw std::runtime_error("must not cross the COM boundary");
        return S_OK;
      });
  ICoreWebView2GetCookiesCompletedHandler* same = nullptr;
  ASSERT_EQ(handler->QueryInterface(IID_PPV_ARGS(&same)), S_OK);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(handler->QueryInterface(IID_PPV_ARGS(&unknown)), S_OK);
  ICoreWebView2NavigationStartingEventHandler* other = nullptr;
  EXPECT_EQ(handler->QueryInterface(IID_PPV_ARGS(&other)), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(same->Release(), 2u);
  EXPECT_EQ(unknown->Release(), 1u);

  EXPECT_EQ(handler->Invoke(S_OK, nullptr), S_OK);
  EXPECT_EQ(handler->Invoke(E_FAIL, nullptr), E_FAIL);
  EXPECT_TRUE(invoked);
}

struct CountingReply : SignInReply<int> {
  explicit CountingReply(int* answers, std::string* code = nullptr)
      : answers(answers), code(code) {}
  void Success(const int&) override { ++*answers; }
  void Error(const std::string& error, const std::string&) override {
    ++*answers;
    if (code != nullptr) *code = error;
  }
  int* answers;
  std::string* code;
};

void AnswerFailed(SignInReply<int>& reply) { reply.Error("FAILED", "unanswered"); }

TEST(SignInReplies, AnsweredOnceWhateverRunsTwiceAndOnceWhenReleasedUnanswered) {
  int answers = 0;
  auto pending = PendingReply<int>::Hold(std::make_unique<CountingReply>(&answers), AnswerFailed);
  EXPECT_FALSE(pending->IsAnswered());
  pending->Success(1);
  pending->Error("X", "again");
  pending->Success(2);
  EXPECT_TRUE(pending->IsAnswered());
  pending.reset();
  EXPECT_EQ(answers, 1);

  std::string code;
  auto dropped = PendingReply<int>::Hold(std::make_unique<CountingReply>(&answers, &code),
                                         AnswerFailed);
  dropped.reset();
  EXPECT_EQ(answers, 2);
  EXPECT_EQ(code, "FAILED");
}

}  // namespace
