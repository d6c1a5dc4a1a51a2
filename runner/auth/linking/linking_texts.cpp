#include "linking_texts.h"

std::string InstalledCountMessage(int installed, int total) {
  return std::to_string(installed) + " de " + std::to_string(total) + " certificados instalados";
}

std::string TokenNoticeText(UserType type, int32_t expires_in) {
  return "Token " + UserTypeWord(type) + " (expira en " + std::to_string(expires_in / 60) + " min)";
}

std::string UserInfoStoredLine(const UserInfo& user, bool professional) {
  const std::string identifier = professional ? ", cif: " + user.cif : ", dni: " + user.dni;
  return std::string("  ") + linking_marker::kCheck + " User info stored (name: " + user.name +
         identifier + ")";
}

LinkedUserInfo LinkedUserInfoFor(const UserInfo& user, UserType type) {
  const bool professional = type == UserType::kProfessional;
  LinkedUserInfo info;
  info.nombre = user.name;
  info.dni = professional && !user.cif.empty() ? user.cif : user.dni;
  info.tipo = UserTypeWord(type);
  info.organizacion = user.organization;
  return info;
}
