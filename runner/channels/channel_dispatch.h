#pragma once

#include <flutter/binary_messenger.h>
#include <flutter/encodable_value.h>
#include <flutter/method_channel.h>
#include <flutter/method_call.h>
#include <flutter/method_result.h>

#include <memory>
#include <string>
#include <vector>

#include "channel_values.h"

class ApplicationHost;

using MethodResultPtr = std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>>;

// One row of a channel's method table. A synchronous method returns its answer; a deferred one
// answers the result now or moves it out for a later callback (an exception thrown while it is
// still held is answered by the dispatcher).
struct ChannelMethod {
  const char* name;
  ChannelAnswer (*answer)(ApplicationHost& host, const flutter::EncodableValue* arguments);
  void (*defer)(ApplicationHost& host, const flutter::EncodableValue* arguments,
                MethodResultPtr& result);
};

void Reply(flutter::MethodResult<flutter::EncodableValue>& result, const ChannelAnswer& answer);

// Logs `log_prefix` + the method name, runs the first row of `table` with that name, or gives
// the not-implemented reply. An exception from a method is answered as error "ERROR" with its
// text when the result is still held; it never reaches the engine.
void DispatchMethodCall(const std::vector<ChannelMethod>& table, const std::string& log_prefix,
                        ApplicationHost& host,
                        const flutter::MethodCall<flutter::EncodableValue>& call,
                        MethodResultPtr result);

// A channel on `messenger` with the standard method codec whose calls go to `table`, which
// must outlive it, as must `host`.
std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>> CreateMethodChannel(
    flutter::BinaryMessenger* messenger, const std::string& name,
    const std::vector<ChannelMethod>& table, const std::string& log_prefix, ApplicationHost& host);
