#include "cert_text.h"

#include <gtest/gtest.h>

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
