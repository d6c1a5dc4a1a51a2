#include "dart_script.h"

#include <flutter/method_result_functions.h>
#include <flutter/standard_method_codec.h>

#include "byte_text.h"

namespace flutter_stand_in {

using flutter::EncodableValue;

namespace {

const flutter::StandardMethodCodec& Codec() {
  return flutter::StandardMethodCodec::GetInstance();
}

ParsedLine Failure(std::string error) {
  return ParsedLine{std::nullopt, std::move(error)};
}

ParsedLine MethodCallStep(const Json& line, const std::string& channel) {
  if (!line.contains("method") || !line.at("method").is_string()) {
    return Failure("\"method\" must be a string");
  }
  auto arguments = std::make_unique<EncodableValue>();
  if (line.contains("args")) {
    std::string error;
    std::optional<EncodableValue> value = ValueFromJson(line.at("args"), &error);
    if (!value) {
      return Failure(error);
    }
    *arguments = std::move(*value);
  }
  flutter::MethodCall<EncodableValue> call(line.at("method").get<std::string>(), std::move(arguments));
  return ParsedLine{SendStep{channel, *Codec().EncodeMethodCall(call), call.method_name()}, ""};
}

ParsedLine RawStep(const Json& line, const std::string& channel) {
  std::optional<std::vector<uint8_t>> bytes;
  if (line.at("raw").is_string()) {
    bytes = BytesFromHex(line.at("raw").get<std::string>());
  }
  if (!bytes) {
    return Failure("\"raw\" must be a hex string");
  }
  std::optional<std::string> method;
  if (auto call = Codec().DecodeMethodCall(*bytes)) {
    method = call->method_name();
  }
  return ParsedLine{SendStep{channel, std::move(*bytes), method}, ""};
}

ParsedLine ControlStep(const Json& line) {
  if (line.contains("await")) {
    if (line.at("await") != "all") {
      return Failure("\"await\" must be \"all\"");
    }
    return ParsedLine{AwaitAllStep{}, ""};
  }
  if (line.contains("wait_ms")) {
    const Json& wait = line.at("wait_ms");
    if (!wait.is_number_unsigned() || wait.get<uint64_t>() > 3600000) {
      return Failure("\"wait_ms\" must be an integer from 0 to 3600000");
    }
    return ParsedLine{WaitStep{static_cast<unsigned>(wait.get<uint64_t>())}, ""};
  }
  if (line.contains("window")) {
    if (line.at("window") == "close") {
      return ParsedLine{WindowStep{WindowAction::kClose}, ""};
    }
    if (line.at("window") == "destroy") {
      return ParsedLine{WindowStep{WindowAction::kDestroy}, ""};
    }
    return Failure("\"window\" must be \"close\" or \"destroy\"");
  }
  return Failure("unknown step");
}

// The answer as transcript members, decoded as the Dart side would.
void AddAnswer(const std::vector<uint8_t>& reply, Json* line) {
  if (reply.empty()) {
    (*line)["not_implemented"] = true;
    return;
  }
  flutter::MethodResultFunctions<EncodableValue> result(
      [line](const EncodableValue* value) {
        (*line)["result"] = value ? JsonFromValue(*value) : Json();
      },
      [line](const std::string& code, const std::string& message, const EncodableValue* details) {
        (*line)["error"] = Json{{"code", code},
                                {"message", message},
                                {"details", details ? JsonFromValue(*details) : Json()}};
      },
      nullptr);
  if (!Codec().DecodeAndProcessResponseEnvelope(reply.data(), reply.size(), &result)) {
    // What Dart's codec throws for such bytes.
    (*line)["error"] =
        Json{{"code", "FormatException"}, {"message", "Invalid envelope"}, {"details", nullptr}};
  }
}

}  // namespace

ParsedLine ParseScriptLine(const std::string& text) {
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
    return ParsedLine{};
  }
  Json line = Json::parse(text, nullptr, false);
  if (line.is_discarded() || !line.is_object()) {
    return Failure("not a JSON object");
  }
  if (!line.contains("channel")) {
    return ControlStep(line);
  }
  const Json& channel = line.at("channel");
  if (!channel.is_string() || channel.get<std::string>().empty()) {
    return Failure("\"channel\" must be a non-empty string");
  }
  const std::string name = channel.get<std::string>();
  return line.contains("raw") ? RawStep(line, name) : MethodCallStep(line, name);
}

Json TranscriptEntry(size_t step_index,
                     const std::optional<std::string>& method,
                     const std::vector<uint8_t>& reply) {
  Json entry = Json::object();
  entry["step"] = step_index;
  entry["method"] = method ? Json(*method) : Json();
  entry["reply_hex"] = HexFromBytes(reply);
  AddAnswer(reply, &entry);
  return entry;
}

std::string JsonLine(const Json& entry) {
  return entry.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string TranscriptLine(size_t step_index,
                           const std::optional<std::string>& method,
                           const std::vector<uint8_t>& reply) {
  return JsonLine(TranscriptEntry(step_index, method, reply));
}

}  // namespace flutter_stand_in
