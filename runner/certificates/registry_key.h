#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Owner of one open registry key, closed on every path.
class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  HKEY get() const { return key_; }
  HKEY* put() { return &key_; }

  // Creates or opens `path` below `parent`, non-volatile, for writing; a registry status.
  LONG Create(HKEY parent, const std::wstring& path) {
    return RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                           nullptr, &key_, nullptr);
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
    return RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data),
                          static_cast<DWORD>(size));
  }

  HKEY key_ = nullptr;
};
