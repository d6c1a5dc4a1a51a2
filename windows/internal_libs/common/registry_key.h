#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "unique_handle.h"

// One open registry key with the writes a provider registration needs; closed on every path.
class RegistryKey {
 public:
  HKEY get() const { return key_.get(); }
  HKEY* put() { return key_.put(); }

  // Creates or opens `path` below `parent`, non-volatile, for writing (`view` chooses a
  // registry view, KEY_WOW64_64KEY for example); a registry status.
  LONG Create(HKEY parent, const std::wstring& path, REGSAM view = 0) {
    return RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_WRITE | view, nullptr, key_.put(), nullptr);
  }
  LONG SetString(const wchar_t* name, const std::wstring& value) const {
    return SetValue(name, REG_SZ, value.c_str(), (value.size() + 1) * sizeof(wchar_t));
  }
  LONG SetDword(const wchar_t* name, DWORD value) const {
    return SetValue(name, REG_DWORD, &value, sizeof(value));
  }
  // One REG_MULTI_SZ string: the text, its NUL and the list's closing NUL.
  LONG SetSingleMultiString(const wchar_t* name, const std::wstring& value) const {
    std::wstring data = value + L'\0';
    return SetValue(name, REG_MULTI_SZ, data.c_str(), (data.size() + 1) * sizeof(wchar_t));
  }

 private:
  LONG SetValue(const wchar_t* name, DWORD type, const void* data, size_t size) const {
    return RegSetValueExW(key_.get(), name, 0, type, static_cast<const BYTE*>(data),
                          static_cast<DWORD>(size));
  }

  UniqueRegistryKey key_;
};
