#include "authorization_url.h"

#include "oauth_protocol.h"
#include "oauth_user_type.h"
#include "url_encode.h"

std::string ComposeAuthorizationUrl(const std::string& domain, const std::string& client_id,
                                    int user_type, const std::string& redirect_uri,
                                    const std::string& locale, const std::string& login_hint) {
  const char* acr_values =
      IsOAuthProfessional(user_type) ? kProfessionalAcrValues : kCitizenAcrValues;
  return domain + kOAuthAuthorizationPath + "?client_id=" + UrlEncode(client_id) +
         "&response_type=code" + "&redirect_uri=" + UrlEncode(redirect_uri) +
         "&scope=" + kOAuthScope + "&acr_values=" + acr_values + "&state=" +
         "&ui_locales=" + locale + "&login_hint=" + UrlEncode(login_hint);
}
