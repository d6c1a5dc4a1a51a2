// The shared vocabulary: the token clock and when a token expires.
#include <gtest/gtest.h>

#include "auth_vocabulary.h"

namespace {

TEST(TokenClock, CountsHundredNanosecondsSince1970) {
  // 2020-01-01 and 2100-01-01 in 100 ns units.
  EXPECT_GT(CurrentTokenTime(), 15778368000000000LL);
  EXPECT_LT(CurrentTokenTime(), 41024448000000000LL);
}

TEST(TokenExpiry, IsTheCurrentUnixTimePlusTheLifetimeTruncated) {
  const int64_t now = 17000000001234567;  // 1 700 000 000.1234567 s
  EXPECT_EQ(TokenExpirySeconds(now, 3600), 1700003600);
  EXPECT_EQ(TokenExpirySeconds(now, 0), 1700000000);
  EXPECT_EQ(TokenExpirySeconds(now, 2147483647), 1700000000LL + 2147483647LL);
}

}  // namespace
