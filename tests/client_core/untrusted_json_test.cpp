// JSON from servers and storage: the nesting limit and members that may be null.
#include "untrusted_json.h"

#include <gtest/gtest.h>

namespace {

std::string Nested(const std::string& open, const std::string& close, int levels) {
  std::string text;
  for (int i = 0; i < levels; ++i) text += open;
  for (int i = 0; i < levels; ++i) text += close;
  return text;
}

TEST(UntrustedJson, NestingBeyondTheLimitIsAParseFailure) {
  EXPECT_TRUE(ParseUntrustedJson(Nested("[", "]", kMaxJsonNesting)).is_array());
  EXPECT_TRUE(ParseUntrustedJson(Nested("{\"k\":[", "]}", kMaxJsonNesting / 2)).is_object());
  EXPECT_THROW(ParseUntrustedJson(Nested("[", "]", kMaxJsonNesting + 1)), JsonNestingError);
  EXPECT_THROW(ParseUntrustedJson(Nested("{\"k\":[", "]}", kMaxJsonNesting / 2 + 1)),
               JsonNestingError);
  // 24 KB of brackets: refused before anything walks the document.
  try {
    ParseUntrustedJson(Nested("[", "]", 12000));
    ADD_FAILURE() << "no exception";
  } catch (const JsonNestingError& error) {
    EXPECT_STREQ(error.what(), "JSON nested deeper than 64 levels");
  }
  // Other faults keep the library's own error.
  EXPECT_THROW(ParseUntrustedJson("{\"a\":1"), nlohmann::json::parse_error);
  EXPECT_THROW(ParseUntrustedJson("[1] [2]"), nlohmann::json::parse_error);
  EXPECT_THROW(ParseUntrustedJson("[1e400]"), nlohmann::json::out_of_range);
}

TEST(UntrustedJson, NullAndAbsentMembersReadAsAbsent) {
  const nlohmann::json object = ParseUntrustedJson(R"({"s":"v","n":null,"i":5})");
  EXPECT_EQ(OptionalStringMember(object, "s"), "v");
  EXPECT_FALSE(OptionalStringMember(object, "n"));
  EXPECT_FALSE(OptionalStringMember(object, "missing"));
  EXPECT_THROW(OptionalStringMember(object, "i"), nlohmann::json::type_error);
  EXPECT_FALSE(OptionalStringMember(nlohmann::json::array({"s"}), "s"));
}

}  // namespace
