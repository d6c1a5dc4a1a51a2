#include "channel_dispatch.h"

#include <flutter/standard_method_codec.h>

#include <exception>
#include <utility>

#include "logger.h"

namespace {

const ChannelMethod* FindMethod(const std::vector<ChannelMethod>& table, const std::string& name) {
  for (const ChannelMethod& method : table) {
    if (name == method.name) return &method;
  }
  return nullptr;
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

}  // namespace

void Reply(flutter::MethodResult<flutter::EncodableValue>& result, const ChannelAnswer& answer) {
  if (answer.error) {
    result.Error(answer.error->code, answer.error->message);
  } else {
    result.Success(answer.value);
  }
}

void DispatchMethodCall(const std::vector<ChannelMethod>& table, const std::string& log_prefix,
                        ApplicationHost& host,
                        const flutter::MethodCall<flutter::EncodableValue>& call,
                        MethodResultPtr result) {
  std::string failure;
  try {
    LogInfo(log_prefix + call.method_name());
    const ChannelMethod* method = FindMethod(table, call.method_name());
    if (method == nullptr) {
      result->NotImplemented();
      return;
    }
    Run(*method, host, call.arguments(), result);
    return;
  } catch (const std::exception& error) {
    failure = error.what();
  } catch (...) {
    failure = "unknown exception";
  }
  LogError("Method " + call.method_name() + " failed: " + failure);
  if (result) result->Error("ERROR", failure);
}

std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>> CreateMethodChannel(
    flutter::BinaryMessenger* messenger, const std::string& name,
    const std::vector<ChannelMethod>& table, const std::string& log_prefix, ApplicationHost& host) {
  auto channel = std::make_unique<flutter::MethodChannel<flutter::EncodableValue>>(
      messenger, name, &flutter::StandardMethodCodec::GetInstance());
  channel->SetMethodCallHandler(
      [&table, log_prefix, &host](const flutter::MethodCall<flutter::EncodableValue>& call,
                                  MethodResultPtr result) {
        DispatchMethodCall(table, log_prefix, host, call, std::move(result));
      });
  return channel;
}
