#include "murako_api_json.h"

#include <nlohmann/json.hpp>

#include "untrusted_json.h"

using nlohmann::json;

namespace {

// Missing or null member: empty. Present with another type: nlohmann throws type_error.
std::string StringMember(const json& object, const char* name) {
  return OptionalStringMember(object, name).value_or("");
}

std::string StatusOf(const json& identity) {
  if (!identity.is_object()) return {};
  auto status = identity.find("status");
  if (status == identity.end()) return {};
  if (status->is_string()) return status->get<std::string>();
  if (status->is_object()) return StringMember(*status, "value");
  return {};
}

std::vector<std::string> LabelsOf(const json& identity) {
  std::vector<std::string> labels;
  if (!identity.is_object()) return labels;
  auto member = identity.find("labels");
  if (member == identity.end() || !member->is_array()) return labels;
  for (const json& label : *member) {
    if (label.is_string()) labels.push_back(label.get<std::string>());
  }
  return labels;
}

SignIdentity SignIdentityFrom(const json& element) {
  SignIdentity identity;
  identity.id = StringMember(element, "id");
  identity.self_url = StringMember(element, "self");
  identity.status = StatusOf(element);
  identity.labels = LabelsOf(element);
  return identity;
}

}  // namespace

UserInfo ParseUserInfoJson(const std::string& body) {
  const json root = ParseUntrustedJson(body);
  UserInfo info;
  info.name = StringMember(root, "name");
  info.dni = StringMember(root, "dni");
  info.cif = StringMember(root, "cif");
  info.organization = StringMember(root, "organization");
  if (root.is_object()) {
    auto identities = root.find("sign_identities");
    if (identities != root.end() && identities->is_array()) {
      for (const json& element : *identities) info.sign_identities.push_back(SignIdentityFrom(element));
    }
  }
  return info;
}

IdentityDetails ParseIdentityDetailsJson(const std::string& body) {
  const json root = ParseUntrustedJson(body);
  const json& identity = root.is_object() && root.contains("identity") ? root["identity"] : root;
  IdentityDetails details;
  details.id = StringMember(identity, "id");
  if (identity.is_object() && identity.contains("details") && identity["details"].is_object()) {
    details.certificate = StringMember(identity["details"], "certificate");
  } else {
    details.certificate = StringMember(identity, "certificate");
  }
  details.status = StatusOf(identity);
  details.labels = LabelsOf(identity);
  return details;
}

std::string BuildSignatureRequestJson(const SignatureRequest& request) {
  json body;
  body["sign_identity_id"] = request.sign_identity_id;
  if (!request.data.empty()) {
    body["data"] = request.data;
  } else {
    body["digest_value"] = request.digest_value;
  }
  body["signature_algorithm"] = request.signature_algorithm;
  return body.dump();
}
