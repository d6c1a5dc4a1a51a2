// Method calls from the interface, decoded from the standard codec's bytes: the argument rules
// answer one error or the strings that are there, and numbers truncate without overflow.
#include <flutter/standard_method_codec.h>

#include <cmath>
#include <iostream>

#include "channel_arguments.h"
#include "fuzz_check.h"

using flutter::EncodableMap;
using flutter::EncodableValue;

namespace {

void CheckStrings(const EncodableValue* arguments) {
  const StringArguments checked =
      RequireStrings(arguments, {"userType", "data"}, "missing", "not a string");
  const EncodableMap* map = ArgumentMap(arguments);
  if (checked.error) {
    FUZZ_CHECK(checked.values.empty());
    const std::string& code = checked.error->code;
    if (map == nullptr) FUZZ_CHECK(code == kInvalidArgs);
    FUZZ_CHECK(code == kInvalidArgs || code == kMissingArg || code == kInvalidType);
    return;
  }
  FUZZ_CHECK(map != nullptr && checked.values.size() == 2);
  FUZZ_CHECK(StringArgument(arguments, "userType") == checked.values[0]);
  FUZZ_CHECK(StringArgument(arguments, "data") == checked.values[1]);
  FUZZ_CHECK(!RequirePresent(arguments, {"userType", "data"}, "missing"));
  const UserType resolved = ChannelUserType(checked.values[0]);
  FUZZ_CHECK((resolved == UserType::kCitizen) == (checked.values[0] == "ciudadano"));
  FUZZ_CHECK(ParseUserType(UserTypeWord(resolved), UserType::kCitizen) == resolved);
}

void CheckNumber(const EncodableValue* arguments) {
  const EncodableMap* map = ArgumentMap(arguments);
  if (map == nullptr) return;
  const EncodableValue* width = Lookup(*map, "width");
  const int number = TruncatedNumber(width);
  if (const auto* real = width ? std::get_if<double>(width) : nullptr) {
    if (std::isfinite(*real) && std::fabs(*real) < 2147483647.0) {
      FUZZ_CHECK(number == static_cast<int>(std::trunc(*real)));
    }
  }
}

}  // namespace

// The codec reports malformed messages on std::cerr; the sanitizers write to the descriptor.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::cerr.rdbuf(nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto call = flutter::StandardMethodCodec::GetInstance().DecodeMethodCall(data, size);
  if (!call) return 0;
  const EncodableValue* arguments = call->arguments();
  FUZZ_CHECK(RequireMap(arguments).has_value() == (ArgumentMap(arguments) == nullptr));
  CheckStrings(arguments);
  CheckNumber(arguments);
  return 0;
}
