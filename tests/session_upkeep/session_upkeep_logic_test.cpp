// Session upkeep as pure logic: the validity rule with its log lines, the expiry parser's
// refusals, the sign-out key order and the one-renewal-at-a-time guard with its time bound.
#include <gtest/gtest.h>

#include <limits>

#include "captured_log.h"
#include "session_keys.h"
#include "session_validity.h"
#include "silent_refresh.h"

namespace {

constexpr int64_t kNow = 1765000000;

void ExpectOneLine(const SessionValidity& validity, LogLevel level, const std::string& text) {
  ASSERT_EQ(validity.log_lines.size(), 1u);
  EXPECT_EQ(validity.log_lines[0].level, level);
  EXPECT_EQ(validity.log_lines[0].text, text);
}

TEST(SessionValidity, ActiveOnlyStrictlyBeforeTheExpirySecond) {
  const SessionValidity valid = DecideSessionValidity("token", std::to_string(kNow + 1), kNow);
  EXPECT_TRUE(valid.active);
  ExpectOneLine(valid, LogLevel::Info, "Token expiry check: VALID (remaining: 1s)");

  const SessionValidity equal = DecideSessionValidity("token", std::to_string(kNow), kNow);
  EXPECT_FALSE(equal.active);
  ExpectOneLine(equal, LogLevel::Info, "Token expiry check: EXPIRED (remaining: 0s)");

  const SessionValidity past = DecideSessionValidity("token", std::to_string(kNow - 100), kNow);
  EXPECT_FALSE(past.active);
  ExpectOneLine(past, LogLevel::Info, "Token expiry check: EXPIRED (remaining: -100s)");
}

TEST(SessionValidity, MissingTokenOrExpiryIsInactive) {
  for (const std::optional<std::string>& token : {std::optional<std::string>(),
                                                  std::optional<std::string>("")}) {
    const SessionValidity validity = DecideSessionValidity(token, std::to_string(kNow + 60), kNow);
    EXPECT_FALSE(validity.active);
    ExpectOneLine(validity, LogLevel::Info, "No access token found, session is inactive");
  }
  for (const std::optional<std::string>& expiry : {std::optional<std::string>(),
                                                   std::optional<std::string>("")}) {
    const SessionValidity validity = DecideSessionValidity("token", expiry, kNow);
    EXPECT_FALSE(validity.active);
    ExpectOneLine(validity, LogLevel::Warning, "No token expiry found, assuming expired");
  }
}

TEST(SessionValidity, ExpiryThatIsNotWhollyANumberIsInactive) {
  // A prefix that reads as a far-future number must not make the session look valid.
  const std::string future = std::to_string(kNow + 3600);
  for (const std::string& text : {std::string("soon"), future + "junk", future + " ", " " + future,
                                  future + ".5", std::string("-"), std::string("+"),
                                  std::string("0x10"), std::string("1e12")}) {
    SCOPED_TRACE(text);
    const SessionValidity validity = DecideSessionValidity("token", text, kNow);
    EXPECT_FALSE(validity.active);
    ExpectOneLine(validity, LogLevel::Warning, "Failed to parse token expiry: invalid stoll argument");
  }
  for (const std::string& text : {std::string("9223372036854775808"),
                                  std::string("-9223372036854775809"),
                                  std::string("99999999999999999999999")}) {
    SCOPED_TRACE(text);
    const SessionValidity validity = DecideSessionValidity("token", text, kNow);
    EXPECT_FALSE(validity.active);
    ExpectOneLine(validity, LogLevel::Warning,
                  "Failed to parse token expiry: stoll argument out of range");
  }
}

TEST(SessionValidity, SignedValuesAtThe64BitBoundsParseAndTheRemainderSaturates) {
  EXPECT_EQ(ParseExpirySeconds("+42").seconds, 42);
  EXPECT_EQ(ParseExpirySeconds("-42").seconds, -42);
  EXPECT_EQ(ParseExpirySeconds("007").seconds, 7);
  EXPECT_EQ(ParseExpirySeconds("9223372036854775807").seconds,
            std::numeric_limits<int64_t>::max());
  EXPECT_EQ(ParseExpirySeconds("-9223372036854775808").seconds,
            std::numeric_limits<int64_t>::min());

  const SessionValidity lowest = DecideSessionValidity("token", "-9223372036854775808", kNow);
  EXPECT_FALSE(lowest.active);
  ExpectOneLine(lowest, LogLevel::Info,
                "Token expiry check: EXPIRED (remaining: -9223372036854775808s)");
  const SessionValidity highest = DecideSessionValidity("token", "9223372036854775807", kNow);
  EXPECT_TRUE(highest.active);
  EXPECT_EQ(RemainingSeconds(std::numeric_limits<int64_t>::max(), -5),
            std::numeric_limits<int64_t>::max());
}

TEST(SessionKeys, SignOutDeletesTokensInOrderAndBothMappingsPerCertificate) {
  EXPECT_EQ(SessionTokenKeysInClearingOrder(),
            (std::vector<std::string>{"oauth_access_token_ciudadano", "oauth_refresh_token_ciudadano",
                                      "oauth_token_expiry_ciudadano",
                                      "oauth_access_token_profesional",
                                      "oauth_refresh_token_profesional",
                                      "oauth_token_expiry_profesional"}));
  InstalledCertificate first;
  first.thumbprint = "AA";
  InstalledCertificate second;
  second.thumbprint = "BB";
  EXPECT_EQ(ThumbprintMappingKeys({first, second}),
            (std::vector<std::string>{"sign_identity_by_thumbprint_AA", "user_type_by_thumbprint_AA",
                                      "sign_identity_by_thumbprint_BB",
                                      "user_type_by_thumbprint_BB"}));
}

class RenewalGuard : public ::testing::Test {
 protected:
  SilentRefresh MakeRefresh() {
    SilentRefreshSeams seams;
    seams.elapsed_ms = [this] { return now_ms_; };
    return SilentRefresh(seams);
  }
  int64_t now_ms_ = 1000;
};

TEST_F(RenewalGuard, SecondRenewalIsRefusedUntilTheContinuationRuns) {
  SilentRefresh refresh = MakeRefresh();
  DebugOutputCapture capture;
  EXPECT_FALSE(refresh.CheckCanStart());
  EXPECT_TRUE(LoggedExactly(capture, "INFO",
                            "\xF0\x9F\x94\x84 [POC] Refreshing token silently with OAuth flow..."));
  refresh.MarkStarted();
  EXPECT_TRUE(LoggedExactly(capture, "INFO", "OAuth flow started - flag set to prevent concurrency"));

  now_ms_ += 60000;
  std::optional<SilentRefreshResult> refused = refresh.CheckCanStart();
  ASSERT_TRUE(refused);
  EXPECT_FALSE(refused->success);
  EXPECT_EQ(refused->message, "Token refresh already in progress. Please wait.");
  EXPECT_EQ(refused->newToken, "");
  EXPECT_TRUE(LoggedExactly(capture, "WARNING",
                            "OAuth flow already in progress - rejecting concurrent request"));

  // A renewal that was refused leaves the pending one as it was.
  EXPECT_TRUE(refresh.IsInProgress());
  // The session-expired path of a continuation without any token or refresh token clears it.
  refresh.OnSilentRefreshTokenReceived("nobody", std::nullopt);
  EXPECT_FALSE(refresh.IsInProgress());
  EXPECT_FALSE(refresh.CheckCanStart());
}

TEST_F(RenewalGuard, ARenewalThatNeverCompletesStopsBlockingAfterTheBound) {
  // Three proxy strategies within the WinHTTP time-outs (15+15+30+30 s) and the navigation.
  EXPECT_EQ(SilentRefreshStaleAfterMs(), 3 * 90000 + 30000);
  SilentRefresh refresh = MakeRefresh();
  refresh.MarkStarted();
  now_ms_ += SilentRefreshStaleAfterMs() - 1;
  EXPECT_TRUE(refresh.CheckCanStart());

  now_ms_ += 1;
  DebugOutputCapture capture;
  EXPECT_FALSE(refresh.IsInProgress());
  EXPECT_FALSE(refresh.CheckCanStart());
  EXPECT_TRUE(LoggedExactly(capture, "WARNING",
                            "Previous silent refresh never completed - flag reset after 300s"));
  refresh.MarkStarted();
  EXPECT_TRUE(refresh.CheckCanStart());
}

TEST(SilentRefreshAnswers, NoBrowserToRenewThrough) {
  DebugOutputCapture capture;
  const SilentRefreshResult result = SilentRefresh::WebViewUnavailable();
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.message, "WebView not available. Please login first.");
  EXPECT_EQ(result.newToken, "");
  EXPECT_TRUE(LoggedExactly(capture, "ERROR", "OAuth WebView not available - user must login first"));
}

}  // namespace
