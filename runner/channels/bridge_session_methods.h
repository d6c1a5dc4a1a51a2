#pragma once

#include "channel_arguments.h"
#include "channel_dispatch.h"

// Native bridge methods over the stored session and environment.
namespace bridge_session {

ChannelAnswer GetAuthorizationUrl(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer GetStoredToken(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer DeleteStoredToken(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer SetEnvironment(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer GetEnvironment(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer ClearSession(ApplicationHost& host, const flutter::EncodableValue* arguments);

// The sign-in arguments of getAuthorizationUrl and startOAuth: user type, then redirect URI.
StringArguments SignInArguments(const flutter::EncodableValue* arguments);

}  // namespace bridge_session
