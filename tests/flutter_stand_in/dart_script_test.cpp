#include "dart_script.h"

#include <gtest/gtest.h>

#include "byte_text.h"
#include "script_values.h"

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter_stand_in::Json;

namespace {

EncodableValue FromJson(const std::string& text) {
  std::string error;
  std::optional<EncodableValue> value = flutter_stand_in::ValueFromJson(Json::parse(text), &error);
  EXPECT_TRUE(value) << text << ": " << error;
  return value.value_or(EncodableValue());
}

std::string HexOf(const std::string& line) {
  flutter_stand_in::ParsedLine parsed = flutter_stand_in::ParseScriptLine(line);
  const auto* send = parsed.step ? std::get_if<flutter_stand_in::SendStep>(&*parsed.step) : nullptr;
  EXPECT_TRUE(send) << line << ": " << parsed.error;
  return send ? flutter_stand_in::HexFromBytes(send->message) : "";
}

std::vector<uint8_t> Bytes(const std::string& hex) {
  return flutter_stand_in::BytesFromHex(hex).value();
}

TEST(DartScriptTest, JsonMapsToTheValueKinds) {
  EXPECT_EQ(FromJson("null"), EncodableValue());
  EXPECT_EQ(FromJson("true"), EncodableValue(true));
  EXPECT_EQ(FromJson("2147483647"), EncodableValue(int32_t{2147483647}));
  EXPECT_EQ(FromJson("-2147483648"), EncodableValue(int32_t{-2147483647 - 1}));
  EXPECT_EQ(FromJson("2147483648"), EncodableValue(int64_t{2147483648}));
  EXPECT_EQ(FromJson("-2147483649"), EncodableValue(int64_t{-2147483649}));
  EXPECT_EQ(FromJson("1.0"), EncodableValue(1.0));
  EXPECT_EQ(FromJson("1e3"), EncodableValue(1000.0));
  EXPECT_EQ(FromJson("\"h\\u263aw\""), EncodableValue("h\xe2\x98\xbaw"));
  EXPECT_EQ(FromJson("{\"$bytes\": \"AQID/w==\"}"),
            EncodableValue(std::vector<uint8_t>{1, 2, 3, 255}));
  EXPECT_EQ(FromJson("{\"$int64\": 5}"), EncodableValue(int64_t{5}));
  EXPECT_EQ(FromJson("{\"$double\": 2}"), EncodableValue(2.0));
  EXPECT_EQ(FromJson("[1, [\"a\"], {\"k\": null}]"),
            EncodableValue(EncodableList{
                EncodableValue(1), EncodableValue(EncodableList{EncodableValue("a")}),
                EncodableValue(EncodableMap{{EncodableValue("k"), EncodableValue()}})}));
  // A marker only counts alone: with a second member it is an ordinary key.
  EXPECT_EQ(FromJson("{\"$int64\": 5, \"x\": 1}"),
            EncodableValue(EncodableMap{{EncodableValue("$int64"), EncodableValue(5)},
                                        {EncodableValue("x"), EncodableValue(1)}}));

  for (const char* bad : {"{\"$bytes\": \"A!==\"}", "{\"$bytes\": 5}", "{\"$int64\": 1.5}",
                          "{\"$double\": \"x\"}", "18446744073709551615", "[{\"$int64\": \"1\"}]"}) {
    std::string error;
    EXPECT_FALSE(flutter_stand_in::ValueFromJson(Json::parse(bad), &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(DartScriptTest, ValuesWriteBackWithTheSameMapping) {
  const std::string text =
      "{\"big\":{\"$int64\":5000000000},\"bytes\":{\"$bytes\":\"AQID\"},\"d\":0.5,"
      "\"list\":[true,null,\"x\"],\"n\":-7}";
  EXPECT_EQ(flutter_stand_in::JsonFromValue(FromJson(text)).dump(), text);
  EXPECT_EQ(flutter_stand_in::JsonFromValue(EncodableValue(int64_t{5})).dump(), "5");
  EXPECT_EQ(flutter_stand_in::JsonFromValue(EncodableValue(std::vector<int32_t>{1, -2})).dump(),
            "[1,-2]");
  EXPECT_EQ(flutter_stand_in::JsonFromValue(
                EncodableValue(EncodableMap{{EncodableValue(3), EncodableValue("three")}}))
                .dump(),
            "{\"3\":\"three\"}");
}

TEST(DartScriptTest, StepLinesBecomeMessagesAndActions) {
  EXPECT_EQ(HexOf(R"({"channel": "c", "method": "getStoredToken", "args": {"userType": "ciudadano"}})"),
            "070e67657453746f726564546f6b656e0d010708757365725479706507096369756461646"
            "16e6f");
  EXPECT_EQ(HexOf(R"({"channel": "c", "method": "getEnvironment"})"),
            "070e676574456e7669726f6e6d656e7400");
  EXPECT_EQ(HexOf(R"({"channel": "c", "raw": "03 01 00 00 00"})"), "0301000000");

  auto parsed = flutter_stand_in::ParseScriptLine(R"({"channel": "c", "raw": "0701610300000000"})");
  EXPECT_EQ(std::get<flutter_stand_in::SendStep>(*parsed.step).method, "a");
  parsed = flutter_stand_in::ParseScriptLine(R"({"channel": "c", "raw": "03"})");
  EXPECT_FALSE(std::get<flutter_stand_in::SendStep>(*parsed.step).method);

  EXPECT_TRUE(std::holds_alternative<flutter_stand_in::AwaitAllStep>(
      *flutter_stand_in::ParseScriptLine(R"({"await": "all"})").step));
  EXPECT_EQ(std::get<flutter_stand_in::WaitStep>(
                *flutter_stand_in::ParseScriptLine(R"({"wait_ms": 250})").step)
                .milliseconds,
            250u);
  EXPECT_EQ(std::get<flutter_stand_in::WindowStep>(
                *flutter_stand_in::ParseScriptLine(R"({"window": "destroy"})").step)
                .action,
            flutter_stand_in::WindowAction::kDestroy);

  parsed = flutter_stand_in::ParseScriptLine("   \r");
  EXPECT_FALSE(parsed.step);
  EXPECT_TRUE(parsed.error.empty());
  for (const char* bad : {"{not json", "[1]", R"({"channel": "c"})", R"({"channel": 3, "method": "m"})",
                          R"({"channel": "c", "raw": "0g"})", R"({"channel": "c", "raw": "012"})",
                          R"({"channel": "c", "method": "m", "args": {"$bytes": "?"}})",
                          R"({"await": "some"})", R"({"wait_ms": -1})", R"({"window": "minimize"})",
                          R"({"jump": 1})"}) {
    parsed = flutter_stand_in::ParseScriptLine(bad);
    EXPECT_FALSE(parsed.step) << bad;
    EXPECT_FALSE(parsed.error.empty()) << bad;
  }
}

TEST(DartScriptTest, TranscriptLinesCarryExactlyOneAnswer) {
  EXPECT_EQ(flutter_stand_in::TranscriptLine(0, std::string("m"), {}),
            R"({"step":0,"method":"m","reply_hex":"","not_implemented":true})");
  EXPECT_EQ(flutter_stand_in::TranscriptLine(1, std::string("m"), Bytes("0000")),
            R"({"step":1,"method":"m","reply_hex":"0000","result":null})");
  EXPECT_EQ(flutter_stand_in::TranscriptLine(2, std::nullopt, Bytes("000400f2052a01000000")),
            R"({"step":2,"method":null,"reply_hex":"000400f2052a01000000","result":{"$int64":5000000000}})");
  EXPECT_EQ(flutter_stand_in::TranscriptLine(3, std::string("m"), Bytes("0008020102")),
            R"({"step":3,"method":"m","reply_hex":"0008020102","result":{"$bytes":"AQI="}})");
  EXPECT_EQ(flutter_stand_in::TranscriptLine(4, std::string("m"), Bytes("010701450000")),
            R"({"step":4,"method":"m","reply_hex":"010701450000","error":{"code":"E","message":"","details":null}})");
  EXPECT_EQ(flutter_stand_in::TranscriptLine(5, std::string("m"), Bytes("010701450701780c00")),
            R"({"step":5,"method":"m","reply_hex":"010701450701780c00","error":{"code":"E","message":"x","details":[]}})");
  EXPECT_EQ(flutter_stand_in::TranscriptLine(6, std::string("m"), Bytes("05")),
            R"({"step":6,"method":"m","reply_hex":"05","error":{"code":"FormatException","message":"Invalid envelope","details":null}})");
}

}  // namespace
