#pragma once

#include "channel_dispatch.h"

// The channel methods answered by the sign-in flows, most of them later, when the sign-in
// window delivers its result on the main thread.
namespace sign_in_methods {

// Native bridge channel.
DeferredChannelHandler StartOAuth, LinkCitizen, LinkProfessional;

// Plugin channel.
DeferredChannelHandler GetCookiesInfo, RefreshTokenWithCookies;

}  // namespace sign_in_methods
