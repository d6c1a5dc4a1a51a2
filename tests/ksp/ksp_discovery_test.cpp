// Key discovery against the personal store: opening by thumbprint, container and common name,
// and the enumeration of the provider's keys.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "ksp_fixtures.h"

namespace {

std::wstring KeyName(NCRYPT_KEY_HANDLE key) {
  std::vector<BYTE> value = KeyProperty(key, NCRYPT_NAME_PROPERTY);
  return value.empty() ? std::wstring() : std::wstring(reinterpret_cast<const wchar_t*>(value.data()));
}

TEST(KspDiscovery, ThumbprintOpensInEitherCaseAndKeepsTheNameAsGiven) {
  ScopedProvider provider;
  const std::pair<const char*, DWORD> sizes[] = {
      {"rsa1024", 1024}, {"rsa2048", 2048}, {"rsa3072", 3072}, {"rsa4096", 4096}};
  for (const auto& size : sizes) {
    const std::wstring& thumbprint = Fixtures()[size.first].thumbprint;
    for (const std::wstring& name : {thumbprint, Lowercase(thumbprint)}) {
      DebugLogCapture log;
      ScopedKey key;
      ASSERT_EQ(key.Open(provider.get(), name), ERROR_SUCCESS) << size.first;
      EXPECT_EQ(KeyDwordProperty(key.get(), NCRYPT_LENGTH_PROPERTY), size.second);
      EXPECT_EQ(KeyName(key.get()), name);
      EXPECT_TRUE(log.HasLine("    Search mode: THUMBPRINT"));
      EXPECT_TRUE(log.HasLine("    Found by THUMBPRINT"));
      EXPECT_TRUE(log.HasLine("<<< MurakoOpenKey: SUCCESS keyLength=" +
                              std::to_string(size.second) + " bits"));
    }
  }
}

TEST(KspDiscovery, ThumbprintModeIgnoresTheFriendlyNameButNameModeDoesNot) {
  ScopedProvider provider;
  ScopedKey key;
  EXPECT_EQ(key.Open(provider.get(), Fixtures()["not_murako"].thumbprint), ERROR_SUCCESS);
  DebugLogCapture log;
  ScopedKey by_name;
  EXPECT_EQ(by_name.Open(provider.get(), kForeignCommonName), NTE_BAD_KEYSET);
  EXPECT_TRUE(log.HasLine("<<< MurakoOpenKey: NTE_BAD_KEYSET (key not found)"));
}

TEST(KspDiscovery, ContainerNameMatchesIgnoringCaseCommonNameOnlyExactly) {
  ScopedProvider provider;
  {
    DebugLogCapture log;
    ScopedKey key;
    ASSERT_EQ(key.Open(provider.get(), Lowercase(kContainerName)), ERROR_SUCCESS);
    EXPECT_EQ(KeyName(key.get()), Lowercase(kContainerName));
    EXPECT_TRUE(log.HasLine("    Search mode: CN or KEY_CONTAINER"));
    EXPECT_TRUE(log.HasLine("    Found by KEY_CONTAINER: 'Murako-Test-Container-01'"));
  }
  {
    DebugLogCapture log;
    ScopedKey key;
    ASSERT_EQ(key.Open(provider.get(), kAccentedCommonName), ERROR_SUCCESS);
    EXPECT_EQ(KeyName(key.get()), kAccentedCommonName);
    EXPECT_EQ(KeyDwordProperty(key.get(), NCRYPT_LENGTH_PROPERTY), 2048u);
    EXPECT_TRUE(log.HasLine("    Found by CN: '" + WideToUtf8(kAccentedCommonName) + "'"));
    EXPECT_TRUE(log.HasLine(">>> MurakoOpenKey: keyName='" + WideToUtf8(kAccentedCommonName) + "'"));
  }
  ScopedKey lower;
  EXPECT_EQ(lower.Open(provider.get(), Lowercase(L"Murako Test RSA 3072")), NTE_BAD_KEYSET);
  ScopedKey exact;
  EXPECT_EQ(exact.Open(provider.get(), L"Murako Test RSA 3072"), ERROR_SUCCESS);
  EXPECT_EQ(KeyDwordProperty(exact.get(), NCRYPT_LENGTH_PROPERTY), 3072u);
}

TEST(KspDiscovery, NearThumbprintIsSearchedAsANameAndFindsNothing) {
  ScopedProvider provider;
  std::wstring almost = Fixtures()["rsa2048"].thumbprint;
  almost[17] = L'G';
  DebugLogCapture log;
  ScopedKey key;
  EXPECT_EQ(key.Open(provider.get(), almost), NTE_BAD_KEYSET);
  EXPECT_TRUE(log.HasLine("    Search mode: CN or KEY_CONTAINER"));
  ScopedKey shorter;
  EXPECT_EQ(shorter.Open(provider.get(), almost.substr(0, 39)), NTE_BAD_KEYSET);
}

TEST(KspDiscovery, TwinCommonNamesOpenTheFirstInStoreOrder) {
  std::vector<std::wstring> twins = ThumbprintsWithCommonName(kTwinCommonName);
  ASSERT_EQ(twins.size(), 2u);
  DWORD expected_bits = twins[0] == Fixtures()["twin_small"].thumbprint ? 1024 : 2048;
  ScopedProvider provider;
  ScopedKey key;
  ASSERT_EQ(key.Open(provider.get(), kTwinCommonName), ERROR_SUCCESS);
  EXPECT_EQ(KeyDwordProperty(key.get(), NCRYPT_LENGTH_PROPERTY), expected_bits);
}

TEST(KspDiscovery, KeyNamesOfAnyLengthAndMissingArguments) {
  ScopedProvider provider;
  DebugLogCapture log;
  std::wstring huge(100000, L'x');
  ScopedKey key;
  EXPECT_EQ(key.Open(provider.get(), huge), NTE_BAD_KEYSET);
  for (const std::string& message : log.Messages()) EXPECT_LT(message.size(), 1024u);
  EXPECT_TRUE(log.HasLine(">>> MurakoOpenKey: keyName='" + std::string(511, 'x') + "'"));
  EXPECT_EQ(key.Open(provider.get(), L""), NTE_BAD_KEYSET);

  NCRYPT_KEY_HANDLE handle = 0;
  EXPECT_EQ(Ksp().OpenKey(provider.get(), nullptr, Fixtures()["rsa2048"].thumbprint.c_str(), 0, 0),
            NTE_INVALID_PARAMETER);
  EXPECT_EQ(Ksp().OpenKey(provider.get(), &handle, nullptr, 0, 0), NTE_INVALID_PARAMETER);
  EXPECT_TRUE(log.HasLine("<<< MurakoOpenKey: NTE_INVALID_PARAMETER"));
  EXPECT_EQ(handle, 0u);
}

TEST(KspDiscovery, EnumerationListsExactlyTheMurakoCertificatesByThumbprint) {
  ScopedProvider provider;
  DebugLogCapture log;
  std::vector<std::wstring> listed = EnumerateKeyNames(provider.get());
  EXPECT_EQ(listed, MurakoThumbprintsInStore());
  for (const char* name : {"rsa1024", "rsa2048", "rsa3072", "rsa4096", "dni_accents",
                           "twin_small", "twin_large", "container"}) {
    EXPECT_NE(std::find(listed.begin(), listed.end(), Fixtures()[name].thumbprint), listed.end())
        << name;
  }
  EXPECT_EQ(std::find(listed.begin(), listed.end(), Fixtures()["not_murako"].thumbprint),
            listed.end());
  EXPECT_TRUE(log.HasLine("  Found Murako certificate: CN='" + WideToUtf8(kAccentedCommonName) +
                          "', Thumbprint='" + WideToUtf8(Fixtures()["dni_accents"].thumbprint) + "'"));
  EXPECT_TRUE(log.HasLine("<<< MurakoEnumKeys: SUCCESS keyName='" +
                          WideToUtf8(Fixtures()["rsa4096"].thumbprint) + "' (thumbprint)"));
  // The end of the enumeration and the release of its state write no exit line.
  EXPECT_FALSE(log.Contains("<<< MurakoEnumKeys: NTE_"));
  EXPECT_FALSE(log.Contains("MurakoFreeBuffer"));
}

TEST(KspDiscovery, EnumerationRecordLayoutAndItsEnd) {
  ScopedProvider provider;
  PVOID state = nullptr;
  NCryptKeyName* name = nullptr;
  ASSERT_EQ(Ksp().EnumKeys(provider.get(), nullptr, &name, &state, 0), ERROR_SUCCESS);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(std::wstring(name->pszAlgid), L"RSA");
  EXPECT_EQ(name->dwLegacyKeySpec, 0u);
  EXPECT_EQ(name->dwFlags, 0u);
  const BYTE* block = reinterpret_cast<const BYTE*>(name);
  EXPECT_EQ(reinterpret_cast<const BYTE*>(name->pszName), block + sizeof(NCryptKeyName));
  EXPECT_EQ(reinterpret_cast<const BYTE*>(name->pszAlgid), block + sizeof(NCryptKeyName) + 82);
  Ksp().FreeBuffer(name);
  DWORD words[2];
  memcpy(words, state, sizeof(words));
  EXPECT_EQ(words[0], 1u);
  EXPECT_EQ(words[1], 0x454E554Du);

  SECURITY_STATUS status;
  while ((status = Ksp().EnumKeys(provider.get(), nullptr, &name, &state, 0)) == ERROR_SUCCESS) {
    Ksp().FreeBuffer(name);
  }
  EXPECT_EQ(status, NTE_NO_MORE_ITEMS);
  // The finished state keeps answering "no more" rather than starting over.
  name = nullptr;
  EXPECT_EQ(Ksp().EnumKeys(provider.get(), nullptr, &name, &state, 0), NTE_NO_MORE_ITEMS);
  EXPECT_EQ(Ksp().EnumKeys(provider.get(), nullptr, &name, &state, 0), NTE_NO_MORE_ITEMS);
  EXPECT_EQ(name, nullptr);
  EXPECT_EQ(Ksp().FreeBuffer(state), ERROR_SUCCESS);

  DWORD foreign[8] = {1, 2, 3, 4};
  PVOID foreign_state = foreign;
  EXPECT_EQ(Ksp().EnumKeys(provider.get(), nullptr, &name, &foreign_state, 0),
            NTE_INVALID_PARAMETER);
  EXPECT_EQ(Ksp().EnumKeys(provider.get(), nullptr, nullptr, &state, 0), NTE_INVALID_PARAMETER);
  PVOID fresh = nullptr;
  EXPECT_EQ(Ksp().EnumKeys(provider.get(), nullptr, &name, nullptr, 0), NTE_INVALID_PARAMETER);
  EXPECT_EQ(fresh, nullptr);
}

}  // namespace
