#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Every persistent value of the system, one Credential Manager generic credential per key
// ("Murako_Sendaro_" + key) of the current user. The main program writes; the signing bridge
// reads the same entries from inside whatever process signs. Keys are logged, values never.
class SecureStorage {
 public:
  static bool StoreCredential(const std::string& key, const std::vector<uint8_t>& data);
  static bool RetrieveCredential(const std::string& key, std::vector<uint8_t>& output);
  // True when deleted or already absent.
  static bool DeleteCredential(const std::string& key);

  static bool StoreToken(const std::string& key, const std::string& value);
  static std::optional<std::string> GetToken(const std::string& key);
  static bool DeleteToken(const std::string& key);
};
