#pragma once

#include <string>

// "profesional" for 1, "ciudadano" for every other number.
std::string OAuthUserTypeWord(int user_type);
bool IsOAuthProfessional(int user_type);
