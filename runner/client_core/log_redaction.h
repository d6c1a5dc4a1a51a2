#pragma once

#include <cstddef>
#include <string>

#include "log_escape.h"  // EscapeForLog

// What the log may show of secrets (tokens, codes, client secrets, verifiers, server session
// and ticket values) and of identity numbers. No function here returns a secret whole, at any
// length: at most a quarter of a value is shown, and a value too short for that is replaced.

constexpr char kRedactedText[] = "[REDACTED]";

// The first characters of `secret` followed by "...": at most `at_most` of them and never more
// than a quarter of the value; "[REDACTED]" when that leaves none.
std::string SecretHead(const std::string& secret, size_t at_most);

// A token for the log: its first and last characters around `separator`, at most 10 at each
// end and together at most a quarter of the token; "[REDACTED]" when too short. Every preview
// of a token shows this much and no more.
std::string MaskToken(const std::string& token, const char* separator = "...");

// An identity number (DNI, CIF) with every character but the last three written as "*".
std::string MaskIdentityNumber(const std::string& number);

// Whether a URL parameter of this name carries a secret: code, state, the tokens, and every
// name holding "token", "ticket", "secret", "session", "assertion", "verifier", "saml" or
// "password" (compared without regard to ASCII case).
bool IsSecretParameterName(const std::string& name);

// An address for the log: the values of secret query and fragment parameters become
// "[REDACTED]" and the value of "login_hint" is masked as an identity number; everything else
// stays as written.
std::string RedactAddressForLog(const std::string& address);

// A body for the log with the string values of the JSON members "access_token",
// "refresh_token", "id_token", "token", "client_secret" and "code_verifier" replaced by
// "[REDACTED]". Found textually, so that a truncated or malformed body is covered as well.
std::string RedactJsonSecretsForLog(const std::string& text);
