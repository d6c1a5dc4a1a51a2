#include "cert_text.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(CertTextTest, SerialNumbersReadTheStoredIntegerFromItsLastByte) {
  EXPECT_EQ(FormatSerialNumber({0x01, 0x0A}), "0a01");
  EXPECT_EQ(FormatSerialNumber({0x01, 0x80, 0x00}), "008001") << "leading zero byte kept";
  EXPECT_EQ(FormatSerialNumber({}), "");
}

TEST(CertTextTest, FileTimesMoveToTheUnixEpochAndDropFractions) {
  using std::chrono::seconds;
  using std::chrono::system_clock;
  EXPECT_EQ(FileTimeToTimePoint(116444736000000000ULL), system_clock::time_point(seconds(0)));
  EXPECT_EQ(FileTimeToTimePoint(116444736000000000ULL + 15 * 10000000ULL + 9999999ULL),
            system_clock::time_point(seconds(15)));
  // NotAfter 9999-12-31 23:59:59 ("no well-defined expiration date") and year 1601 lie beyond
  // a nanosecond clock's range: held at its ends, never wrapped around.
  const auto last_second_of_9999 = FileTimeToTimePoint(2650467743990000000ULL);
  EXPECT_GT(last_second_of_9999, system_clock::time_point(seconds(4102444800)));  // 2100
  EXPECT_GE(FileTimeToTimePoint(UINT64_MAX), last_second_of_9999);
  EXPECT_LT(FileTimeToTimePoint(0), system_clock::time_point(seconds(-2208988800)));  // 1900
}

TEST(CertTextTest, DescriptionFieldsNeedTheirLabels) {
  DescriptionFields both = ParseDescription("MurakoSignIdentityId:id-7;OAuthToken:tok;en");
  EXPECT_EQ(both.signIdentityId, "id-7");
  EXPECT_EQ(both.oauthToken, "tok;en");

  DescriptionFields noSeparator = ParseDescription("MurakoSignIdentityId:id-7 OAuthToken:abc");
  EXPECT_EQ(noSeparator.signIdentityId, "");
  EXPECT_EQ(noSeparator.oauthToken, "abc");

  DescriptionFields neither = ParseDescription("Imported by the user");
  EXPECT_EQ(neither.signIdentityId, "");
  EXPECT_EQ(neither.oauthToken, "");
}
