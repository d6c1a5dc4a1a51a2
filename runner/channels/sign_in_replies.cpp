#include "sign_in_replies.h"

#include "channel_values.h"

using flutter::EncodableList;
using flutter::EncodableValue;

namespace {

template <typename Value>
void PutPresent(EncodableValue& map, const char* key, const std::optional<Value>& value) {
  if (value) Put(map, key, EncodableValue(*value));
}

EncodableValue CookieValue(const BrowserCookie& cookie) {
  EncodableValue map = EncodableValue(flutter::EncodableMap());
  PutPresent(map, "name", cookie.name);
  PutPresent(map, "value", cookie.value);
  PutPresent(map, "domain", cookie.domain);
  PutPresent(map, "path", cookie.path);
  PutPresent(map, "expiresAt", cookie.expiresAt);
  PutPresent(map, "secure", cookie.secure);
  PutPresent(map, "httpOnly", cookie.httpOnly);
  return map;
}

}  // namespace

EncodableValue LinkingResultValue(const AccountLinkingResult& result) {
  EncodableValue map = MapOf({{"success", Flag(result.success)},
                              {"installed", EncodableValue(static_cast<int32_t>(result.installed))},
                              {"message", Text(result.message)}});
  if (result.userInfo) {
    const LinkedUserInfo& user = *result.userInfo;
    Put(map, "userInfo",
        MapOf({{"nombre", Text(user.nombre)},
               {"apellidos", Text(user.apellidos)},
               {"dni", Text(user.dni)},
               {"tipo", Text(user.tipo)},
               {"organizacion", Text(user.organizacion)}}));
  }
  return map;
}

EncodableValue StartOAuthValue(const murako::OAuthToken& token) {
  return MapOf({{"access_token", Text(token.access_token)},
                {"refresh_token", Text(token.refresh_token)},
                {"token_type", Text(token.token_type)},
                {"expires_in", EncodableValue(static_cast<int32_t>(token.expires_in))}});
}

EncodableValue SilentRefreshValue(const SilentRefreshResult& result) {
  return MapOf({{"success", Flag(result.success)},
                {"message", Text(result.message)},
                {"newToken", Text(result.newToken)}});
}

EncodableValue CookieListingValue(const CookieListing& listing) {
  EncodableList cookies;
  for (const BrowserCookie& cookie : listing.cookies) cookies.push_back(CookieValue(cookie));
  return MapOf({{"count", EncodableValue(static_cast<int32_t>(listing.count))},
                {"cookies", EncodableValue(std::move(cookies))},
                {"message", Text(listing.message)}});
}
