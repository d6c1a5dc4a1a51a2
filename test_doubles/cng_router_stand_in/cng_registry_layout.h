#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The registry layout in which Windows keeps CNG provider registrations, shared by the
// stand-in bcrypt.dll (which writes it) and the stand-in ncrypt.dll (which reads it):
//   HKLM\SYSTEM\CurrentControlSet\Control\Cryptography\Providers\<name>\UM          Image
//   ...\Providers\<name>\UM\<interface as 8 hex digits>                              Functions, Flags
//   HKLM\SYSTEM\CurrentControlSet\Control\Cryptography\Configuration\Local\<context>
//       \<interface>\<function>                                                     Providers
namespace cng_registry {

extern const wchar_t kProvidersPath[];
extern const wchar_t kLocalConfigurationPath[];
extern const wchar_t kDefaultContext[];

// "00010001" for the key storage interface.
std::wstring InterfaceKeyName(ULONG interfaceId);

// REG_MULTI_SZ data <-> list of strings.
std::vector<std::wstring> ParseMultiString(const std::vector<BYTE>& data);
std::vector<BYTE> BuildMultiString(const std::vector<std::wstring>& items);

// Inserts at `position` (0 = top, beyond the end or CRYPT_PRIORITY_BOTTOM = bottom).
std::vector<std::wstring> InsertAt(std::vector<std::wstring> items, const std::wstring& item,
                                   ULONG position);
bool ContainsIgnoringCase(const std::vector<std::wstring>& items, const std::wstring& item);
std::vector<std::wstring> RemoveIgnoringCase(std::vector<std::wstring> items,
                                             const std::wstring& item);

// Registry access below HKLM. Read functions return false when the key or value is missing.
bool ReadMultiString(HKEY root, const std::wstring& path, const wchar_t* name,
                     std::vector<std::wstring>& items);
bool ReadString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& value);
LONG WriteMultiString(HKEY root, const std::wstring& path, const wchar_t* name,
                      const std::vector<std::wstring>& items);
bool KeyExists(HKEY root, const std::wstring& path);

}  // namespace cng_registry
