#pragma once

#include <optional>
#include <string>

// What the application stored for a certificate and its account, read afresh on every call.

// The account's user type for the thumbprint; "ciudadano" when nothing is stored.
std::string GetUserTypeByThumbprint(const std::string& thumbprint);

// The remote sign identity holding the certificate's key; absent (and recorded as the
// thread's last error) when nothing is stored.
std::optional<std::string> GetSignIdentityByThumbprint(const std::string& thumbprint);

// The value of one token key; absent (and recorded) when missing or empty.
std::optional<std::string> GetOAuthToken(const std::string& key);

// "oauth_access_token_profesional" for exactly "profesional", else the citizen key.
std::string AccessTokenKeyFor(const std::string& user_type);
