#include "linking_json.h"

#include <nlohmann/json.hpp>

std::string UserInfoJson(const UserInfo& user) {
  nlohmann::ordered_json json = nlohmann::ordered_json::object();
  json["cif"] = user.cif;
  json["dni"] = user.dni;
  json["name"] = user.name;
  json["organization"] = user.organization;
  return json.dump();
}

std::string SignIdentitiesJson(const std::vector<SignIdentity>& identities) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const SignIdentity& identity : identities) {
    nlohmann::ordered_json entry = nlohmann::ordered_json::object();
    entry["id"] = identity.id;
    entry["labels"] = identity.labels;
    entry["self_url"] = identity.self_url;
    entry["status"] = identity.status;
    list.push_back(std::move(entry));
  }
  return list.dump();
}
