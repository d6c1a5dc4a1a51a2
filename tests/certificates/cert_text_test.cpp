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

TEST(CertTextTest, HexBytesAcceptOnlyDigitPairs) {
  EXPECT_EQ(ToUpperHex({0x00, 0xAB, 0x7f}), "00AB7F");
  EXPECT_EQ(ParseHexBytes("00ab7F"), (std::vector<uint8_t>{0x00, 0xAB, 0x7F}));
  EXPECT_FALSE(ParseHexBytes("").has_value());
  EXPECT_FALSE(ParseHexBytes("ABC").has_value());
  EXPECT_FALSE(ParseHexBytes("ZZ").has_value());
  EXPECT_FALSE(ParseHexBytes("+1").has_value());
  EXPECT_FALSE(ParseHexBytes(" 1").has_value());
  EXPECT_FALSE(ParseHexBytes("0x").has_value());
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

TEST(CertTextTest, Base64EncodingPadsToWholeGroups) {
  EXPECT_EQ(EncodeBase64({}), "");
  EXPECT_EQ(EncodeBase64({'f'}), "Zg==");
  EXPECT_EQ(EncodeBase64({'f', 'o'}), "Zm8=");
  EXPECT_EQ(EncodeBase64({'f', 'o', 'o'}), "Zm9v");
  EXPECT_EQ(EncodeBase64({0xFB, 0xFF}), "+/8=");
}
