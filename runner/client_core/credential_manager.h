#pragma once

#include <windows.h>

#include <string>

#include "credential_chunks.h"

// Thin owner-aware calls on the current user's generic credentials; each returns the system
// error code (ERROR_SUCCESS on success) and releases every record it obtained.
namespace credential_manager {

constexpr char kUserName[] = "MurakoUser";
constexpr char kComment[] = "Murako Sendaro - OAuth Token";

DWORD Write(const std::string& target_name, const CredentialBytes& blob);
DWORD Read(const std::string& target_name, CredentialBytes& blob);
DWORD Delete(const std::string& target_name);

}  // namespace credential_manager
