#pragma once

#include "channel_arguments.h"
#include "channel_dispatch.h"

// Native bridge methods over the stored session and environment.
namespace bridge_session {

ChannelHandler GetAuthorizationUrl, GetStoredToken, DeleteStoredToken, SetEnvironment,
    GetEnvironment, ClearSession;

// The sign-in arguments of getAuthorizationUrl and startOAuth: user type, then redirect URI.
StringArguments SignInArguments(const flutter::EncodableValue* arguments);

}  // namespace bridge_session
