#pragma once

#include <flutter/binary_messenger.h>
#include <flutter/encodable_value.h>
#include <flutter/method_channel.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "channel_dispatch.h"
#include "user_type.h"

constexpr char kPluginChannelName[] = "flutter_murako_jce_web_authenticator";

// The method table of the account screens' channel, in dispatch order.
const std::vector<ChannelMethod>& PluginMethods();

std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>> CreatePluginChannel(
    flutter::BinaryMessenger* messenger, ApplicationHost& host);

// "tipoCertificado": "CIUDADANO" gives the citizen, "PROFESIONAL" the professional (exact).
struct CertificateKind {
  std::optional<ChannelError> error;
  UserType type = UserType::kCitizen;
};
CertificateKind CertificateKindArgument(const flutter::EncodableValue* arguments);
