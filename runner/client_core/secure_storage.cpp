#include "secure_storage.h"

#include <windows.h>

#include <atomic>

#include "credential_chunks.h"
#include "credential_manager.h"
#include "logger.h"

namespace {

// A reader that meets the parts of two writes reads again: the writer had already published
// the newer first part, so a retry finds a whole value unless the value keeps changing faster
// than it can be read, or the entries are damaged.
constexpr int kReadAttempts = 5;

// Removes continuation entries of `slot` from part `first_index` on; a value never has gaps,
// so the first absent part ends the sweep.
void DeleteContinuationsFrom(const std::string& key, size_t slot, size_t first_index) {
  for (size_t index = first_index;; ++index) {
    if (credential_manager::Delete(CredentialTargetName(key, index, slot)) != ERROR_SUCCESS) {
      return;
    }
  }
}

std::optional<CredentialBytes> CurrentFirstPart(const std::string& key) {
  CredentialBytes first;
  if (credential_manager::Read(CredentialTargetName(key, 0), first) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return first;
}

// The continuations first, in the slot no reader of the current value looks at; then the
// first part, which publishes the new value in one step; then what neither value needs.
DWORD WritePlanned(const std::string& key, const CredentialWritePlan& plan) {
  for (size_t index = 1; index < plan.parts.size(); ++index) {
    DWORD error =
        credential_manager::Write(CredentialTargetName(key, index, plan.slot), plan.parts[index]);
    if (error != ERROR_SUCCESS) return error;
  }
  DWORD error = credential_manager::Write(CredentialTargetName(key, 0), plan.parts[0]);
  if (error != ERROR_SUCCESS) return error;
  for (const auto& sweep : plan.sweeps) DeleteContinuationsFrom(key, sweep.first, sweep.second);
  return ERROR_SUCCESS;
}

struct ReadOutcome {
  DWORD error = ERROR_SUCCESS;
  std::string mismatch;  // why the parts read do not make one value
};

ReadOutcome ReadPlainContinuations(const std::string& key, CredentialBytes& value) {
  ReadOutcome outcome;
  size_t last_part_size = value.size();
  for (size_t index = 1; MayHaveContinuation(last_part_size); ++index) {
    CredentialBytes part;
    outcome.error = credential_manager::Read(CredentialTargetName(key, index), part);
    if (outcome.error == ERROR_NOT_FOUND) {
      outcome.error = ERROR_SUCCESS;
      break;
    }
    if (outcome.error != ERROR_SUCCESS) return outcome;
    if (IsFramedContinuation(part)) {
      outcome.mismatch = "part " + std::to_string(index) + " belongs to another write";
      return outcome;
    }
    value.insert(value.end(), part.begin(), part.end());
    last_part_size = part.size();
  }
  return outcome;
}

ReadOutcome ReadFramedContinuations(const std::string& key, const CredentialFrame& frame,
                                    CredentialBytes& value) {
  ReadOutcome outcome;
  for (size_t index = 1; index <= frame.continuation_count; ++index) {
    CredentialBytes part;
    outcome.error = credential_manager::Read(CredentialTargetName(key, index, frame.slot), part);
    if (outcome.error == ERROR_NOT_FOUND) {
      outcome.error = ERROR_SUCCESS;
      outcome.mismatch = "part " + std::to_string(index) + " is missing";
      return outcome;
    }
    if (outcome.error != ERROR_SUCCESS) return outcome;
    if (!AppendFramedContinuation(frame, index, part, value)) {
      outcome.mismatch = "part " + std::to_string(index) + " belongs to another write";
      return outcome;
    }
  }
  if (value.size() != frame.total_length) {
    outcome.mismatch = std::to_string(value.size()) + " bytes instead of " +
                       std::to_string(frame.total_length);
  }
  return outcome;
}

ReadOutcome ReadValueOnce(const std::string& key, CredentialBytes& value) {
  ReadOutcome outcome;
  CredentialBytes first;
  outcome.error = credential_manager::Read(CredentialTargetName(key, 0), first);
  if (outcome.error != ERROR_SUCCESS) return outcome;
  std::optional<CredentialFrame> frame = ReadCredentialFrame(first);
  if (!frame) {
    value.swap(first);
    return ReadPlainContinuations(key, value);
  }
  value = FramedFirstPayload(first);
  return ReadFramedContinuations(key, *frame, value);
}

ReadOutcome ReadValue(const std::string& key, CredentialBytes& value) {
  ReadOutcome outcome;
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    value.clear();
    outcome = ReadValueOnce(key, value);
    if (outcome.mismatch.empty()) break;
  }
  return outcome;
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
    DWORD error =
        WritePlanned(key, PlanCredentialWrite(data, NewGeneration(), CurrentFirstPart(key)));
    if (error != ERROR_SUCCESS) {
      LogError("SecureStorage::StoreCredential - CredWrite failed with error: " +
               std::to_string(error));
      return false;
    }
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
    ReadOutcome read = ReadValue(key, value);
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
    DeleteContinuationsFrom(key, 0, 1);
    DeleteContinuationsFrom(key, 1, 1);
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
