#include "webview2_runtime.h"

#include <windows.h>

#include "unique_handle.h"

namespace {

const wchar_t kClientKey[] =
    L"SOFTWARE\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";

std::wstring ReadVersion(HKEY root, REGSAM view) {
  UniqueRegistryKey key;
  if (RegOpenKeyExW(root, kClientKey, 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS) {
    return std::wstring();
  }
  wchar_t value[64] = {};
  DWORD type = 0;
  DWORD bytes = sizeof(value) - sizeof(wchar_t);
  if (RegQueryValueExW(key.get(), L"pv", nullptr, &type, reinterpret_cast<BYTE*>(value),
                       &bytes) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::wstring();
  }
  std::wstring version(value, bytes / sizeof(wchar_t));
  while (!version.empty() && version.back() == L'\0') version.pop_back();
  return version == L"0.0.0.0" ? std::wstring() : version;
}

}  // namespace

WebView2Versions ReadWebView2Versions() {
  return {ReadVersion(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY),
          ReadVersion(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY),
          ReadVersion(HKEY_CURRENT_USER, 0)};
}

std::wstring DescribeWebView2Runtime(const WebView2Versions& versions) {
  std::wstring found;
  const struct {
    const std::wstring& version;
    const wchar_t* place;
  } places[] = {{versions.machine64, L"HKLM, 64-bit view"},
                {versions.machine32, L"HKLM, 32-bit view"},
                {versions.user, L"HKCU"}};
  for (const auto& place : places) {
    if (place.version.empty()) continue;
    found += (found.empty() ? L"" : L"; ") + place.version + L" (" + place.place + L")";
  }
  if (!found.empty()) return L"WebView2 Runtime found: " + found;
  return L"WebView2 Runtime not found (no version in HKLM, 64-bit and 32-bit views, nor in "
         L"HKCU): Sendaro's sign-in window needs it; install the WebView2 Runtime before "
         L"signing in";
}
