#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

// The main window's session rules: at start, provider-bound certificates left without any
// session are removed; when the window is destroyed, the user is signed out.

// True when certificates are present but neither account holds a non-empty access token.
bool HasOrphanedCertificates(size_t certificate_count,
                             const std::optional<std::string>& citizen_access_token,
                             const std::optional<std::string>& professional_access_token);

// Lists the store and removes every provider-bound certificate when they are orphaned.
void RemoveOrphanedCertificatesAtStartup();

class SignInService;

// Signs both accounts out (`announcement` logged first): what the sign-in flows have pending is
// disarmed, the system's certificates with their mappings and both accounts' tokens and expiry
// go, then the sign-in browser's session ends (cookies and hidden window). `sign_in` may be
// null. Each step logs its own failures; the sequence always runs to the end.
void SignOutOfBothAccounts(SignInService* sign_in, const char* announcement);
