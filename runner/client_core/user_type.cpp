#include "user_type.h"

namespace {

constexpr char kCitizenWord[] = "ciudadano";
constexpr char kProfessionalWord[] = "profesional";

}  // namespace

UserType ParseUserType(const std::string& word, UserType otherwise) {
  if (word == kCitizenWord) return UserType::kCitizen;
  if (word == kProfessionalWord) return UserType::kProfessional;
  return otherwise;
}

bool IsUserTypeWord(const std::string& text) {
  return text == kCitizenWord || text == kProfessionalWord;
}

std::string UserTypeWord(UserType type) {
  return type == UserType::kProfessional ? kProfessionalWord : kCitizenWord;
}

UserType OtherUserType(UserType type) {
  return type == UserType::kCitizen ? UserType::kProfessional : UserType::kCitizen;
}

std::optional<UserType> UserTypeFromLabel(const std::string& label) {
  if (label == "CIUDADANO") return UserType::kCitizen;
  if (label == "PROFESIONAL") return UserType::kProfessional;
  return std::nullopt;
}

int OAuthUserTypeNumber(UserType type) {
  return type == UserType::kProfessional ? kOAuthProfessional : kOAuthCitizen;
}

UserType UserTypeFromOAuthNumber(int number) {
  return number == kOAuthProfessional ? UserType::kProfessional : UserType::kCitizen;
}
