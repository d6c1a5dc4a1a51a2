#pragma once

#include <string>
#include <vector>

#include "cert_store_manager.h"

// The credential-storage keys a sign-out deletes, in the order it deletes them.

// Access, refresh and expiry of "ciudadano", then the same of "profesional".
std::vector<std::string> SessionTokenKeysInClearingOrder();

// "sign_identity_by_thumbprint_" then "user_type_by_thumbprint_" of each certificate in turn.
std::vector<std::string> ThumbprintMappingKeys(const std::vector<InstalledCertificate>& certificates);
