#include "token_request_body.h"

#include "url_encode.h"

std::string AuthorizationCodeGrantBody(const std::string& code, const std::string& redirect_uri,
                                       const std::string& client_id,
                                       const std::string& client_secret) {
  return "grant_type=authorization_code&code=" + UrlEncode(code) +
         "&redirect_uri=" + UrlEncode(redirect_uri) + "&client_id=" + UrlEncode(client_id) +
         "&client_secret=" + UrlEncode(client_secret);
}

std::string RefreshTokenGrantBody(const std::string& refresh_token, const std::string& client_id,
                                  const std::string& client_secret) {
  return "grant_type=refresh_token&refresh_token=" + UrlEncode(refresh_token) +
         "&client_id=" + UrlEncode(client_id) + "&client_secret=" + UrlEncode(client_secret);
}
