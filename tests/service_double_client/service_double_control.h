#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// The signing service double's control API over plain HTTP on loopback: its accounts and test
// CA, fresh bearer tokens, recorded requests, faults for the next requests, and verification
// of a signature with an identity's public key.
class ServiceDoubleControl {
 public:
  bool IsRunning() const;
  nlohmann::json Accounts() const;
  std::vector<uint8_t> CaCertificateDer() const;
  // A new token bound to "ciudadano" or "profesional"; tests use their own so that faults
  // bound to it cannot reach another test run sharing the double.
  std::string NewToken(const std::string& account) const;
  void RevokeToken(const std::string& token) const;
  // A single-use authorization code of "ciudadano" or "profesional" for the token endpoint.
  // Options: "redirect_uri" (default the product's), "rotate_refresh" (false: refreshing
  // answers without a new refresh token and the old one stays valid), "issue_refresh".
  // Faults and recorded requests of the token endpoint are bound to the code, and to the
  // refresh token, as they are to a bearer token elsewhere.
  std::string NewAuthorizationCode(const std::string& account,
                                   nlohmann::json options = nlohmann::json::object()) const;
  // kind "status" (with "status", "body"), "delay" ("seconds"), "reset", "empty", "redirect"
  // ("status", "location"; by default the recording listener of GET /listener), "oversize"
  // ("bytes"), "drip" ("bytes", "interval" in seconds); "count".
  void AddFault(nlohmann::json fault) const;
  void ClearFaults(const std::string& token) const;
  nlohmann::json Requests(const std::string& token) const;
  bool Verify(const std::string& identity, const std::string& algorithm,
              const std::vector<uint8_t>& digest, const std::vector<uint8_t>& signature) const;

  // Adds the double's test CA to, or removes it from, the machine's trusted roots, which
  // production-mode requests need to accept the double's server certificates.
  bool SetTestAuthorityTrusted(bool trusted) const;

  // Raw access: the answer body of a status-200 call, or nothing.
  std::optional<std::string> Call(const std::string& verb, const std::string& path,
                                  const std::string& body = std::string()) const;
};
