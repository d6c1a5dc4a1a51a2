#pragma once

#include <string>

// The authorization URL the embedded browser opens. `domain` is the authorization base
// address (ending in "/"). The locale goes in unencoded; client id, redirect URI and login
// hint are percent-encoded; "state" is always present and empty, "login_hint" always present.
std::string ComposeAuthorizationUrl(const std::string& domain, const std::string& client_id,
                                    int user_type, const std::string& redirect_uri,
                                    const std::string& locale, const std::string& login_hint);
