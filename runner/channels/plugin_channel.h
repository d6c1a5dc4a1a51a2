#pragma once

#include <flutter/encodable_value.h>

#include <optional>
#include <string>

#include "channel_dispatch.h"

// "flutter_murako_jce_web_authenticator", the account screens' channel, with its methods in
// dispatch order.
const ChannelDefinition& PluginChannel();

// "tipoCertificado": "CIUDADANO" gives "ciudadano", "PROFESIONAL" "profesional" (exact).
struct CertificateKind {
  std::optional<ChannelError> error;
  std::string user_type;
};
CertificateKind CertificateKindArgument(const flutter::EncodableValue* arguments);
