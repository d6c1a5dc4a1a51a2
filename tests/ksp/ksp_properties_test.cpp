// Provider and key properties, algorithms, public key export and the refused operations.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "cert_store.h"
#include "ksp_fixtures.h"

namespace {

std::wstring Text(const std::vector<BYTE>& value) {
  return value.empty() ? std::wstring() : std::wstring(reinterpret_cast<const wchar_t*>(value.data()));
}

TEST(KspProperties, ProviderNameFollowsTheSizeQueryConvention) {
  ScopedProvider provider;
  DebugLogCapture log;
  DWORD size = 0;
  EXPECT_EQ(Ksp().GetProviderProperty(provider.get(), NCRYPT_NAME_PROPERTY, nullptr, 0, &size, 0),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 22u);
  EXPECT_TRUE(log.HasLine("<<< MurakoGetProviderProperty: SUCCESS (query size, NAME=22 bytes)"));
  BYTE buffer[64];
  size = 0;
  EXPECT_EQ(Ksp().GetProviderProperty(provider.get(), NCRYPT_NAME_PROPERTY, buffer, 21, &size, 0),
            NTE_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 22u);
  EXPECT_EQ(Ksp().GetProviderProperty(provider.get(), NCRYPT_NAME_PROPERTY, buffer, 22, &size, 0),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(buffer)), L"Murako KSP");
  EXPECT_TRUE(log.HasLine("<<< MurakoGetProviderProperty: SUCCESS (returned NAME='Murako KSP')"));

  DWORD value = 0;
  EXPECT_EQ(Ksp().GetProviderProperty(provider.get(), NCRYPT_IMPL_TYPE_PROPERTY,
                                      reinterpret_cast<PBYTE>(&value), 4, &size, 0),
            ERROR_SUCCESS);
  EXPECT_EQ(value, static_cast<DWORD>(NCRYPT_IMPL_HARDWARE_FLAG));
  EXPECT_EQ(Ksp().GetProviderProperty(0, NCRYPT_VERSION_PROPERTY, reinterpret_cast<PBYTE>(&value),
                                      4, &size, 0),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 0x00010000u);
  EXPECT_TRUE(log.HasLine("<<< MurakoGetProviderProperty: SUCCESS (VERSION=0x00010000)"));
  EXPECT_EQ(Ksp().GetProviderProperty(provider.get(), L"name", buffer, 64, &size, 0),
            NTE_NOT_SUPPORTED);
  EXPECT_TRUE(log.HasLine("<<< MurakoGetProviderProperty: NTE_NOT_SUPPORTED (property='name')"));
  EXPECT_EQ(Ksp().GetProviderProperty(provider.get(), NCRYPT_NAME_PROPERTY, buffer, 64, nullptr, 0),
            NTE_INVALID_PARAMETER);
  EXPECT_EQ(Ksp().GetProviderProperty(provider.get(), nullptr, buffer, 64, &size, 0),
            NTE_INVALID_PARAMETER);
}

TEST(KspProperties, KeyPropertiesDescribeANonExportableRsaSigningKey) {
  ScopedProvider provider;
  ScopedKey key;
  const std::wstring name = Lowercase(Fixtures()["rsa2048"].thumbprint);
  ASSERT_EQ(key.Open(provider.get(), name), ERROR_SUCCESS);
  EXPECT_EQ(KeyDwordProperty(key.get(), NCRYPT_LENGTH_PROPERTY), 2048u);
  EXPECT_EQ(KeyDwordProperty(key.get(), NCRYPT_BLOCK_LENGTH_PROPERTY), 256u);
  EXPECT_EQ(KeyDwordProperty(key.get(), NCRYPT_EXPORT_POLICY_PROPERTY), 0u);
  EXPECT_EQ(KeyDwordProperty(key.get(), NCRYPT_KEY_USAGE_PROPERTY),
            static_cast<DWORD>(NCRYPT_ALLOW_SIGNING_FLAG));
  EXPECT_EQ(KeyDwordProperty(key.get(), NCRYPT_KEY_TYPE_PROPERTY), 0u);
  EXPECT_EQ(Text(KeyProperty(key.get(), NCRYPT_ALGORITHM_PROPERTY)), L"RSA");
  EXPECT_EQ(Text(KeyProperty(key.get(), NCRYPT_ALGORITHM_GROUP_PROPERTY)), L"RSA");
  EXPECT_EQ(KeyProperty(key.get(), NCRYPT_ALGORITHM_PROPERTY).size(), 8u);
  EXPECT_EQ(Text(KeyProperty(key.get(), NCRYPT_NAME_PROPERTY)), name);
  EXPECT_EQ(Text(KeyProperty(key.get(), NCRYPT_UNIQUE_NAME_PROPERTY)), name);
  EXPECT_EQ(KeyProperty(key.get(), NCRYPT_UNIQUE_NAME_PROPERTY).size(), 82u);

  DebugLogCapture log;
  BYTE buffer[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  DWORD size = 0;
  EXPECT_EQ(Ksp().GetKeyProperty(0, key.get(), NCRYPT_EXPORT_POLICY_PROPERTY, buffer, 3, &size, 0),
            NTE_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 4u);
  EXPECT_TRUE(log.HasLine("<<< MurakoGetKeyProperty: NTE_BUFFER_TOO_SMALL (EXPORT_POLICY)"));
  EXPECT_EQ(Ksp().GetKeyProperty(0, key.get(), NCRYPT_LENGTH_PROPERTY, buffer, 3, &size, 0),
            NTE_BUFFER_TOO_SMALL);
  EXPECT_TRUE(log.HasLine("<<< MurakoGetKeyProperty: NTE_BUFFER_TOO_SMALL"));
  EXPECT_EQ(Ksp().GetKeyProperty(0, key.get(), NCRYPT_NAME_PROPERTY, buffer, 4, &size, 0),
            NTE_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 82u);
  EXPECT_EQ(Ksp().GetKeyProperty(0, key.get(), NCRYPT_LENGTH_PROPERTY, buffer, 4, &size, 0),
            ERROR_SUCCESS);
  EXPECT_TRUE(log.HasLine("<<< MurakoGetKeyProperty: SUCCESS (LENGTH=2048)"));
  EXPECT_EQ(Ksp().GetKeyProperty(0, key.get(), L"PIN Property", buffer, 4, &size, 0),
            NTE_NOT_SUPPORTED);
  EXPECT_TRUE(log.HasLine("<<< MurakoGetKeyProperty: NTE_NOT_SUPPORTED (property='PIN Property')"));
  EXPECT_EQ(Ksp().GetKeyProperty(0, key.get(), L"length", buffer, 4, &size, 0), NTE_NOT_SUPPORTED);
  EXPECT_EQ(Ksp().GetKeyProperty(0, key.get(), NCRYPT_LENGTH_PROPERTY, buffer, 4, nullptr, 0),
            NTE_INVALID_PARAMETER);
  EXPECT_EQ(Ksp().GetKeyProperty(0, key.get(), nullptr, buffer, 4, &size, 0),
            NTE_INVALID_PARAMETER);
}

// Each key property's three lines: the size query, a buffer one byte short, the value.
TEST(KspProperties, KeyPropertyLinesNameTheLabelAndShowTheValue) {
  ScopedProvider provider;
  ScopedKey key;
  const std::string name = "'" + WideToUtf8(Lowercase(Fixtures()["rsa2048"].thumbprint)) + "'";
  ASSERT_EQ(key.Open(provider.get(), Lowercase(Fixtures()["rsa2048"].thumbprint)), ERROR_SUCCESS);
  struct Expected {
    const wchar_t* property;
    const char* query;
    const char* too_small;
    std::string success;
  };
  const Expected rows[] = {
      {NCRYPT_LENGTH_PROPERTY, "query size, LENGTH=4", "", "LENGTH=2048"},
      {NCRYPT_ALGORITHM_PROPERTY, "query size, ALGORITHM", "", "ALGORITHM=RSA"},
      {NCRYPT_ALGORITHM_GROUP_PROPERTY, "query size, ALGORITHM_GROUP", "", "ALGORITHM_GROUP=RSA"},
      {NCRYPT_NAME_PROPERTY, "query size, NCRYPT_NAME_PROPERTY=82 bytes", "NCRYPT_NAME_PROPERTY",
       "NCRYPT_NAME_PROPERTY=" + name},
      {NCRYPT_UNIQUE_NAME_PROPERTY, "query size, NCRYPT_UNIQUE_NAME_PROPERTY=82 bytes",
       "NCRYPT_UNIQUE_NAME_PROPERTY", "NCRYPT_UNIQUE_NAME_PROPERTY=" + name},
      {NCRYPT_EXPORT_POLICY_PROPERTY, "query size, EXPORT_POLICY", "EXPORT_POLICY",
       "EXPORT_POLICY=0 - not exportable"},
      {NCRYPT_KEY_USAGE_PROPERTY, "query size, KEY_USAGE", "KEY_USAGE", "KEY_USAGE=SIGNING"},
      {NCRYPT_KEY_TYPE_PROPERTY, "query size, KEY_TYPE", "KEY_TYPE", "KEY_TYPE=asymmetric"},
      {NCRYPT_BLOCK_LENGTH_PROPERTY, "query size, BLOCK_LENGTH", "BLOCK_LENGTH",
       "BLOCK_LENGTH=256 bytes"},
  };
  for (const Expected& row : rows) {
    DebugLogCapture log;
    const std::vector<BYTE> value = KeyProperty(key.get(), row.property);
    std::vector<BYTE> buffer(value.size());
    DWORD size = 0;
    EXPECT_EQ(Ksp().GetKeyProperty(0, key.get(), row.property, nullptr, 0, &size, 0),
              ERROR_SUCCESS);
    EXPECT_EQ(Ksp().GetKeyProperty(0, key.get(), row.property, buffer.data(),
                                   static_cast<DWORD>(buffer.size() - 1), &size, 0),
              NTE_BUFFER_TOO_SMALL);
    const std::vector<std::string> exits = {
        std::string("<<< MurakoGetKeyProperty: SUCCESS (") + row.query + ")",
        std::string("<<< MurakoGetKeyProperty: NTE_BUFFER_TOO_SMALL") +
            (*row.too_small != '\0' ? std::string(" (") + row.too_small + ")" : ""),
        "<<< MurakoGetKeyProperty: SUCCESS (" + row.success + ")"};
    for (const std::string& exit : exits) EXPECT_TRUE(log.HasLine(exit)) << exit;
  }
}

TEST(KspProperties, CertificatePropertyFollowsTheRuleThatOpenedTheKey) {
  ScopedProvider provider;
  const InstalledFixture& fixture = Fixtures()["rsa3072"];
  ScopedKey key;
  ASSERT_EQ(key.Open(provider.get(), fixture.thumbprint), ERROR_SUCCESS);
  DebugLogCapture log;
  DWORD size = 0;
  EXPECT_EQ(Ksp().GetKeyProperty(0, key.get(), NCRYPT_CERTIFICATE_PROPERTY, nullptr, 0, &size, 0),
            ERROR_SUCCESS);
  EXPECT_EQ(size, fixture.der.size());
  std::vector<BYTE> small(size - 1);
  EXPECT_EQ(Ksp().GetKeyProperty(0, key.get(), NCRYPT_CERTIFICATE_PROPERTY, small.data(),
                                 static_cast<DWORD>(small.size()), &size, 0),
            NTE_BUFFER_TOO_SMALL);
  EXPECT_EQ(KeyProperty(key.get(), NCRYPT_CERTIFICATE_PROPERTY), fixture.der);
  EXPECT_TRUE(log.HasLine("    Key name is thumbprint (40 hex chars)"));
  EXPECT_TRUE(log.HasLine("<<< NCRYPT_CERTIFICATE_PROPERTY: SUCCESS (returned " +
                          std::to_string(fixture.der.size()) + " bytes)"));

  ScopedKey accented;
  ASSERT_EQ(accented.Open(provider.get(), kAccentedCommonName), ERROR_SUCCESS);
  EXPECT_EQ(KeyProperty(accented.get(), NCRYPT_CERTIFICATE_PROPERTY), Fixtures()["dni_accents"].der);
  EXPECT_TRUE(log.HasLine(
      "    Key name is CN or KEY_CONTAINER, certificate found when the key was opened"));

  // The certificate is found by the rule that opened the key: by container name too, and for
  // twins the first in store order.
  ScopedKey container;
  ASSERT_EQ(container.Open(provider.get(), Lowercase(kContainerName)), ERROR_SUCCESS);
  EXPECT_EQ(KeyProperty(container.get(), NCRYPT_CERTIFICATE_PROPERTY), Fixtures()["container"].der);
  ScopedKey twin;
  ASSERT_EQ(twin.Open(provider.get(), kTwinCommonName), ERROR_SUCCESS);
  std::vector<std::wstring> twins = ThumbprintsWithCommonName(kTwinCommonName);
  ASSERT_EQ(twins.size(), 2u);
  const char* first = twins[0] == Fixtures()["twin_small"].thumbprint ? "twin_small" : "twin_large";
  EXPECT_EQ(KeyProperty(twin.get(), NCRYPT_CERTIFICATE_PROPERTY), Fixtures()[first].der);
}

TEST(KspProperties, RemovedCertificateFailsCertificateAndExportButNotLengthUntilReinstalled) {
  ScopedProvider provider;
  const InstalledFixture& fixture = Fixtures()["rsa1024"];
  ScopedKey key;
  ASSERT_EQ(key.Open(provider.get(), fixture.thumbprint), ERROR_SUCCESS);
  ScopedKey by_name;
  ASSERT_EQ(by_name.Open(provider.get(), L"Murako Test RSA 1024"), ERROR_SUCCESS);
  ASSERT_TRUE(RemoveCertificate(fixture.der));
  DWORD size = 0;
  for (NCRYPT_KEY_HANDLE opened : {key.get(), by_name.get()}) {
    SECURITY_STATUS status = ERROR_SUCCESS;
    KeyProperty(opened, NCRYPT_CERTIFICATE_PROPERTY, &status);
    EXPECT_EQ(status, NTE_NOT_FOUND);
    EXPECT_EQ(Ksp().ExportKey(0, opened, 0, BCRYPT_RSAPUBLIC_BLOB, nullptr, nullptr, 0, &size, 0),
              NTE_NOT_FOUND);
  }
  EXPECT_EQ(KeyDwordProperty(key.get(), NCRYPT_LENGTH_PROPERTY), 1024u);
  EXPECT_EQ(Text(KeyProperty(key.get(), NCRYPT_NAME_PROPERTY)), fixture.thumbprint);
  // The provider keeps the store open between calls: a change made elsewhere is still seen.
  ScopedKey gone;
  EXPECT_EQ(gone.Open(provider.get(), fixture.thumbprint), NTE_BAD_KEYSET);
  ASSERT_TRUE(Fixtures().Reinstall("rsa1024"));
  ScopedKey back;
  ASSERT_EQ(back.Open(provider.get(), fixture.thumbprint), ERROR_SUCCESS);
  EXPECT_EQ(KeyProperty(back.get(), NCRYPT_CERTIFICATE_PROPERTY), fixture.der);
}

HANDLE g_armed_event = nullptr;
HCERTSTORE g_armed_store = nullptr;
int g_resyncs = 0;
BOOL WINAPI RefusingControl(HCERTSTORE, DWORD, DWORD, const void*) { return FALSE; }
BOOL WINAPI AcceptingControl(HCERTSTORE store, DWORD, DWORD control, const void* argument) {
  if (control == CERT_STORE_CTRL_NOTIFY_CHANGE) {
    g_armed_event = *static_cast<const HANDLE*>(argument);
    g_armed_store = store;
    return TRUE;
  }
  if (control == CERT_STORE_CTRL_RESYNC) ++g_resyncs;
  return control == CERT_STORE_CTRL_RESYNC;
}

// The store kept open learns of changes by the store's notification where the system arms it
// and by its registry key where the system refuses (Wine), and says once which it uses.
TEST(KspPersonalStore, KeptStoreFollowsChangesThroughTheWatchTheSystemAllows) {
  const InstalledFixture& fixture = Fixtures()["rsa1024"];
  Thumbprint thumbprint{};
  ASSERT_TRUE(ParseThumbprint(fixture.thumbprint.c_str(), &thumbprint));
  const auto in_store = [&] {
    HCERTSTORE store = OpenPersonalStore();
    PCCERT_CONTEXT found = store ? FindByThumbprint(store, thumbprint) : nullptr;
    if (found) CertFreeCertificateContext(found);
    if (store) CertCloseStore(store, 0);
    return found != nullptr;
  };
  {
    DebugLogCapture log;
    SetCertControlStoreForTesting(nullptr);
    EXPECT_TRUE(in_store());
    // Wine accepts the notification but never sends it; its registry key tells of the change.
    EXPECT_EQ(CurrentPersonalStoreWatch(), PersonalStoreWatch::Notification);
    EXPECT_TRUE(in_store());
    EXPECT_TRUE(log.HasLine("    Personal store: kept open, resynchronised on the store's change "
                            "notification or a change of its registry key"))
        << log.Text();
    ASSERT_TRUE(RemoveCertificate(fixture.der));
    EXPECT_FALSE(in_store());
    ASSERT_TRUE(Fixtures().Reinstall("rsa1024"));
    EXPECT_TRUE(in_store());
  }
  SetCertControlStoreForTesting(RefusingControl);
  EXPECT_TRUE(in_store());
  EXPECT_EQ(CurrentPersonalStoreWatch(), PersonalStoreWatch::Registry);
  ASSERT_TRUE(RemoveCertificate(fixture.der));
  EXPECT_FALSE(in_store());
  ASSERT_TRUE(Fixtures().Reinstall("rsa1024"));
  EXPECT_TRUE(in_store());

  // A store has been read by the time its notification can be armed: the one that answers is
  // another, opened after.
  SetCertControlStoreForTesting(AcceptingControl);
  EXPECT_TRUE(in_store());
  EXPECT_EQ(CurrentPersonalStoreWatch(), PersonalStoreWatch::Notification);
  ASSERT_NE(g_armed_event, nullptr);
  HCERTSTORE answering = OpenPersonalStore();
  EXPECT_NE(answering, g_armed_store);
  CertCloseStore(answering, 0);
  EXPECT_TRUE(in_store());
  EXPECT_EQ(g_resyncs, 0);
  SetEvent(g_armed_event);  // what the system does when another process changes the store
  EXPECT_TRUE(in_store());
  EXPECT_EQ(g_resyncs, 1);
  EXPECT_TRUE(in_store());
  EXPECT_EQ(g_resyncs, 1);
  SetCertControlStoreForTesting(nullptr);
}

// What a browser that stays open sees: the certificates another process removes and adds, through
// the watch in use here.
TEST(KspPersonalStore, AProviderOpenedBeforeSeesChangesMadeByAnotherProcess) {
  SetCertControlStoreForTesting(nullptr);
  const InstalledFixture& fixture = Fixtures()["rsa1024"];
  ScopedProvider provider;
  ScopedKey before;
  ASSERT_EQ(before.Open(provider.get(), fixture.thumbprint), ERROR_SUCCESS);
  ASSERT_TRUE(ChangeStoreInAnotherProcess("remove", "rsa1024"));
  ScopedKey gone;
  EXPECT_EQ(gone.Open(provider.get(), fixture.thumbprint), NTE_BAD_KEYSET);
  ASSERT_TRUE(ChangeStoreInAnotherProcess("install", "rsa1024"));
  ScopedKey back;
  ASSERT_EQ(back.Open(provider.get(), fixture.thumbprint), ERROR_SUCCESS);
  EXPECT_EQ(KeyProperty(back.get(), NCRYPT_CERTIFICATE_PROPERTY), fixture.der);
}

// The generic public blob type gets the same answer as the RSA one; a key opened by common
// name, container name or a lower-case thumbprint exports like one opened by its thumbprint.
TEST(KspProperties, ExportGivesTheCertificatesOwnPublicKeyBlobHoweverTheKeyWasNamed) {
  ScopedProvider provider;
  for (const char* name : {"rsa1024", "rsa2048", "rsa3072", "rsa4096"}) {
    for (const wchar_t* type : {BCRYPT_RSAPUBLIC_BLOB, BCRYPT_PUBLIC_KEY_BLOB}) {
      const InstalledFixture& fixture = Fixtures()[name];
      ScopedKey key;
      ASSERT_EQ(key.Open(provider.get(), fixture.thumbprint), ERROR_SUCCESS);
      DWORD size = 0;
      ASSERT_EQ(Ksp().ExportKey(0, key.get(), 0, type, nullptr, nullptr, 0, &size, 0),
                ERROR_SUCCESS);
      EXPECT_EQ(size, fixture.public_blob.size()) << name;
      std::vector<BYTE> blob(size);
      EXPECT_EQ(Ksp().ExportKey(0, key.get(), 0, type, nullptr, blob.data(), size - 1, &size, 0),
                NTE_BUFFER_TOO_SMALL);
      ASSERT_EQ(Ksp().ExportKey(0, key.get(), 0, type, nullptr, blob.data(), size, &size, 0),
                ERROR_SUCCESS);
      EXPECT_EQ(blob, fixture.public_blob) << name;
    }
  }
  const std::pair<std::wstring, const char*> named[] = {
      {kAccentedCommonName, "dni_accents"},
      {Lowercase(kContainerName), "container"},
      {Lowercase(Fixtures()["rsa2048"].thumbprint), "rsa2048"}};
  for (const auto& name : named) {
    ScopedKey key;
    ASSERT_EQ(key.Open(provider.get(), name.first), ERROR_SUCCESS) << name.second;
    DWORD size = 0;
    ASSERT_EQ(Ksp().ExportKey(0, key.get(), 0, BCRYPT_RSAPUBLIC_BLOB, nullptr, nullptr, 0, &size,
                              0),
              ERROR_SUCCESS)
        << name.second;
    std::vector<BYTE> blob(size);
    ASSERT_EQ(Ksp().ExportKey(0, key.get(), 0, BCRYPT_RSAPUBLIC_BLOB, nullptr, blob.data(), size,
                              &size, 0),
              ERROR_SUCCESS);
    EXPECT_EQ(blob, Fixtures()[name.second].public_blob) << name.second;
  }
}

TEST(KspProperties, ExportRefusesPrivateBlobsAndMissingSize) {
  ScopedProvider provider;
  ScopedKey key;
  ASSERT_EQ(key.Open(provider.get(), Fixtures()["rsa2048"].thumbprint), ERROR_SUCCESS);
  DebugLogCapture log;
  DWORD size = 0;
  EXPECT_EQ(Ksp().ExportKey(0, key.get(), 0, BCRYPT_RSAPRIVATE_BLOB, nullptr, nullptr, 0, &size, 0),
            NTE_NOT_SUPPORTED);
  EXPECT_TRUE(log.HasLine(
      "<<< MurakoExportKey: NTE_NOT_SUPPORTED (only BCRYPT_RSAPUBLIC_BLOB supported)"));
  EXPECT_EQ(Ksp().ExportKey(0, key.get(), 0, nullptr, nullptr, nullptr, 0, &size, 0),
            NTE_NOT_SUPPORTED);
  EXPECT_EQ(Ksp().ExportKey(0, key.get(), 0, BCRYPT_RSAPUBLIC_BLOB, nullptr, nullptr, 0, nullptr,
                            0),
            NTE_INVALID_PARAMETER);
}

TEST(KspProperties, OnlyTheWindowHandleCanBeSetEvenWithoutHandles) {
  DebugLogCapture log;
  HWND window = nullptr;
  EXPECT_EQ(Ksp().SetProviderProperty(0, NCRYPT_WINDOW_HANDLE_PROPERTY,
                                      reinterpret_cast<PBYTE>(&window), sizeof(window), 0),
            ERROR_SUCCESS);
  EXPECT_TRUE(log.HasLine(
      ">>> MurakoSetProviderProperty: property='HWND Handle' accepted (HWND, unused for HSM)"));
  EXPECT_EQ(Ksp().SetKeyProperty(0, 0, NCRYPT_WINDOW_HANDLE_PROPERTY,
                                 reinterpret_cast<PBYTE>(&window), sizeof(window), 0),
            ERROR_SUCCESS);
  EXPECT_EQ(Ksp().SetKeyProperty(0, 0, NCRYPT_PIN_PROPERTY, nullptr, 0, 0), NTE_NOT_SUPPORTED);
  EXPECT_TRUE(log.HasLine("<<< MurakoSetKeyProperty: NTE_NOT_SUPPORTED (property='SmartCardPin')"));
  EXPECT_EQ(Ksp().SetProviderProperty(0, NCRYPT_USE_CONTEXT_PROPERTY, nullptr, 0, 0),
            NTE_NOT_SUPPORTED);
  EXPECT_TRUE(
      log.HasLine(">>> MurakoSetProviderProperty: property='Use Context' NTE_NOT_SUPPORTED"));
  EXPECT_EQ(Ksp().SetProviderProperty(0, nullptr, nullptr, 0, 0), NTE_NOT_SUPPORTED);
  EXPECT_EQ(Ksp().SetKeyProperty(0, 0, nullptr, nullptr, 0, 0), NTE_NOT_SUPPORTED);
}

TEST(KspProperties, RsaSigningIsTheOnlyAlgorithm) {
  ScopedProvider provider;
  EXPECT_EQ(Ksp().IsAlgSupported(provider.get(), L"RSA", 0), ERROR_SUCCESS);
  EXPECT_EQ(Ksp().IsAlgSupported(provider.get(), L"rsa", 0), NTE_NOT_SUPPORTED);
  EXPECT_EQ(Ksp().IsAlgSupported(provider.get(), L"ECDSA_P256", 0), NTE_NOT_SUPPORTED);
  EXPECT_EQ(Ksp().IsAlgSupported(provider.get(), nullptr, 0), NTE_NOT_SUPPORTED);

  DWORD count = 99;
  NCryptAlgorithmName* list = nullptr;
  ASSERT_EQ(Ksp().EnumAlgorithms(provider.get(), 0, &count, &list, 0), ERROR_SUCCESS);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(std::wstring(list->pszName), L"RSA");
  EXPECT_EQ(list->dwClass, 3u);
  EXPECT_EQ(list->dwAlgOperations, 0x10u);
  EXPECT_EQ(list->dwFlags, 0u);
  EXPECT_EQ(Ksp().FreeBuffer(list), ERROR_SUCCESS);

  list = reinterpret_cast<NCryptAlgorithmName*>(&count);
  ASSERT_EQ(Ksp().EnumAlgorithms(provider.get(), NCRYPT_ASYMMETRIC_ENCRYPTION_OPERATION, &count,
                                 &list, 0),
            ERROR_SUCCESS);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(list, nullptr);
  ASSERT_EQ(Ksp().EnumAlgorithms(provider.get(), NCRYPT_SIGNATURE_OPERATION |
                                                     NCRYPT_ASYMMETRIC_ENCRYPTION_OPERATION,
                                 &count, &list, 0),
            ERROR_SUCCESS);
  EXPECT_EQ(count, 1u);
  Ksp().FreeBuffer(list);
  EXPECT_EQ(Ksp().EnumAlgorithms(provider.get(), 0, nullptr, &list, 0), NTE_INVALID_PARAMETER);
  EXPECT_EQ(Ksp().EnumAlgorithms(provider.get(), 0, &count, nullptr, 0), NTE_INVALID_PARAMETER);
}

TEST(KspProperties, OperationsOfAKeyFactoryAreRefused) {
  DebugLogCapture log;
  NCRYPT_KEY_HANDLE key = 0;
  EXPECT_EQ(Ksp().CreatePersistedKey(0, &key, L"RSA", L"new", 0, 0), NTE_NOT_SUPPORTED);
  EXPECT_EQ(Ksp().FinalizeKey(0, 0, 0), NTE_NOT_SUPPORTED);
  EXPECT_EQ(Ksp().DeleteKey(0, 0, 0), NTE_NOT_SUPPORTED);
  EXPECT_EQ(Ksp().ImportKey(0, 0, BCRYPT_RSAPUBLIC_BLOB, nullptr, &key, nullptr, 0, 0),
            NTE_NOT_SUPPORTED);
  EXPECT_EQ(Ksp().VerifySignature(0, 0, nullptr, nullptr, 0, nullptr, 0, 0), NTE_NOT_SUPPORTED);
  EXPECT_EQ(Ksp().PromptUser(0, 0, nullptr, 0), NTE_NOT_SUPPORTED);
  EXPECT_EQ(Ksp().NotifyChangeKey(0, nullptr, 0), NTE_NOT_SUPPORTED);
  EXPECT_EQ(Ksp().SecretAgreement(0, 0, 0, nullptr, 0), NTE_NOT_SUPPORTED);
  EXPECT_EQ(Ksp().DeriveKey(0, 0, nullptr, nullptr, nullptr, 0, nullptr, 0), NTE_NOT_SUPPORTED);
  EXPECT_EQ(Ksp().FreeSecret(0, 0), NTE_NOT_SUPPORTED);
  EXPECT_EQ(key, 0u);
  EXPECT_TRUE(log.HasLine(">>> MurakoDeleteKey: NTE_NOT_SUPPORTED (read-only KSP)"));
  EXPECT_TRUE(log.HasLine(">>> MurakoVerifySignature: NTE_NOT_SUPPORTED (signing-only KSP)"));
  EXPECT_EQ(log.Messages().size(), 10u);  // one line each
}

}  // namespace
