// The provider frame: the table CNG receives, provider handles, handle confusion, buffers.

#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <cstring>
#include <string>

#include "ksp_fixtures.h"

namespace {

TEST(KspFrame, EntryHandsOutVersionOneTableWithEverySlotAndNullLaterAdditions) {
  DebugLogCapture log;
  auto entry = reinterpret_cast<GetKeyStorageInterfaceFn>(
      GetProcAddress(KspModule(), "GetKeyStorageInterface"));
  ASSERT_NE(entry, nullptr);
  NCRYPT_KEY_STORAGE_FUNCTION_TABLE* table = nullptr;
  ASSERT_EQ(entry(nullptr, &table, 0), ERROR_SUCCESS);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->Version.MajorVersion, 1);
  EXPECT_EQ(table->Version.MinorVersion, 0);
  const void* const* slots = reinterpret_cast<const void* const*>(&table->OpenProvider);
  for (int i = 0; i < 26; ++i) EXPECT_NE(slots[i], nullptr) << "slot " << i;
  EXPECT_EQ(table->KeyDerivation, nullptr);
  EXPECT_EQ(table->CreateClaim, nullptr);
  EXPECT_EQ(table->VerifyClaim, nullptr);
  EXPECT_TRUE(log.HasLine(">>> GetKeyStorageInterface called (Provider: NULL)"));
  EXPECT_TRUE(log.HasLine("    GetKeyStorageInterface returning SUCCESS"));

  NCRYPT_KEY_STORAGE_FUNCTION_TABLE* other = nullptr;
  EXPECT_EQ(entry(L"Any Other Name", &other, 0), ERROR_SUCCESS);
  EXPECT_EQ(other, table);
  EXPECT_EQ(entry(L"Murako KSP", nullptr, 0), NTE_INVALID_PARAMETER);
}

TEST(KspFrame, ProviderRecordCarriesSizeMagicAndItsOwnCopyOfTheName) {
  DebugLogCapture log;
  std::wstring name = L"Murako KSP";
  NCRYPT_PROV_HANDLE handle = 0;
  ASSERT_EQ(Ksp().OpenProvider(&handle, name.c_str(), 0), ERROR_SUCCESS);
  const BYTE* record = reinterpret_cast<const BYTE*>(handle);
  DWORD size;
  memcpy(&size, record, 4);
  EXPECT_EQ(memcmp(record + 4, "PKRM", 4), 0);
  const wchar_t* stored;
  memcpy(&stored, record + 8, sizeof(stored));
  EXPECT_NE(stored, name.c_str());
  EXPECT_EQ(std::wstring(stored), name);
  EXPECT_EQ(reinterpret_cast<const BYTE*>(stored) + (name.size() + 1) * 2, record + size);
  EXPECT_EQ(Ksp().FreeProvider(handle), ERROR_SUCCESS);
  EXPECT_TRUE(log.HasLine(">>> MurakoOpenProvider"));
  EXPECT_TRUE(log.HasLine("<<< MurakoOpenProvider: status=0x0"));
  EXPECT_TRUE(log.HasLine("<<< MurakoFreeProvider: SUCCESS"));
}

TEST(KspFrame, OpenProviderRefusesMissingArgumentsAndOverlongNames) {
  DebugLogCapture log;
  NCRYPT_PROV_HANDLE handle = 0;
  EXPECT_EQ(Ksp().OpenProvider(&handle, nullptr, 0), NTE_INVALID_PARAMETER);
  EXPECT_TRUE(log.HasLine("<<< MurakoOpenProvider: status=0x80090027"));
  EXPECT_EQ(Ksp().OpenProvider(nullptr, L"Murako KSP", 0), NTE_INVALID_PARAMETER);

  std::wstring longest(32766, L'n');
  ASSERT_EQ(Ksp().OpenProvider(&handle, longest.c_str(), 0), ERROR_SUCCESS);
  EXPECT_EQ(Ksp().FreeProvider(handle), ERROR_SUCCESS);
  std::wstring too_long(32767, L'n');
  handle = 0;
  EXPECT_EQ(Ksp().OpenProvider(&handle, too_long.c_str(), 0), NTE_INVALID_PARAMETER);
  EXPECT_EQ(handle, 0u);
}

TEST(KspFrame, NullForeignWrongKindAndFreedHandlesAreRefusedEverywhere) {
  ScopedProvider provider;
  ScopedKey key;
  ASSERT_EQ(key.Open(provider.get(), Fixtures()["rsa2048"].thumbprint), ERROR_SUCCESS);
  // A readable block that is not a provider record: magic and everything else wrong.
  BYTE foreign[64] = {};
  memset(foreign, 0x5A, sizeof(foreign));
  const ULONG_PTR foreign_handle = reinterpret_cast<ULONG_PTR>(foreign);
  const NCRYPT_KEY_HANDLE key_as_provider = key.get();
  const NCRYPT_PROV_HANDLE provider_as_key = provider.get();

  {
    DebugLogCapture log;
    EXPECT_EQ(Ksp().FreeProvider(0), NTE_INVALID_HANDLE);
    EXPECT_TRUE(log.HasLine("<<< MurakoFreeProvider: NTE_INVALID_HANDLE (NULL)"));
    EXPECT_EQ(Ksp().FreeProvider(key_as_provider), NTE_INVALID_HANDLE);
    EXPECT_TRUE(log.HasLine("<<< MurakoFreeProvider: NTE_INVALID_HANDLE (bad magic)"));
    EXPECT_EQ(Ksp().FreeKey(provider.get(), 0), NTE_INVALID_HANDLE);
    EXPECT_TRUE(log.HasLine("<<< MurakoFreeKey: NTE_INVALID_HANDLE (NULL)"));
    EXPECT_EQ(Ksp().FreeKey(provider.get(), provider_as_key), NTE_INVALID_HANDLE);
    EXPECT_TRUE(log.HasLine("<<< MurakoFreeKey: NTE_INVALID_HANDLE (bad magic)"));
  }

  for (ULONG_PTR bad : {ULONG_PTR(0), foreign_handle, ULONG_PTR(provider_as_key)}) {
    DWORD size = 0;
    BYTE out[512];
    BYTE hash[32] = {};
    EXPECT_EQ(Ksp().GetKeyProperty(provider.get(), bad, NCRYPT_LENGTH_PROPERTY, out, 4, &size, 0),
              NTE_INVALID_HANDLE);
    EXPECT_EQ(Ksp().ExportKey(provider.get(), bad, 0, BCRYPT_RSAPUBLIC_BLOB, nullptr, out,
                              sizeof(out), &size, 0),
              NTE_INVALID_HANDLE);
    EXPECT_EQ(Ksp().SignHash(provider.get(), bad, nullptr, hash, 32, out, sizeof(out), &size, 0),
              NTE_INVALID_HANDLE);
  }
  for (ULONG_PTR bad : {ULONG_PTR(0), foreign_handle, ULONG_PTR(key_as_provider)}) {
    NCRYPT_KEY_HANDLE opened = 0;
    NCryptKeyName* name = nullptr;
    PVOID state = nullptr;
    EXPECT_EQ(Ksp().OpenKey(bad, &opened, Fixtures()["rsa2048"].thumbprint.c_str(), 0, 0),
              NTE_INVALID_HANDLE);
    EXPECT_EQ(opened, 0u);
    EXPECT_EQ(Ksp().EnumKeys(bad, nullptr, &name, &state, 0), NTE_INVALID_HANDLE);
    EXPECT_EQ(state, nullptr);
  }

  // A freed key record is wiped before it goes back to the heap.
  NCRYPT_KEY_HANDLE freed = 0;
  ASSERT_EQ(Ksp().OpenKey(provider.get(), &freed, Fixtures()["rsa1024"].thumbprint.c_str(), 0, 0),
            ERROR_SUCCESS);
  ASSERT_EQ(Ksp().FreeKey(provider.get(), freed), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(Ksp().GetKeyProperty(provider.get(), freed, NCRYPT_LENGTH_PROPERTY, nullptr, 0, &size,
                                 0),
            NTE_INVALID_HANDLE);
  EXPECT_EQ(Ksp().FreeKey(provider.get(), freed), NTE_INVALID_HANDLE);
}

TEST(KspFrame, FreeBufferAcceptsNullAndReleasesAbandonedEnumerations) {
  EXPECT_EQ(Ksp().FreeBuffer(nullptr), ERROR_SUCCESS);
  ScopedProvider provider;
  // An enumeration abandoned after its first key holds the store and the certificate it reached;
  // freeing the state must release both, so repeating it does not grow the process.
  auto abandon_one = [&] {
    PVOID state = nullptr;
    NCryptKeyName* name = nullptr;
    ASSERT_EQ(Ksp().EnumKeys(provider.get(), nullptr, &name, &state, 0), ERROR_SUCCESS);
    EXPECT_EQ(Ksp().FreeBuffer(name), ERROR_SUCCESS);
    EXPECT_EQ(Ksp().FreeBuffer(state), ERROR_SUCCESS);
  };
  for (int i = 0; i < 20; ++i) abandon_one();
  PROCESS_MEMORY_COUNTERS_EX before{};
  K32GetProcessMemoryInfo(GetCurrentProcess(),
                          reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&before), sizeof(before));
  for (int i = 0; i < 200; ++i) abandon_one();
  PROCESS_MEMORY_COUNTERS_EX after{};
  K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&after),
                          sizeof(after));
  // PagefileUsage is the commit charge, the process's private bytes (Wine leaves PrivateUsage 0).
  EXPECT_LT(after.PagefileUsage, before.PagefileUsage + 512 * 1024)
      << "before " << before.PagefileUsage << ", after " << after.PagefileUsage;
}

// A machine without one of the provider's system libraries: each call that needs it, the first
// and the later ones, answers an error status; nothing is raised through the host.
TEST(KspFrame, AMissingSystemLibraryFailsTheCallNotTheHost) {
  HMODULE module = LoadLibraryA(
      (ProgramDirectory() + "provider_without_crypt32\\murako_ksp.dll").c_str());
  ASSERT_NE(module, nullptr);
  auto entry = reinterpret_cast<GetKeyStorageInterfaceFn>(
      GetProcAddress(module, "GetKeyStorageInterface"));
  NCRYPT_KEY_STORAGE_FUNCTION_TABLE* table = nullptr;
  ASSERT_EQ(entry(L"Murako KSP", &table, 0), ERROR_SUCCESS);
  NCRYPT_PROV_HANDLE provider = 0;
  ASSERT_EQ(table->OpenProvider(&provider, L"Murako KSP", 0), ERROR_SUCCESS);
  DebugLogCapture log;
  NCRYPT_KEY_HANDLE key = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(table->OpenKey(provider, &key, Fixtures()["rsa2048"].thumbprint.c_str(), 0, 0),
              NTE_INTERNAL_ERROR);
  }
  EXPECT_EQ(key, 0u);
  EXPECT_TRUE(log.HasLine("<<< MurakoOpenKey: NTE_INTERNAL_ERROR (system library unavailable)"));
  EXPECT_EQ(table->FreeProvider(provider), ERROR_SUCCESS);
}

}  // namespace
