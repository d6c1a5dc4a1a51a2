#pragma once

#include <string>

#include "bcrypt_functions.h"
#include "console_output.h"
#include "provider_name.h"

// Registering the Murako KSP provider with CNG through the BCrypt configuration functions and removing it
// again: the tool's "-register" and "-unregister", and the installer's registration actions,
// which write the same lines to the installation log. Each command writes its lines to `out`
// and returns the exit code, 0 on success and 1 otherwise.
int RegisterKspCommand(const ToolOutput& out);
int UnregisterKspCommand(const ToolOutput& out);

// Loads the BCrypt functions; on failure writes the error line and returns false.
bool LoadBCryptFunctions(BCryptFunctions& functions, const ToolOutput& out);

// The provider's image in the system folder, where CNG loads it from.
std::wstring ProviderDllPath();

// True when the provider opens through NCrypt (it is freed again at once).
bool ProviderOpens();
