#pragma once

#include <optional>
#include <string>
#include <vector>

#include "channel_dispatch.h"
#include "murako_api_types.h"

// Native bridge methods over the user's profile, sign identities and the application's own
// signatures, all served by the citizen host of the stored environment.
namespace bridge_identity {

ChannelHandler SignData, GetUserInfo, GetStoredSignIdentityId, GetStoredIdentities,
    GetIdentityDetails;

// The interface's view of identities: maps of "id", "self_url", "status", "labels".
flutter::EncodableValue IdentityList(const std::vector<SignIdentity>& identities);

}  // namespace bridge_identity
