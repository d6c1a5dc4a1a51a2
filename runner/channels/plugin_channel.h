#pragma once

#include <flutter/encodable_value.h>

#include <optional>
#include <string>

#include "channel_dispatch.h"
#include "user_type.h"

// "flutter_murako_jce_web_authenticator", the account screens' channel, with its methods in
// dispatch order.
const ChannelDefinition& PluginChannel();

// "tipoCertificado": "CIUDADANO" gives the citizen, "PROFESIONAL" the professional (exact).
struct CertificateKind {
  std::optional<ChannelError> error;
  UserType type = UserType::kCitizen;
};
CertificateKind CertificateKindArgument(const flutter::EncodableValue* arguments);
