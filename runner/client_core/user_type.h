#pragma once

#include <optional>
#include <string>

// The two kinds of account the whole system serves: a citizen, identified by a national
// identity number, and a professional acting for an organisation.
enum class UserType { kCitizen, kProfessional };

// The one reading of a user type's word: exactly "ciudadano" or "profesional". Any other text
// reads as `otherwise`, which each caller names: the interface's methods take it for a
// professional, stored mappings and renewals for a citizen.
UserType ParseUserType(const std::string& word, UserType otherwise);
bool IsUserTypeWord(const std::string& text);

// The word: stored, logged and sent in that form, and the suffix of the user type's
// credential-storage keys.
std::string UserTypeWord(UserType type);

// The account other than `type`.
UserType OtherUserType(UserType type);

// The interface's label ("tipoCertificado"): exactly "CIUDADANO" or "PROFESIONAL".
std::optional<UserType> UserTypeFromLabel(const std::string& label);

// The number the OAuth manager takes: 0 citizen, 1 professional. Any other number reads as a
// citizen, as the endpoint selection does.
constexpr int kOAuthCitizen = 0;
constexpr int kOAuthProfessional = 1;
int OAuthUserTypeNumber(UserType type);
UserType UserTypeFromOAuthNumber(int number);
