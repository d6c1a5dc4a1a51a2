#include <flutter/encodable_value.h>
#include <flutter/method_result_functions.h>
#include <flutter/standard_message_codec.h>
#include <flutter/standard_method_codec.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

namespace {

std::vector<uint8_t> Hex(const std::string& text) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    i += 2;
  }
  return bytes;
}

std::vector<uint8_t> Encode(const EncodableValue& value) {
  return *flutter::StandardMessageCodec::GetInstance().EncodeMessage(value);
}

EncodableValue Decode(const std::vector<uint8_t>& bytes) {
  return *flutter::StandardMessageCodec::GetInstance().DecodeMessage(bytes);
}

const flutter::StandardMethodCodec& MethodCodec() {
  return flutter::StandardMethodCodec::GetInstance();
}

// What a MethodResult received, as text.
struct Answer {
  std::string text = "none";

  std::unique_ptr<flutter::MethodResult<EncodableValue>> Result() {
    return std::make_unique<flutter::MethodResultFunctions<EncodableValue>>(
        [this](const EncodableValue* value) { text = value ? "success value" : "success null"; },
        [this](const std::string& code, const std::string& message, const EncodableValue* details) {
          text = "error " + code + "|" + message + (details ? "|details" : "");
        },
        [this] { text = "not implemented"; });
  }
};

TEST(StandardCodecTest, ValuesEncodeToThePublishedBytesAndDecodeBack) {
  const std::vector<std::pair<EncodableValue, std::string>> cases = {
      {EncodableValue(), "00"},
      {EncodableValue(true), "01"},
      {EncodableValue(false), "02"},
      {EncodableValue(int32_t{0x12345678}), "03 78 56 34 12"},
      {EncodableValue(int64_t{0x1234567890abcdef}), "04 ef cd ab 90 78 56 34 12"},
      {EncodableValue(3.141592653589793), "06 00 00 00 00 00 00 00 18 2d 44 54 fb 21 09 40"},
      {EncodableValue("hello world"), "07 0b 68 65 6c 6c 6f 20 77 6f 72 6c 64"},
      {EncodableValue("h\xe2\x98\xbaw"), "07 05 68 e2 98 ba 77"},
      {EncodableValue(""), "07 00"},
      {EncodableValue(EncodableList{EncodableValue(), EncodableValue("hello"), EncodableValue(3.14),
                                    EncodableValue(47),
                                    EncodableValue(EncodableList{EncodableValue(42),
                                                                 EncodableValue("nested")})}),
       "0c 05 00 07 05 68 65 6c 6c 6f 06 00 00 00 00 00 1f 85 eb 51 b8 1e 09 40 03 2f 00 00 00 "
       "0c 02 03 2a 00 00 00 07 06 6e 65 73 74 65 64"},
      {EncodableValue(EncodableList{}), "0c 00"},
      {EncodableValue(std::vector<uint8_t>{0xba, 0x5e, 0xba, 0x11}), "08 04 ba 5e ba 11"},
      {EncodableValue(std::vector<int32_t>{0x12345678, -1, 0}),
       "09 03 00 00 78 56 34 12 ff ff ff ff 00 00 00 00"},
      {EncodableValue(std::vector<float>{3.1415920257568359375f, 1000.0f}),
       "0e 02 00 00 d8 0f 49 40 00 00 7a 44"},
      {EncodableValue(std::vector<double>{}), "0b 00"},
  };
  for (const auto& [value, hex] : cases) {
    SCOPED_TRACE(hex);
    EXPECT_EQ(Encode(value), Hex(hex));
    EXPECT_EQ(Decode(Hex(hex)), value);
  }
  EXPECT_TRUE(Decode({}).IsNull());
}

TEST(StandardCodecTest, SizesAbove253UseTheEscapeBytes) {
  std::string text(300, 'x');
  std::vector<uint8_t> encoded = Encode(EncodableValue(text));
  ASSERT_EQ(encoded.size(), 4u + 300u);
  EXPECT_EQ(std::vector<uint8_t>(encoded.begin(), encoded.begin() + 4), Hex("07 fe 2c 01"));
  EXPECT_EQ(Decode(encoded), EncodableValue(text));

  std::vector<uint8_t> bytes(70000, 0xab);
  encoded = Encode(EncodableValue(bytes));
  EXPECT_EQ(std::vector<uint8_t>(encoded.begin(), encoded.begin() + 6), Hex("08 ff 70 11 01 00"));
  EXPECT_EQ(Decode(encoded), EncodableValue(bytes));
}

TEST(StandardCodecTest, DoublesAlignFromTheStartOfTheWholeMessage) {
  // "x" ends at offset 5: the double's type byte sits at 5, two pad bytes reach offset 8.
  EncodableValue list(EncodableList{EncodableValue("x"), EncodableValue(1.0)});
  EXPECT_EQ(Encode(list), Hex("0c 02 07 01 78 06 00 00 00 00 00 00 00 00 f0 3f"));
  EXPECT_EQ(Decode(Encode(list)), list);

  // An envelope's flag byte counts as well.
  EncodableValue number(600.7);
  EXPECT_EQ(*MethodCodec().EncodeSuccessEnvelope(&number),
            Hex("00 06 00 00 00 00 00 00 9a 99 99 99 99 c5 82 40"));
  Answer answer;
  auto result = answer.Result();
  std::vector<uint8_t> envelope = *MethodCodec().EncodeSuccessEnvelope(&number);
  EXPECT_TRUE(MethodCodec().DecodeAndProcessResponseEnvelope(envelope.data(), envelope.size(),
                                                             result.get()));
  EXPECT_EQ(answer.text, "success value");
}

TEST(StandardCodecTest, MapsEncodeInKeyOrderAndNestedMapsRoundTrip) {
  EncodableValue map(EncodableMap{
      {EncodableValue("a"), EncodableValue(3.14)},
      {EncodableValue("b"), EncodableValue(47)},
      {EncodableValue(), EncodableValue()},
      {EncodableValue(3.14), EncodableValue(EncodableList{EncodableValue("nested")})},
  });
  std::vector<uint8_t> encoded = Encode(map);
  ASSERT_EQ(encoded.size(), 48u);
  EXPECT_EQ(std::vector<uint8_t>(encoded.begin(), encoded.begin() + 3), Hex("0d 04 00"));
  EXPECT_EQ(Decode(encoded), map);

  EncodableValue sorted(EncodableMap{{EncodableValue("b"), EncodableValue(true)},
                                     {EncodableValue("a"), EncodableValue(1)}});
  EXPECT_EQ(*MethodCodec().EncodeSuccessEnvelope(&sorted),
            Hex("00 0d 02 07 01 61 03 01 00 00 00 07 01 62 01"));

  EncodableValue nested(EncodableMap{
      {EncodableValue("outer"),
       EncodableValue(EncodableMap{{EncodableValue("inner"), EncodableValue(EncodableMap{})},
                                   {EncodableValue("z"), EncodableValue(0.5)}})}});
  EXPECT_EQ(Decode(Encode(nested)), nested);
}

TEST(StandardCodecTest, MethodCallsAndEnvelopesMatchThePublishedBytes) {
  auto arguments = std::make_unique<EncodableValue>(
      EncodableMap{{EncodableValue("userType"), EncodableValue("ciudadano")}});
  flutter::MethodCall<EncodableValue> call("getStoredToken", std::move(arguments));
  std::vector<uint8_t> encoded = *MethodCodec().EncodeMethodCall(call);
  EXPECT_EQ(encoded, Hex("07 0e 67 65 74 53 74 6f 72 65 64 54 6f 6b 65 6e 0d 01 07 08 75 73 65 72 "
                         "54 79 70 65 07 09 63 69 75 64 61 64 61 6e 6f"));
  auto decoded = MethodCodec().DecodeMethodCall(encoded);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->method_name(), "getStoredToken");
  EXPECT_EQ(*decoded->arguments(), *call.arguments());

  flutter::MethodCall<EncodableValue> bare("getEnvironment", nullptr);
  encoded = *MethodCodec().EncodeMethodCall(bare);
  EXPECT_EQ(encoded, Hex("07 0e 67 65 74 45 6e 76 69 72 6f 6e 6d 65 6e 74 00"));
  ASSERT_TRUE(MethodCodec().DecodeMethodCall(encoded)->arguments());
  EXPECT_TRUE(MethodCodec().DecodeMethodCall(encoded)->arguments()->IsNull());

  EncodableValue answer(42);
  EncodableValue details(EncodableList{EncodableValue("a"), EncodableValue(42)});
  EXPECT_EQ(*MethodCodec().EncodeSuccessEnvelope(), Hex("00 00"));
  EXPECT_EQ(*MethodCodec().EncodeSuccessEnvelope(&answer), Hex("00 03 2a 00 00 00"));
  EXPECT_EQ(*MethodCodec().EncodeErrorEnvelope("errorCode"),
            Hex("01 07 09 65 72 72 6f 72 43 6f 64 65 00 00"));
  EXPECT_EQ(*MethodCodec().EncodeErrorEnvelope("errorCode", "something failed", &details),
            Hex("01 07 09 65 72 72 6f 72 43 6f 64 65 07 10 73 6f 6d 65 74 68 69 6e 67 20 66 61 69 "
                "6c 65 64 0c 02 07 01 61 03 2a 00 00 00"));
  EXPECT_EQ(*MethodCodec().EncodeErrorEnvelope("INVALID_ARGS", "Arguments must be a map"),
            Hex("01 07 0c 49 4e 56 41 4c 49 44 5f 41 52 47 53 07 17 41 72 67 75 6d 65 6e 74 73 20 "
                "6d 75 73 74 20 62 65 20 61 20 6d 61 70 00"));
}

TEST(StandardCodecTest, ResponseEnvelopesReachTheResult) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"00 00", "success null"},
      {"00 03 2a 00 00 00", "success value"},
      {"01 07 09 65 72 72 6f 72 43 6f 64 65 00 00", "error errorCode|"},
      {"01 07 01 45 07 01 6d 0c 00", "error E|m|details"},
  };
  for (const auto& [hex, expected] : cases) {
    Answer answer;
    auto result = answer.Result();
    std::vector<uint8_t> bytes = Hex(hex);
    EXPECT_TRUE(MethodCodec().DecodeAndProcessResponseEnvelope(bytes.data(), bytes.size(),
                                                               result.get()));
    EXPECT_EQ(answer.text, expected) << hex;
  }
  for (const std::string hex : {"", "02 00", "01 03 01 00 00 00 00 00", "00 07 05 61"}) {
    Answer answer;
    auto result = answer.Result();
    std::vector<uint8_t> bytes = Hex(hex);
    EXPECT_FALSE(MethodCodec().DecodeAndProcessResponseEnvelope(bytes.data(), bytes.size(),
                                                                result.get()));
    EXPECT_EQ(answer.text, "none") << hex;
  }
}

TEST(StandardCodecTest, BytesThatAreNoMethodCallDecodeToNothing) {
  std::vector<std::string> hostile = {
      "",                           // nothing at all
      "03 01 00 00 00 00",          // the name is an int
      "00 00",                      // the name is null
      "07 05 68 69",                // the name is cut short
      "07 01 61 07 05 61",          // the arguments are cut short
      "07 01 61 06 00 00",          // a double without its bytes
      "07 01 61 0c ff ff ff ff ff", // a list claiming four billion items
      "07 01 61 08 fe ff ff 01",    // a byte list longer than the message
      "07 01 61 0f",                // an unknown type byte
      "07 01 61 0d 02 07 01 6b",    // a map cut after its first key
  };
  std::string deep = "07 01 61";
  for (int i = 0; i < 20000; ++i) {
    deep += " 0c 01";
  }
  hostile.push_back(deep + " 00");
  for (const std::string& hex : hostile) {
    EXPECT_EQ(MethodCodec().DecodeMethodCall(Hex(hex)), nullptr) << hex.substr(0, 40);
  }
}

}  // namespace
