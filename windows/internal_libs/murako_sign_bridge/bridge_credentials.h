#pragma once

#include <optional>
#include <string>

#include "user_type.h"

// What the application stored for a certificate and its account, read afresh on every call.

// The account's user type for the thumbprint: the professional for exactly "profesional", the
// citizen for any other stored text and when nothing is stored. Logs the text as stored.
UserType GetUserTypeByThumbprint(const std::string& thumbprint);

// The remote sign identity holding the certificate's key; absent (and recorded as the
// thread's last error) when nothing is stored.
std::optional<std::string> GetSignIdentityByThumbprint(const std::string& thumbprint);

// The value of one token key; absent (and recorded) when missing or empty.
std::optional<std::string> GetOAuthToken(const std::string& key);
