#pragma once

#include <cstdint>
#include <string>

// What the sign-in window reads from and writes into the addresses it navigates.

// True when `uri` starts with the redirect URI, which is where a sign-in ends.
bool IsOAuthRedirect(const std::string& uri, const std::string& redirect_uri);

// The value after the first "code=" anywhere in `uri`, up to the next "&" or the end, used as
// it stands (no percent-decoding). Empty when there is none.
std::string ExtractAuthorizationCode(const std::string& uri);

// `uri` with the value of a "code=" parameter masked, for the log.
std::string RedactAuthorizationCode(const std::string& uri);

// The authorization URL with "&_t=" + milliseconds, so a renewal is never served from a cache.
std::string WithCacheBuster(const std::string& authorization_url, int64_t unix_milliseconds);

// "Sendaroa - Autentifikazioa" for locale "eu" (exactly), "Sendaro - Autenticación" otherwise.
std::wstring SignInWindowTitle(const std::string& locale);
