#include "channel_dispatch.h"

#include <flutter/standard_method_codec.h>

#include <utility>

#include "guarded_entry.h"
#include "logger.h"

namespace {

const ChannelMethod* FindMethod(const std::vector<ChannelMethod>& table, const std::string& name) {
  for (const ChannelMethod& method : table) {
    if (name == method.name) return &method;
  }
  return nullptr;
}

void Reply(flutter::MethodResult<flutter::EncodableValue>& result, const ChannelAnswer& answer) {
  if (answer.error) {
    result.Error(answer.error->code, answer.error->message);
  } else {
    result.Success(answer.value);
  }
}

void Run(const ChannelMethod& method, ApplicationHost& host,
         const flutter::EncodableValue* arguments, MethodResultPtr& result) {
  if (method.defer != nullptr) {
    method.defer(host, arguments, result);
    return;
  }
  const ChannelAnswer answer = method.answer(host, arguments);
  MethodResultPtr held = std::move(result);
  Reply(*held, answer);
}

void DispatchMethodCall(const ChannelDefinition& channel, ApplicationHost& host,
                        const flutter::MethodCall<flutter::EncodableValue>& call,
                        MethodResultPtr result) {
  GuardEntry(
      [&] {
        LogInfo(channel.log_prefix + call.method_name());
        const ChannelMethod* method = FindMethod(channel.methods, call.method_name());
        if (method == nullptr) {
          result->NotImplemented();
          return;
        }
        Run(*method, host, call.arguments(), result);
      },
      [&](const CaughtFailure& caught) {
        const std::string failure = caught.Text();
        LogError("Method " + call.method_name() + " failed: " + failure);
        if (result) result->Error("ERROR", failure);
      });
}

}  // namespace

std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>> CreateMethodChannel(
    flutter::BinaryMessenger* messenger, const ChannelDefinition& channel, ApplicationHost& host) {
  auto created = std::make_unique<flutter::MethodChannel<flutter::EncodableValue>>(
      messenger, channel.name, &flutter::StandardMethodCodec::GetInstance());
  created->SetMethodCallHandler(
      [&channel, &host](const flutter::MethodCall<flutter::EncodableValue>& call,
                        MethodResultPtr result) {
        DispatchMethodCall(channel, host, call, std::move(result));
      });
  return created;
}
