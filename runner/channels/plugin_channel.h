#pragma once

#include <flutter/binary_messenger.h>
#include <flutter/encodable_value.h>
#include <flutter/method_channel.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "channel_dispatch.h"

constexpr char kPluginChannelName[] = "flutter_murako_jce_web_authenticator";

// The method table of the account screens' channel, in dispatch order.
const std::vector<ChannelMethod>& PluginMethods();

std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>> CreatePluginChannel(
    flutter::BinaryMessenger* messenger, ApplicationHost& host);

// "tipoCertificado": "CIUDADANO" gives "ciudadano", "PROFESIONAL" "profesional" (exact).
struct CertificateKind {
  std::optional<ChannelError> error;
  std::string user_type;
};
CertificateKind CertificateKindArgument(const flutter::EncodableValue* arguments);
