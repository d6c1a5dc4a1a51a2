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

// The two kinds of channel method, in which the method groups declare theirs. A synchronous
// one returns its answer; a deferred one answers the result now or moves it out for a later
// callback (an exception thrown while it is still held is answered by the dispatcher).
using ChannelHandler = ChannelAnswer(ApplicationHost& host,
                                     const flutter::EncodableValue* arguments);
using DeferredChannelHandler = void(ApplicationHost& host,
                                    const flutter::EncodableValue* arguments,
                                    MethodResultPtr& result);

// One row of a channel's method table: a name and its method of either kind.
struct ChannelMethod {
  ChannelMethod(const char* name, ChannelHandler* answer) : name(name), answer(answer) {}
  ChannelMethod(const char* name, DeferredChannelHandler* defer) : name(name), defer(defer) {}

  const char* name;
  ChannelHandler* answer = nullptr;
  DeferredChannelHandler* defer = nullptr;
};

// A method channel: its name, the prefix of the line logged with the method name for every
// call, and its methods in dispatch order.
struct ChannelDefinition {
  const char* name;
  const char* log_prefix;
  std::vector<ChannelMethod> methods;
};

// The channel on `messenger` with the standard method codec. Every call is logged, then runs
// the first method with its name, or gets the not-implemented reply. An exception from a method
// is answered as error "ERROR" with its text when the result is still held; it never reaches
// the engine. `channel` and `host` must outlive it.
std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>> CreateMethodChannel(
    flutter::BinaryMessenger* messenger, const ChannelDefinition& channel, ApplicationHost& host);
