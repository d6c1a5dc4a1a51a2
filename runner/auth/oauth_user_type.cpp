#include "oauth_user_type.h"

#include "oauth_protocol.h"

bool IsOAuthProfessional(int user_type) { return user_type == kOAuthProfessional; }

std::string OAuthUserTypeWord(int user_type) {
  return IsOAuthProfessional(user_type) ? "profesional" : "ciudadano";
}
