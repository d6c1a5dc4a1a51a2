#pragma once

#include <optional>
#include <string>

#include "linking_texts.h"
#include "murako_api_types.h"

// What the interface is told about the linked user ("userInfo" of the answer).
struct LinkedUserInfo {
  std::string nombre;
  std::string apellidos;  // always empty
  std::string dni;        // professionals: the CIF when they have one
  std::string tipo;       // "ciudadano" or "profesional"
  std::string organizacion;
};

// The outcome of one linking, turned into the interface's answer by the channel layer.
struct AccountLinkingResult {
  bool success = false;  // at least one certificate installed
  int installed = 0;
  std::string message = kLinkingUnknownError;
  std::optional<LinkedUserInfo> userInfo;  // present only when something was installed
};

LinkedUserInfo LinkedUserInfoFor(const UserInfo& user, const std::string& user_type_word);
