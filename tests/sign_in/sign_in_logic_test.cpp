// The sign-in window's pure parts: reading the redirect, the renewal URL, the window title,
// the cookie listing's texts, the hand-written COM handlers and the once-only reply.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "cookie_listing.h"
#include "pending_reply.h"
#include "sign_in_urls.h"
#include "webview_handlers.h"

namespace {

constexpr char kRedirect[] = "oauth-swift://oauth-callback";

TEST(SignInRedirect, CodeIsTakenFromAnyPlaceAndOnlyFromTheRedirect) {
  EXPECT_EQ(ExtractAuthorizationCode("oauth-swift://oauth-callback?code=abc&state="), "abc");
  EXPECT_EQ(ExtractAuthorizationCode("oauth-swift://oauth-callback?state=&code=abc"), "abc");
  EXPECT_EQ(ExtractAuthorizationCode("oauth-swift://oauth-callback?code=a%2Fb"), "a%2Fb");
  EXPECT_EQ(ExtractAuthorizationCode("oauth-swift://oauth-callback?error=access_denied"), "");
  EXPECT_EQ(ExtractAuthorizationCode("oauth-swift://oauth-callback?code=&state="), "");

  EXPECT_TRUE(IsOAuthRedirect("oauth-swift://oauth-callback?code=abc", kRedirect));
  EXPECT_FALSE(IsOAuthRedirect("https://host/login?next=oauth-swift://oauth-callback", kRedirect));
  EXPECT_FALSE(IsOAuthRedirect("oauth-swift://oauth", kRedirect));
  EXPECT_FALSE(IsOAuthRedirect("anything", ""));
}

TEST(SignInRedirect, TheLogNeverSeesTheCode) {
  EXPECT_EQ(RedactAuthorizationCode("oauth-swift://oauth-callback?code=secret123&state="),
            "oauth-swift://oauth-callback?code=[REDACTED]&state=");
  EXPECT_EQ(RedactAuthorizationCode("https://host/login?user=x"), "https://host/login?user=x");
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
  explicit CountingReply(int* answers) : answers(answers) {}
  void Success(const int&) override { ++*answers; }
  void Error(const std::string&, const std::string&) override { ++*answers; }
  int* answers;
};

TEST(SignInReplies, AnsweredOnceWhateverRunsTwice) {
  int answers = 0;
  auto pending = PendingReply<int>::Hold(std::make_unique<CountingReply>(&answers));
  EXPECT_FALSE(pending->IsAnswered());
  pending->Success(1);
  pending->Error("X", "again");
  pending->Success(2);
  EXPECT_TRUE(pending->IsAnswered());
  EXPECT_EQ(answers, 1);
}

}  // namespace
