#include "secure_storage.h"

#include <windows.h>

#include "credential_chunks.h"
#include "credential_manager.h"
#include "logger.h"

namespace {

// Removes continuation entries from part `first_index` on; a value never has gaps, so the
// first absent part ends the sweep.
void DeleteContinuationsFrom(const std::string& key, size_t first_index) {
  for (size_t index = first_index;; ++index) {
    if (credential_manager::Delete(CredentialTargetName(key, index)) != ERROR_SUCCESS) return;
  }
}

// Writes the continuations before the first part, so the first part, which readers see
// first, only ever announces continuations that already exist.
DWORD WriteParts(const std::string& key, const std::vector<CredentialBytes>& parts) {
  for (size_t index = parts.size(); index-- > 0;) {
    DWORD error = credential_manager::Write(CredentialTargetName(key, index), parts[index]);
    if (error != ERROR_SUCCESS) return error;
  }
  return ERROR_SUCCESS;
}

DWORD ReadContinuations(const std::string& key, CredentialBytes& value) {
  size_t last_part_size = value.size();
  for (size_t index = 1; MayHaveContinuation(last_part_size); ++index) {
    CredentialBytes part;
    DWORD error = credential_manager::Read(CredentialTargetName(key, index), part);
    if (error == ERROR_NOT_FOUND) break;
    if (error != ERROR_SUCCESS) return error;
    value.insert(value.end(), part.begin(), part.end());
    last_part_size = part.size();
  }
  return ERROR_SUCCESS;
}

}  // namespace

bool SecureStorage::StoreCredential(const std::string& key, const std::vector<uint8_t>& data) {
  try {
    LogInfo("SecureStorage::StoreCredential - Storing credential for key: " + key);
    if (key.empty()) {
      LogError("SecureStorage::StoreCredential - Key is empty");
      return false;
    }
    if (data.empty()) {
      LogError("SecureStorage::StoreCredential - Data is empty");
      return false;
    }
    std::vector<CredentialBytes> parts = SplitCredentialBlob(data);
    DWORD error = WriteParts(key, parts);
    if (error != ERROR_SUCCESS) {
      LogError("SecureStorage::StoreCredential - CredWrite failed with error: " +
               std::to_string(error));
      return false;
    }
    DeleteContinuationsFrom(key, parts.size());
    LogInfo("SecureStorage::StoreCredential - Successfully stored credential");
    return true;
  } catch (...) {
    return false;
  }
}

bool SecureStorage::RetrieveCredential(const std::string& key, std::vector<uint8_t>& output) {
  try {
    LogInfo("SecureStorage::RetrieveCredential - Retrieving credential for key: " + key);
    if (key.empty()) {
      LogError("SecureStorage::RetrieveCredential - Key is empty");
      return false;
    }
    CredentialBytes value;
    DWORD error = credential_manager::Read(CredentialTargetName(key, 0), value);
    if (error == ERROR_SUCCESS) error = ReadContinuations(key, value);
    if (error == ERROR_NOT_FOUND) {
      LogInfo("SecureStorage::RetrieveCredential - Credential not found");
      return false;
    }
    if (error != ERROR_SUCCESS) {
      LogError("SecureStorage::RetrieveCredential - CredRead failed with error: " +
               std::to_string(error));
      return false;
    }
    output.swap(value);
    LogInfo("SecureStorage::RetrieveCredential - Successfully retrieved credential (" +
            std::to_string(output.size()) + " bytes)");
    return true;
  } catch (...) {
    return false;
  }
}

bool SecureStorage::DeleteCredential(const std::string& key) {
  try {
    LogInfo("SecureStorage::DeleteCredential - Deleting credential for key: " + key);
    if (key.empty()) {
      LogError("SecureStorage::DeleteCredential - Key is empty");
      return false;
    }
    DWORD error = credential_manager::Delete(CredentialTargetName(key, 0));
    DeleteContinuationsFrom(key, 1);
    if (error == ERROR_SUCCESS) {
      LogInfo("SecureStorage::DeleteCredential - Successfully deleted credential");
      return true;
    }
    if (error == ERROR_NOT_FOUND) {
      LogInfo("SecureStorage::DeleteCredential - Credential not found (already deleted)");
      return true;
    }
    LogError("SecureStorage::DeleteCredential - CredDelete failed with error: " +
             std::to_string(error));
    return false;
  } catch (...) {
    return false;
  }
}

bool SecureStorage::StoreToken(const std::string& key, const std::string& value) {
  try {
    LogInfo("SecureStorage::StoreToken - Storing token for key: " + key);
    if (value.empty()) {
      LogError("SecureStorage::StoreToken - Token is empty");
      return false;
    }
    return StoreCredential(key, std::vector<uint8_t>(value.begin(), value.end()));
  } catch (...) {
    return false;
  }
}

std::optional<std::string> SecureStorage::GetToken(const std::string& key) {
  try {
    LogInfo("SecureStorage::GetToken - Retrieving token for key: " + key);
    std::vector<uint8_t> bytes;
    if (RetrieveCredential(key, bytes)) {
      LogInfo("SecureStorage::GetToken - Token retrieved successfully");
      return std::string(bytes.begin(), bytes.end());
    }
    LogInfo("SecureStorage::GetToken - Token not found");
    return std::nullopt;
  } catch (...) {
    return std::nullopt;
  }
}

bool SecureStorage::DeleteToken(const std::string& key) {
  try {
    LogInfo("SecureStorage::DeleteToken - Deleting token for key: " + key);
    return DeleteCredential(key);
  } catch (...) {
    return false;
  }
}
