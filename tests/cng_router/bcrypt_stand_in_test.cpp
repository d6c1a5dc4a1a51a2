// The stand-in bcrypt.dll's provider registration, reached the way the configuration tool
// reaches it: by name from bcrypt.dll at run time. The program sits next to the stand-in.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bcrypt_functions.h"
#include "cng_registry_layout.h"

namespace {

using namespace cng_registry;

const wchar_t kProvider[] = L"Sendaro Stand-in Test Provider";
const wchar_t kContext[] = L"SendaroStandInTest";
constexpr NTSTATUS kInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
constexpr NTSTATUS kBufferTooSmall = static_cast<NTSTATUS>(0xC0000023);
constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035);
constexpr NTSTATUS kNotSupported = static_cast<NTSTATUS>(0xC00000BB);
constexpr NTSTATUS kNotFound = static_cast<NTSTATUS>(0xC0000225);

std::wstring ProviderPath() { return std::wstring(kProvidersPath) + L"\\" + kProvider; }
std::wstring FunctionPath(const wchar_t* function) {
  return std::wstring(kLocalConfigurationPath) + L"\\" + kContext + L"\\00010001\\" + function;
}

class BCryptStandInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD error = 0;
    ASSERT_EQ(functions_.Load(error), BCryptFunctions::LoadResult::Loaded);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(GetModuleHandleW(L"bcrypt.dll"), path, MAX_PATH);
    ASSERT_NE(std::wstring(path).find(L"cng_router_stand_in\\bcrypt.dll"), std::wstring::npos)
        << "the stand-in, not Wine's bcrypt";
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, ProviderPath().c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                   (std::wstring(kLocalConfigurationPath) + L"\\" + kContext).c_str());
  }

  NTSTATUS Register(ULONG flags) {
    wchar_t alias[] = L"Sendaro Alias";
    PWSTR aliases[] = {alias};
    wchar_t keyStorage[] = L"KEY_STORAGE";
    wchar_t other[] = L"OTHER";
    PWSTR functions[] = {keyStorage, other};
    CRYPT_INTERFACE_REG interfaceReg{0x00010001, CRYPT_LOCAL, 2, functions};
    PCRYPT_INTERFACE_REG interfaces[] = {&interfaceReg};
    wchar_t image[] = L"sendaro_test_image.dll";
    CRYPT_IMAGE_REG userMode{image, 1, interfaces};
    CRYPT_PROVIDER_REG registration{1, aliases, &userMode, nullptr};
    return functions_.RegisterProvider(kProvider, flags, &registration);
  }

  BCryptFunctions functions_;
};

TEST_F(BCryptStandInTest, RegistrationWritesTheWindowsLayoutOnceUnlessOverwritten) {
  EXPECT_EQ(functions_.RegisterProvider(nullptr, 0, nullptr), kInvalidParameter);
  ASSERT_EQ(Register(0), 0);
  std::wstring image;
  EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, ProviderPath() + L"\\UM", L"Image", image));
  EXPECT_EQ(image, L"sendaro_test_image.dll");
  std::vector<std::wstring> functions, aliases;
  EXPECT_TRUE(ReadMultiString(HKEY_LOCAL_MACHINE, ProviderPath() + L"\\UM\\00010001",
                              L"Functions", functions));
  EXPECT_EQ(functions, (std::vector<std::wstring>{L"KEY_STORAGE", L"OTHER"}));
  EXPECT_TRUE(ReadMultiString(HKEY_LOCAL_MACHINE, ProviderPath(), L"Aliases", aliases));
  EXPECT_EQ(aliases, std::vector<std::wstring>{L"Sendaro Alias"});

  EXPECT_EQ(Register(0), kNameCollision);
  EXPECT_EQ(Register(CRYPT_OVERWRITE), 0);

  ULONG size = 0;
  PCRYPT_PROVIDERS providers = nullptr;
  ASSERT_EQ(functions_.EnumRegisteredProviders(&size, &providers), 0);
  bool listed = false;
  for (ULONG i = 0; i < providers->cProviders; ++i) {
    listed = listed || std::wstring(providers->rgpszProviders[i]) == kProvider;
  }
  EXPECT_TRUE(listed);
  functions_.FreeBuffer(providers);

  BYTE small[8];
  PCRYPT_PROVIDERS callerBuffer = reinterpret_cast<PCRYPT_PROVIDERS>(small);
  ULONG smallSize = sizeof(small);
  EXPECT_EQ(functions_.EnumRegisteredProviders(&smallSize, &callerBuffer), kBufferTooSmall);
  EXPECT_EQ(smallSize, size);

  EXPECT_EQ(functions_.UnregisterProvider(kProvider), 0);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ProviderPath()));
  EXPECT_EQ(functions_.UnregisterProvider(kProvider), kNotFound);
}

TEST_F(BCryptStandInTest, ContextFunctionsHoldOrderedProviderLists) {
  EXPECT_EQ(functions_.AddContextFunction(CRYPT_DOMAIN, kContext, 0x00010001, L"KEY_STORAGE",
                                          CRYPT_PRIORITY_BOTTOM),
            kNotSupported);
  EXPECT_EQ(functions_.AddContextFunction(7, kContext, 0x00010001, L"KEY_STORAGE",
                                          CRYPT_PRIORITY_BOTTOM),
            kInvalidParameter);
  EXPECT_EQ(functions_.AddContextFunctionProvider(CRYPT_LOCAL, kContext, 0x00010001,
                                                  L"KEY_STORAGE", L"First", CRYPT_PRIORITY_BOTTOM),
            kNotFound)
      << "the function must be in the context first";

  ASSERT_EQ(functions_.AddContextFunction(CRYPT_LOCAL, kContext, 0x00010001, L"KEY_STORAGE",
                                          CRYPT_PRIORITY_BOTTOM),
            0);
  EXPECT_EQ(functions_.AddContextFunction(CRYPT_LOCAL, kContext, 0x00010001, L"KEY_STORAGE",
                                          CRYPT_PRIORITY_BOTTOM),
            kNameCollision);
  ASSERT_EQ(functions_.AddContextFunctionProvider(CRYPT_LOCAL, kContext, 0x00010001,
                                                  L"KEY_STORAGE", L"First", CRYPT_PRIORITY_BOTTOM),
            0);
  ASSERT_EQ(functions_.AddContextFunctionProvider(CRYPT_LOCAL, kContext, 0x00010001,
                                                  L"KEY_STORAGE", L"Top", CRYPT_PRIORITY_TOP),
            0);
  EXPECT_EQ(functions_.AddContextFunctionProvider(CRYPT_LOCAL, kContext, 0x00010001,
                                                  L"KEY_STORAGE", L"first", CRYPT_PRIORITY_BOTTOM),
            kNameCollision);
  std::vector<std::wstring> providers;
  ASSERT_TRUE(ReadMultiString(HKEY_LOCAL_MACHINE, FunctionPath(L"KEY_STORAGE"), L"Providers",
                              providers));
  EXPECT_EQ(providers, (std::vector<std::wstring>{L"Top", L"First"}));

  EXPECT_EQ(functions_.RemoveContextFunctionProvider(CRYPT_LOCAL, kContext, 0x00010001,
                                                     L"KEY_STORAGE", L"First"),
            0);
  EXPECT_EQ(functions_.RemoveContextFunctionProvider(CRYPT_LOCAL, kContext, 0x00010001,
                                                     L"KEY_STORAGE", L"First"),
            kNotFound);
  EXPECT_EQ(functions_.RemoveContextFunction(CRYPT_LOCAL, kContext, 0x00010001, L"KEY_STORAGE"),
            0);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, FunctionPath(L"KEY_STORAGE")));
  EXPECT_EQ(functions_.RemoveContextFunction(CRYPT_LOCAL, kContext, 0x00010001, L"KEY_STORAGE"),
            kNotFound);
}

}  // namespace
