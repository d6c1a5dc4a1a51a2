#include "secure_storage.h"

#include <windows.h>

#include <atomic>

#include "credential_chunks.h"
#include "credential_manager.h"
#include "guarded_entry.h"
#include "logger.h"

namespace {

// A reader that meets the parts of two writes reads again: the writer had already published
// the newer first part, so a retry finds a whole value unless the value keeps changing faster
// than it can be read, or the entries are damaged.
constexpr int kReadAttempts = 5;

const CredentialEntries& Entries() {
  static const CredentialEntries entries{
      [](const std::string& target, CredentialBytes& blob) -> uint32_t {
        return credential_manager::Read(target, blob);
      },
      [](const std::string& target, const CredentialBytes& blob) -> uint32_t {
        return credential_manager::Write(target, blob);
      },
      [](const std::string& target) -> uint32_t { return credential_manager::Delete(target); }};
  return entries;
}

std::optional<CredentialBytes> CurrentFirstPart(const std::string& key) {
  CredentialBytes first;
  if (credential_manager::Read(CredentialTargetName(key, 0), first) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return first;
}

// Tells one write's parts from another's; unique, not secret.
uint64_t NewGeneration() {
  static std::atomic<uint64_t> counter{0};
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  LARGE_INTEGER ticks{};
  QueryPerformanceCounter(&ticks);
  uint64_t mixed = ((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime) ^
                   (static_cast<uint64_t>(GetCurrentProcessId()) << 40) ^
                   static_cast<uint64_t>(ticks.QuadPart) ^
                   (++counter * 0x9E3779B97F4A7C15ull);
  mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ull;
  mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBull;
  return mixed ^ (mixed >> 31);
}

// Storage reports failure through its result and its own lines only: an exception (no memory
// left) ends the operation with `failure` and no further line.
template <typename Failure, typename Body>
auto WithoutThrowing(Failure failure, Body&& body) -> decltype(body()) {
  return GuardEntry(std::forward<Body>(body), [&](const CaughtFailure&) { return failure; });
}

}  // namespace

bool SecureStorage::StoreCredential(const std::string& key, const std::vector<uint8_t>& data) {
  return WithoutThrowing(false, [&] {
    LogInfo("SecureStorage::StoreCredential - Storing credential for key: " + key);
    if (key.empty()) {
      LogError("SecureStorage::StoreCredential - Key is empty");
      return false;
    }
    if (data.empty()) {
      LogError("SecureStorage::StoreCredential - Data is empty");
      return false;
    }
    const DWORD error = WriteCredentialValue(
        key, PlanCredentialWrite(data, NewGeneration(), CurrentFirstPart(key)), Entries());
    if (error != ERROR_SUCCESS) {
      LogError("SecureStorage::StoreCredential - CredWrite failed with error: " +
               std::to_string(error));
      return false;
    }
    LogInfo("SecureStorage::StoreCredential - Successfully stored credential");
    return true;
  });
}

bool SecureStorage::RetrieveCredential(const std::string& key, std::vector<uint8_t>& output) {
  return WithoutThrowing(false, [&] {
    LogInfo("SecureStorage::RetrieveCredential - Retrieving credential for key: " + key);
    if (key.empty()) {
      LogError("SecureStorage::RetrieveCredential - Key is empty");
      return false;
    }
    CredentialBytes value;
    const CredentialReadOutcome read = ReadCredentialValue(key, Entries(), kReadAttempts, value);
    const DWORD error = read.error;
    if (!read.mismatch.empty()) {
      LogError("SecureStorage::RetrieveCredential - Stored parts do not match (" + read.mismatch +
               "), treating the credential as absent");
      return false;
    }
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
  });
}

bool SecureStorage::DeleteCredential(const std::string& key) {
  return WithoutThrowing(false, [&] {
    LogInfo("SecureStorage::DeleteCredential - Deleting credential for key: " + key);
    if (key.empty()) {
      LogError("SecureStorage::DeleteCredential - Key is empty");
      return false;
    }
    DWORD error = credential_manager::Delete(CredentialTargetName(key, 0));
    DeleteCredentialContinuations(key, 0, 1, Entries());
    DeleteCredentialContinuations(key, 1, 1, Entries());
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
  });
}

bool SecureStorage::StoreToken(const std::string& key, const std::string& value) {
  return WithoutThrowing(false, [&] {
    LogInfo("SecureStorage::StoreToken - Storing token for key: " + key);
    if (value.empty()) {
      LogError("SecureStorage::StoreToken - Token is empty");
      return false;
    }
    return StoreCredential(key, std::vector<uint8_t>(value.begin(), value.end()));
  });
}

std::optional<std::string> SecureStorage::GetToken(const std::string& key) {
  return WithoutThrowing(std::nullopt, [&]() -> std::optional<std::string> {
    LogInfo("SecureStorage::GetToken - Retrieving token for key: " + key);
    std::vector<uint8_t> bytes;
    if (RetrieveCredential(key, bytes)) {
      LogInfo("SecureStorage::GetToken - Token retrieved successfully");
      return std::string(bytes.begin(), bytes.end());
    }
    LogInfo("SecureStorage::GetToken - Token not found");
    return std::nullopt;
  });
}

bool SecureStorage::DeleteToken(const std::string& key) {
  return WithoutThrowing(false, [&] {
    LogInfo("SecureStorage::DeleteToken - Deleting token for key: " + key);
    return DeleteCredential(key);
  });
}
