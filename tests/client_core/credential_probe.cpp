// Reads one value through SecureStorage in a process of its own, as the signing bridge does
// inside another program: "credential_probe <key>" writes the value's bytes to standard output
// and exits 0 when found, 1 when absent.
#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "secure_storage.h"
#include "string_conversion.h"

int main() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return 3;
  std::string key = count == 2 ? WideToUtf8(arguments[1]) : std::string();
  LocalFree(arguments);
  if (count != 2) return 2;

  std::optional<std::string> value = SecureStorage::GetToken(key);
  if (!value) return 1;
  _setmode(_fileno(stdout), _O_BINARY);
  fwrite(value->data(), 1, value->size(), stdout);
  return 0;
}
