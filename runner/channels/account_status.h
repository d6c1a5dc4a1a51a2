#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cert_store_manager.h"
#include "user_type.h"

// What "obtenerCertificadoCiudadano" and "obtenerCertificadoProfesional" report about one
// account: holder, identifier, organisation and whether its session is active.
struct AccountStatus {
  std::string nombre;
  std::string dni;
  std::string organizacion;
  bool sesionActiva = false;
};

// The stored user information of the account; defaults when nothing usable is stored.
struct StoredAccountUser {
  std::string name;
  std::string dni;
  std::string cif;
  std::string organization;
};

struct AccountStatusInputs {
  bool professional = false;
  std::vector<std::string> identity_ids;  // of the stored identities, in stored order
  std::vector<InstalledCertificate> certificates;
  StoredAccountUser user;
  bool session_active = false;
};

struct AccountStatusOutcome {
  std::optional<AccountStatus> status;  // nothing: answer false
  std::string log_line;
};

// The first installed certificate whose sign identity is one of the stored identities gives
// the holder's name; without one, stored user information that names someone answers.
AccountStatusOutcome DecideAccountStatus(const AccountStatusInputs& inputs);

// Reads the stored identities, user information, session and certificates of the user type,
// logs as it goes and decides. Never throws.
std::optional<AccountStatus> ReadAccountStatus(UserType type);
