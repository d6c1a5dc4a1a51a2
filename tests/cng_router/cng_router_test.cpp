// The stand-in ncrypt.dll router, in a program started next to it: name resolution through the
// registered Providers tree, forwarding to the provider's table, its own handles and buffers.
#include <windows.h>
#include <ncrypt.h>

#include <gtest/gtest.h>

#include <string>

#include "isolated_process.h"
#include "ksp_registration.h"
#include "test_environment.h"

namespace {

const wchar_t kProviders[] = L"SYSTEM\\CurrentControlSet\\Control\\Cryptography\\Providers";
const wchar_t kTestProvider[] = L"Sendaro Router Test KSP";
const char kTestImage[] = "sendaro_router_fake_ksp.dll";

void WriteString(HKEY key, const wchar_t* name, const std::wstring& value) {
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// The registration BCryptRegisterProvider writes for a key storage provider.
void RegisterTestProvider(const std::wstring& image, const wchar_t* functions) {
  std::wstring userMode = std::wstring(kProviders) + L"\\" + kTestProvider + L"\\UM";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, userMode.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  WriteString(key, L"Image", image);
  HKEY keyStorage = nullptr;
  ASSERT_EQ(RegCreateKeyExW(key, L"00010001", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &keyStorage,
                            nullptr),
            ERROR_SUCCESS);
  std::wstring list = std::wstring(functions) + L'\0';
  RegSetValueExW(keyStorage, L"Functions", 0, REG_MULTI_SZ,
                 reinterpret_cast<const BYTE*>(list.c_str()),
                 static_cast<DWORD>((list.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(keyStorage);
  RegCloseKey(key);
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class CngRouterTest : public ::testing::Test {
 protected:
  void TearDown() override {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kProviders) + L"\\" + kTestProvider).c_str());
  }

  // Provider and key handles the fake provider has handed out and not had back.
  LONG ProviderHandlesOpen() const {
    using Counter = LONG(WINAPI*)();
    auto counter = reinterpret_cast<Counter>(
        reinterpret_cast<void*>(GetProcAddress(fake_, "FakeProviderOpenHandles")));
    return counter != nullptr ? counter() : -1;
  }

  void LoadFakeHere() {
    // Loading the image here too keeps it, and its counter, alive between router calls.
    fake_ = LoadLibraryA((SystemFolder() + kTestImage).c_str());
    ASSERT_NE(fake_, nullptr);
  }
  void ReleaseFake() {
    if (fake_ != nullptr) FreeLibrary(fake_);
    fake_ = nullptr;
  }
  ~CngRouterTest() override { ReleaseFake(); }

  SystemFilePlacement image_{ProgramDirectory() + "fake_key_storage_provider.dll", kTestImage};
  HMODULE fake_ = nullptr;
};

TEST_F(CngRouterTest, UnregisteredOrIncompleteRegistrationsFailAsOnWindows) {
  NCRYPT_PROV_HANDLE provider = 0;
  EXPECT_EQ(NCryptOpenStorageProvider(&provider, kTestProvider, 0), NTE_BAD_PROVIDER);
  EXPECT_EQ(NCryptOpenStorageProvider(&provider, nullptr, 0), NTE_BAD_PROVIDER)
      << "the default provider is not registered in this prefix";

  RegisterTestProvider(Wide(kTestImage), L"SIGNATURE");
  EXPECT_EQ(NCryptOpenStorageProvider(&provider, kTestProvider, 0), NTE_BAD_PROVIDER)
      << "no KEY_STORAGE function";

  RegisterTestProvider(L"sendaro_no_such_image.dll", L"KEY_STORAGE");
  EXPECT_EQ(NCryptOpenStorageProvider(&provider, kTestProvider, 0), NTE_PROV_DLL_NOT_FOUND);

  RegisterTestProvider(L"kernel32.dll", L"KEY_STORAGE");
  EXPECT_EQ(NCryptOpenStorageProvider(&provider, kTestProvider, 0), NTE_PROVIDER_DLL_FAIL)
      << "an image without GetKeyStorageInterface";
  EXPECT_EQ(provider, 0u);
}

TEST_F(CngRouterTest, ForwardsProviderAndKeyCallsToTheRegisteredImage) {
  ASSERT_TRUE(image_.placed());
  RegisterTestProvider(Wide(kTestImage), L"KEY_STORAGE");
  LoadFakeHere();

  NCRYPT_PROV_HANDLE provider = 0;
  ASSERT_EQ(NCryptOpenStorageProvider(&provider, kTestProvider, 0), ERROR_SUCCESS);
  wchar_t name[128] = {};
  DWORD size = 0;
  ASSERT_EQ(NCryptGetProperty(provider, NCRYPT_NAME_PROPERTY, reinterpret_cast<PBYTE>(name),
                              sizeof(name), &size, 0),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, kTestProvider);
  EXPECT_EQ(NCryptIsAlgSupported(provider, L"RSA", 0), ERROR_SUCCESS);
  EXPECT_EQ(NCryptIsAlgSupported(provider, L"ECDSA_P256", 0), NTE_NOT_SUPPORTED);

  NCRYPT_KEY_HANDLE key = 0;
  EXPECT_EQ(NCryptOpenKey(provider, &key, L"other-key", 0, 0), NTE_BAD_KEYSET);
  ASSERT_EQ(NCryptOpenKey(provider, &key, L"fake-key", 0, 0), ERROR_SUCCESS);
  EXPECT_TRUE(NCryptIsKeyHandle(key));
  EXPECT_FALSE(NCryptIsKeyHandle(provider));
  ASSERT_EQ(NCryptGetProperty(key, NCRYPT_NAME_PROPERTY, reinterpret_cast<PBYTE>(name),
                              sizeof(name), &size, 0),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, L"fake-key") << "a key handle reaches the key's property slot";

  BYTE hash[4] = {1, 2, 3, 4};
  BYTE signature[8] = {};
  DWORD length = 0;
  ASSERT_EQ(NCryptSignHash(key, nullptr, hash, 4, signature, sizeof(signature), &length, 0),
            ERROR_SUCCESS);
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(signature[0], 4);
  EXPECT_EQ(signature[3], 1);
  EXPECT_EQ(ProviderHandlesOpen(), 2);

  EXPECT_EQ(NCryptSignHash(provider, nullptr, hash, 4, signature, 8, &length, 0),
            NTE_INVALID_HANDLE)
      << "a provider handle is no key";
  EXPECT_EQ(NCryptOpenKey(key, &key, L"fake-key", 0, 0), NTE_INVALID_HANDLE);

  EXPECT_EQ(NCryptFreeObject(key), ERROR_SUCCESS);
  EXPECT_EQ(NCryptFreeObject(key), NTE_INVALID_HANDLE);
  EXPECT_EQ(NCryptFreeObject(provider), ERROR_SUCCESS);
  EXPECT_EQ(ProviderHandlesOpen(), 0);
  EXPECT_EQ(NCryptFreeObject(provider), NTE_INVALID_HANDLE);
  EXPECT_EQ(NCryptFreeObject(0), NTE_INVALID_HANDLE);
}

TEST_F(CngRouterTest, KeysOutliveTheirProviderHandleAndBuffersGoBackToTheProvider) {
  ASSERT_TRUE(image_.placed());
  RegisterTestProvider(Wide(SystemFolder() + kTestImage), L"KEY_STORAGE");
  LoadFakeHere();
  NCRYPT_PROV_HANDLE provider = 0;
  ASSERT_EQ(NCryptOpenStorageProvider(&provider, kTestProvider, 0), ERROR_SUCCESS)
      << "a full image path is used as it stands";

  NCryptKeyName* keyName = nullptr;
  void* state = nullptr;
  ASSERT_EQ(NCryptEnumKeys(provider, nullptr, &keyName, &state, 0), ERROR_SUCCESS);
  EXPECT_STREQ(keyName->pszName, L"fake-key");
  EXPECT_STREQ(keyName->pszAlgid, L"RSA");
  NCryptKeyName* next = nullptr;
  EXPECT_EQ(NCryptEnumKeys(provider, nullptr, &next, &state, 0), NTE_NO_MORE_ITEMS);
  EXPECT_EQ(NCryptFreeBuffer(keyName), ERROR_SUCCESS);
  EXPECT_EQ(NCryptFreeBuffer(state), ERROR_SUCCESS);
  EXPECT_EQ(NCryptFreeBuffer(state), NTE_INVALID_PARAMETER) << "already returned";
  EXPECT_EQ(NCryptFreeBuffer(nullptr), ERROR_SUCCESS);

  NCRYPT_KEY_HANDLE key = 0;
  ASSERT_EQ(NCryptOpenKey(provider, &key, L"fake-key", 0, 0), ERROR_SUCCESS);
  ASSERT_EQ(NCryptFreeObject(provider), ERROR_SUCCESS);
  BYTE hash[2] = {7, 9};
  BYTE signature[2] = {};
  DWORD length = 0;
  EXPECT_EQ(NCryptSignHash(key, nullptr, hash, 2, signature, 2, &length, 0), ERROR_SUCCESS);
  EXPECT_EQ(ProviderHandlesOpen(), 2) << "the provider stays open for its key";
  EXPECT_EQ(NCryptFreeObject(key), ERROR_SUCCESS);
  EXPECT_EQ(ProviderHandlesOpen(), 0);
}

// The application's own registry registration is one CNG resolves too.
TEST_F(CngRouterTest, ApplicationRegistrationOpensTheProviderUntilUnregistered) {
  SystemFilePlacement providerImage(ProgramDirectory() + "fake_key_storage_provider.dll",
                                    "murako_ksp.dll");
  ASSERT_TRUE(providerImage.placed());
  ASSERT_TRUE(RegisterMurakoKsp());
  NCRYPT_PROV_HANDLE provider = 0;
  ASSERT_EQ(NCryptOpenStorageProvider(&provider, L"Murako KSP", 0), ERROR_SUCCESS);
  EXPECT_EQ(NCryptFreeObject(provider), ERROR_SUCCESS);
  ASSERT_TRUE(UnregisterMurakoKsp());
  EXPECT_EQ(NCryptOpenStorageProvider(&provider, L"Murako KSP", 0), NTE_BAD_PROVIDER);
}

}  // namespace
