#pragma once

#include <string>

// What the log may show of token traffic.

// A token endpoint answer with its token values hidden. JSON: "access_token" and
// "refresh_token" of an object become "[REDACTED]" (at most 20 characters) or their first 10
// characters + "...[REDACTED]..." + their last 10, and the document is re-serialised with an
// indentation of 2. Anything else (not JSON, a token that is not a string, text that cannot be
// serialised) is redacted textually: every `"access_token":"` and `"refresh_token":"` value
// becomes "[REDACTED]", and a value cut off by the end of the text is hidden up to that end.
std::string RedactTokensForLog(const std::string& response);

// A token request's form body with the values of "code", "refresh_token" and "client_secret"
// replaced by "[REDACTED]"; field names and every other value stay readable.
std::string RedactFormBodyForLog(const std::string& form_body);
