#include "ksp_registration.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixture_files.h"
#include "test_environment.h"

namespace {

const wchar_t kProviderKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Cryptography\\Providers\\Murako KSP";
const wchar_t kCngKey[] = L"SOFTWARE\\Microsoft\\Cryptography\\CNG\\KeyStorageProviders\\Murako KSP";

struct RegistryValue {
  bool found = false;
  DWORD type = 0;
  std::vector<BYTE> data;
};

RegistryValue ReadValue(HKEY root, const std::wstring& path, const wchar_t* name) {
  RegistryValue value;
  DWORD size = 0;
  if (RegGetValueW(root, path.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &value.type, nullptr,
                   &size) != ERROR_SUCCESS) {
    return value;
  }
  value.data.resize(size);
  value.found = RegGetValueW(root, path.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &value.type,
                             value.data.data(), &size) == ERROR_SUCCESS;
  value.data.resize(size);
  return value;
}

std::wstring AsString(const RegistryValue& value) {
  return std::wstring(reinterpret_cast<const wchar_t*>(value.data.data()),
                      value.data.size() / sizeof(wchar_t));
}

bool KeyExists(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// Every case starts and ends with no registration: earlier programs in the same prefix (the
// application's diagnostics, the installer) may have left one.
class KspRegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override { RemoveRegistration(); }
  void TearDown() override { RemoveRegistration(); }
  static void RemoveRegistration() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProviderKey);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kCngKey);
    RegDeleteTreeW(HKEY_CURRENT_USER, kCngKey);
  }
  bool Logged(const std::string& tag, const std::string& message) const {
    return LogHasLine(temp_.path(), tag, message);
  }

  ScopedTempDirectory temp_;
  ScopedTempPathOverride temp_path_{temp_.path()};
};

TEST_F(KspRegistrationTest, ProviderTreeHoldsTheKeyStorageInterface) {
  ASSERT_TRUE(RegisterMurakoKsp());
  ASSERT_TRUE(RegisterMurakoKsp()) << "a second run overwrites the same values";
  std::wstring userMode = std::wstring(kProviderKey) + L"\\UM";
  std::wstring keyStorage = userMode + L"\\00010001";

  RegistryValue image = ReadValue(HKEY_LOCAL_MACHINE, userMode, L"Image");
  EXPECT_EQ(image.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(AsString(image), std::wstring(L"murako_ksp.dll\0", 15));
  RegistryValue path = ReadValue(HKEY_LOCAL_MACHINE, keyStorage, L"Image");
  EXPECT_EQ(AsString(path), std::wstring(L"C:\\Windows\\System32\\murako_ksp.dll\0", 35));
  RegistryValue type = ReadValue(HKEY_LOCAL_MACHINE, keyStorage, L"Type");
  EXPECT_EQ(type.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(*reinterpret_cast<DWORD*>(type.data.data()), 1u);
  EXPECT_EQ(*reinterpret_cast<DWORD*>(ReadValue(HKEY_LOCAL_MACHINE, keyStorage, L"Flags").data.data()),
            1u);
  RegistryValue functions = ReadValue(HKEY_LOCAL_MACHINE, keyStorage, L"Functions");
  EXPECT_EQ(functions.type, static_cast<DWORD>(REG_MULTI_SZ));
  EXPECT_EQ(functions.data.size(), 26u);
  EXPECT_EQ(AsString(functions), std::wstring(L"KEY_STORAGE\0\0", 13));
  EXPECT_TRUE(Logged("INFO", "RegisterMurakoKsp: KSP registered successfully!"));
  EXPECT_FALSE(IsKspRegisteredHKLM()) << "the Providers tree is not the CNG provider key";

  EXPECT_TRUE(UnregisterMurakoKsp());
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProviderKey));
  EXPECT_TRUE(UnregisterMurakoKsp()) << "nothing left to remove is still success";
  EXPECT_TRUE(Logged("INFO", "UnregisterMurakoKsp: KSP unregistered successfully!"));
}

TEST_F(KspRegistrationTest, UserLevelRegistrationTouchesOnlyHkcu) {
  ASSERT_TRUE(RegisterMurakoKspHKCU());
  EXPECT_TRUE(IsKspRegisteredHKCU());
  EXPECT_FALSE(IsKspRegisteredHKLM());
  EXPECT_EQ(AsString(ReadValue(HKEY_CURRENT_USER, kCngKey, L"Image")),
            std::wstring(L"C:\\Windows\\System32\\murako_ksp.dll\0", 35));
  EXPECT_TRUE(Logged("INFO", "RegisterMurakoKspHKCU: KSP registered in HKCU (CNG) successfully!"));
}

// The status checks read the CNG provider key: once unregistered, the machine's key is gone
// with the Providers tree (also a key left without one), the user's own key stays.
TEST_F(KspRegistrationTest, SystemWideRegistrationWritesBothAndUnregisterRemovesBoth) {
  ASSERT_TRUE(RegisterMurakoKspHKLM());
  EXPECT_TRUE(IsKspRegisteredHKLM());
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kProviderKey) + L"\\UM\\00010001"));
  EXPECT_TRUE(Logged("INFO", "RegisterMurakoKspHKLM: KSP registered in HKLM (CNG) successfully!"));
  ASSERT_TRUE(RegisterMurakoKspHKCU());
  ASSERT_TRUE(UnregisterMurakoKsp());
  EXPECT_FALSE(IsKspRegisteredHKLM()) << "a removed registration must not read as registered";
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProviderKey));
  EXPECT_TRUE(IsKspRegisteredHKCU());

  ASSERT_TRUE(ksp_registration::RegisterCngProviderKey(HKEY_LOCAL_MACHINE, "", "HKLM"));
  ASSERT_TRUE(UnregisterMurakoKsp());
  EXPECT_FALSE(IsKspRegisteredHKLM()) << "the key alone, without a Providers tree";
}

// Wine always runs as an administrator and does not enforce key access rights, so a machine
// root that cannot be written stands in for the machine hive of a user without rights.
TEST_F(KspRegistrationTest, WithoutWriteAccessNothingReachesTheCngKey) {
  HKEY unwritable = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0xDEAD0));
  EXPECT_FALSE(ksp_registration::RegisterSystemWide(unwritable));
  EXPECT_TRUE(Logged("ERROR", "RegisterMurakoKsp: Failed to create provider key: 6"));
  EXPECT_TRUE(Logged("ERROR", "RegisterMurakoKspHKLM: Failed to register in HKLM\\SYSTEM"));
  std::string log = ReadFileBytes(temp_.path() + "murako_windows.log");
  EXPECT_EQ(log.find("Failed to create CNG key"), std::string::npos);
  EXPECT_FALSE(IsKspRegisteredHKLM());
  EXPECT_FALSE(ksp_registration::UnregisterProviderTree(unwritable));
  EXPECT_TRUE(Logged("ERROR", "UnregisterMurakoKsp: Failed to open Providers key: 6"));
}

}  // namespace
