#include "linking_result.h"

LinkedUserInfo LinkedUserInfoFor(const UserInfo& user, const std::string& user_type_word) {
  const bool professional = user_type_word == "profesional";
  LinkedUserInfo info;
  info.nombre = user.name;
  info.dni = professional && !user.cif.empty() ? user.cif : user.dni;
  info.tipo = user_type_word;
  info.organizacion = user.organization;
  return info;
}
