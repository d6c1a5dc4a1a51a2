#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Debug-log descriptions of a hash handed over for signing. The hash itself is forwarded
// unchanged; these lines only help to tell apart raw hashes, DigestInfo structures and the
// MD5+SHA-1 concatenation of old TLS versions.

// The first min(length, 64) bytes as "%02X " each.
std::string HashHexPrefix(const BYTE* hash, DWORD length);

// The indented warning lines for a hash that is not 32, 48 or 64 bytes long; none otherwise.
std::vector<std::string> DiagnoseHashFormat(const BYTE* hash, DWORD length);
