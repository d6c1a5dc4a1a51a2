#include "linking_texts.h"

std::string InstalledCountMessage(int installed, int total) {
  return std::to_string(installed) + " de " + std::to_string(total) + " certificados instalados";
}

std::string TokenNoticeText(const std::string& user_type_word, int32_t expires_in) {
  return "Token " + user_type_word + " (expira en " + std::to_string(expires_in / 60) + " min)";
}

std::string UserInfoStoredLine(const UserInfo& user, bool professional) {
  const std::string identifier = professional ? ", cif: " + user.cif : ", dni: " + user.dni;
  return std::string("  ") + linking_marker::kCheck + " User info stored (name: " + user.name +
         identifier + ")";
}
