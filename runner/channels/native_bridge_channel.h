#pragma once

#include "channel_dispatch.h"

// "com.murako.native_bridge", with its methods in dispatch order.
const ChannelDefinition& NativeBridgeChannel();
