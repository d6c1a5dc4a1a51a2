#pragma once

#include <flutter/binary_messenger.h>
#include <flutter/encodable_value.h>
#include <flutter/method_channel.h>

#include <memory>
#include <vector>

#include "channel_dispatch.h"

constexpr char kNativeBridgeChannelName[] = "com.murako.native_bridge";

// The method table of "com.murako.native_bridge", in dispatch order.
const std::vector<ChannelMethod>& NativeBridgeMethods();

// The channel on `messenger` with the standard method codec; its handler serves `host`.
std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>> CreateNativeBridgeChannel(
    flutter::BinaryMessenger* messenger, ApplicationHost& host);
