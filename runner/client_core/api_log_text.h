#pragma once

#include <string>

// Texts the API client writes into the log.

// The token as logged: whole up to 20 characters, else its first 10 + "..." + its last 10.
std::string MaskToken(const std::string& token);
