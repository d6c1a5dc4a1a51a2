#pragma once

#include <windows.h>
#include <winhttp.h>

// What every WinHTTP request of the program uses: the REST client's and the sign-in's.

constexpr wchar_t kWinHttpUserAgent[] = L"Murako Windows Client/1.0";
constexpr int kResolveTimeoutMs = 15000;
constexpr int kConnectTimeoutMs = 15000;
constexpr int kSendTimeoutMs = 30000;
constexpr int kReceiveTimeoutMs = 30000;
// Unknown authority, wrong usage, name mismatch and date errors are ignored outside production.
constexpr DWORD kDevelopmentSecurityFlags =
    SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
    SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
static_assert(kDevelopmentSecurityFlags == 0x3300, "development security flags");
