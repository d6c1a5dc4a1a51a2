#include "cng_registry_layout.h"

#include <bcrypt.h>

#include <cwchar>

namespace cng_registry {

const wchar_t kProvidersPath[] = L"SYSTEM\\CurrentControlSet\\Control\\Cryptography\\Providers";
const wchar_t kLocalConfigurationPath[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Cryptography\\Configuration\\Local";
const wchar_t kDefaultContext[] = L"Default";

namespace {

class Key {
 public:
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  HKEY* put() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

bool ReadValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD& type,
               std::vector<BYTE>& data) {
  Key key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return false;
  }
  data.resize(size);
  if (RegQueryValueExW(key.get(), name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
    return false;
  }
  data.resize(size);
  return true;
}

}  // namespace

std::wstring InterfaceKeyName(ULONG interfaceId) {
  wchar_t text[16];
  swprintf(text, 16, L"%08X", static_cast<unsigned>(interfaceId));
  return text;
}

std::vector<std::wstring> ParseMultiString(const std::vector<BYTE>& data) {
  std::vector<std::wstring> items;
  const wchar_t* text = reinterpret_cast<const wchar_t*>(data.data());
  size_t length = data.size() / sizeof(wchar_t);
  size_t start = 0;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] != L'\0') continue;
    if (i == start) break;
    items.emplace_back(text + start, i - start);
    start = i + 1;
  }
  if (start < length && text[length - 1] != L'\0') items.emplace_back(text + start, length - start);
  return items;
}

std::vector<BYTE> BuildMultiString(const std::vector<std::wstring>& items) {
  std::wstring joined;
  for (const std::wstring& item : items) {
    joined += item;
    joined += L'\0';
  }
  joined += L'\0';
  const BYTE* bytes = reinterpret_cast<const BYTE*>(joined.data());
  return std::vector<BYTE>(bytes, bytes + joined.size() * sizeof(wchar_t));
}

std::vector<std::wstring> InsertAt(std::vector<std::wstring> items, const std::wstring& item,
                                   ULONG position) {
  size_t index = position >= items.size() ? items.size() : position;
  items.insert(items.begin() + static_cast<std::ptrdiff_t>(index), item);
  return items;
}

bool ContainsIgnoringCase(const std::vector<std::wstring>& items, const std::wstring& item) {
  for (const std::wstring& existing : items) {
    if (_wcsicmp(existing.c_str(), item.c_str()) == 0) return true;
  }
  return false;
}

std::vector<std::wstring> RemoveIgnoringCase(std::vector<std::wstring> items,
                                             const std::wstring& item) {
  std::vector<std::wstring> kept;
  for (std::wstring& existing : items) {
    if (_wcsicmp(existing.c_str(), item.c_str()) != 0) kept.push_back(std::move(existing));
  }
  return kept;
}

bool ReadMultiString(HKEY root, const std::wstring& path, const wchar_t* name,
                     std::vector<std::wstring>& items) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (!ReadValue(root, path, name, type, data) || type != REG_MULTI_SZ) return false;
  items = ParseMultiString(data);
  return true;
}

bool ReadString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& value) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (!ReadValue(root, path, name, type, data)) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  value.assign(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
  size_t end = value.find(L'\0');
  if (end != std::wstring::npos) value.resize(end);
  if (type == REG_EXPAND_SZ) {
    wchar_t expanded[MAX_PATH * 2] = {};
    DWORD length = ExpandEnvironmentStringsW(value.c_str(), expanded, MAX_PATH * 2);
    if (length > 0 && length <= MAX_PATH * 2) value = expanded;
  }
  return true;
}

LONG WriteMultiString(HKEY root, const std::wstring& path, const wchar_t* name,
                      const std::vector<std::wstring>& items) {
  Key key;
  LONG status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                nullptr, key.put(), nullptr);
  if (status != ERROR_SUCCESS) return status;
  std::vector<BYTE> data = BuildMultiString(items);
  return RegSetValueExW(key.get(), name, 0, REG_MULTI_SZ, data.data(),
                        static_cast<DWORD>(data.size()));
}

bool KeyExists(HKEY root, const std::wstring& path) {
  Key key;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

}  // namespace cng_registry
