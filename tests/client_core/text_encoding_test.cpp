#include "text_encoding.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

TEST(Base64, EncodesWithPaddingAndDecodesOnlyWholeCanonicalGroups) {
  EXPECT_EQ(EncodeBase64({}), "");
  EXPECT_EQ(EncodeBase64(Bytes("f")), "Zg==");
  EXPECT_EQ(EncodeBase64(Bytes("fo")), "Zm8=");
  EXPECT_EQ(EncodeBase64(Bytes("foo")), "Zm9v");
  EXPECT_EQ(EncodeBase64({0xFB, 0xFF, 0xBF}), "+/+/");

  for (const char* text : {"", "f", "fo", "foo", "foob", "fooba", "foobar"}) {
    EXPECT_EQ(DecodeBase64(EncodeBase64(Bytes(text))), Bytes(text)) << text;
  }
  EXPECT_EQ(DecodeBase64("+/+/"), (std::vector<uint8_t>{0xFB, 0xFF, 0xBF}));
  for (const char* text : {"Zm9", "Zm9v\r\nYmFy", "Zm=v", "Zg=A", "Z===", "Zm9-", "Zh==", "Zm9="}) {
    EXPECT_FALSE(DecodeBase64(text).has_value()) << text;
  }
}

TEST(Hex, FormatsUpperAndLowerCaseAndParsesOnlyDigitPairs) {
  EXPECT_EQ(ToUpperHex({0x00, 0xAB, 0x7f}), "00AB7F");
  EXPECT_EQ(ToUpperHex({0x0F, 0xA0}, ":"), "0F:A0:");
  EXPECT_EQ(ToLowerHex({0x00, 0xAB, 0x7f}), "00ab7f");
  EXPECT_EQ(UpperHexPreview(std::vector<uint8_t>(3, 0x0F), 16), "0F 0F 0F ...");
  EXPECT_EQ(UpperHexPreview(std::vector<uint8_t>(20, 0xAB), 2), "AB AB ...");

  EXPECT_EQ(ParseHexBytes("00ab7F"), (std::vector<uint8_t>{0x00, 0xAB, 0x7F}));
  for (const char* text : {"", "ABC", "ZZ", "+1", " 1", "0x"}) {
    EXPECT_FALSE(ParseHexBytes(text).has_value()) << text;
  }
}

}  // namespace
