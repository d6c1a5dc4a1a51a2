#pragma once

#include <string>

// Form bodies (application/x-www-form-urlencoded) of the two token grants, every value
// percent-encoded, fields in the order the authorization server documents.
std::string AuthorizationCodeGrantBody(const std::string& code, const std::string& redirect_uri,
                                       const std::string& client_id,
                                       const std::string& client_secret);
std::string RefreshTokenGrantBody(const std::string& refresh_token, const std::string& client_id,
                                  const std::string& client_secret);
