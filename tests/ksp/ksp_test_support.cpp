#include "ksp_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <fstream>
#include <iterator>

#include "thumbprint.h"
#include "unique_handle.h"

namespace {

constexpr DWORD kEncodings = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

UniqueCommittingCertStore OpenStore() {
  return UniqueCommittingCertStore(
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
}

std::wstring FriendlyName(PCCERT_CONTEXT certificate) {
  DWORD bytes = 0;
  if (!CertGetCertificateContextProperty(certificate, CERT_FRIENDLY_NAME_PROP_ID, nullptr,
                                         &bytes) || bytes == 0) {
    return std::wstring();
  }
  std::wstring name(bytes / sizeof(wchar_t), L'\0');
  CertGetCertificateContextProperty(certificate, CERT_FRIENDLY_NAME_PROP_ID, &name[0], &bytes);
  name.resize(wcsnlen(name.c_str(), name.size()));
  return name;
}

std::wstring ThumbprintOfContext(PCCERT_CONTEXT certificate) {
  return ThumbprintOf(std::vector<BYTE>(certificate->pbCertEncoded,
                                        certificate->pbCertEncoded + certificate->cbCertEncoded));
}

void DeleteCopies(HCERTSTORE store, const std::vector<BYTE>& der) {
  BYTE hash[20];
  DWORD hash_bytes = sizeof(hash);
  CryptHashCertificate(0, CALG_SHA1, 0, der.data(), static_cast<DWORD>(der.size()), hash,
                       &hash_bytes);
  CRYPT_HASH_BLOB blob{sizeof(hash), hash};
  PCCERT_CONTEXT found;
  while ((found = CertFindCertificateInStore(store, kEncodings, 0, CERT_FIND_SHA1_HASH, &blob,
                                             nullptr)) != nullptr) {
    CertDeleteCertificateFromStore(found);  // frees the context
  }
}

std::string EnvironmentValue(const char* name) {
  char value[1024];
  DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
  return length > 0 && length < sizeof(value) ? std::string(value, length) : std::string();
}

}  // namespace

std::string ProviderFolder() { return ProgramDirectory() + "provider\\"; }

HMODULE KspModule() {
  static HMODULE module = LoadLibraryA((ProviderFolder() + "murako_ksp.dll").c_str());
  return module;
}

const NCRYPT_KEY_STORAGE_FUNCTION_TABLE& Ksp() {
  static NCRYPT_KEY_STORAGE_FUNCTION_TABLE* table = [] {
    NCRYPT_KEY_STORAGE_FUNCTION_TABLE* result = nullptr;
    auto entry = reinterpret_cast<GetKeyStorageInterfaceFn>(
        GetProcAddress(KspModule(), "GetKeyStorageInterface"));
    if (entry == nullptr || entry(L"Murako KSP", &result, 0) != 0 || result == nullptr) {
      ADD_FAILURE() << "murako_ksp.dll or its GetKeyStorageInterface is missing";
      static NCRYPT_KEY_STORAGE_FUNCTION_TABLE empty{};
      return &empty;
    }
    return result;
  }();
  return *table;
}

ScopedProvider::ScopedProvider() {
  EXPECT_EQ(Ksp().OpenProvider(&handle_, L"Murako KSP", 0), ERROR_SUCCESS);
}

ScopedProvider::~ScopedProvider() {
  if (handle_ != 0) Ksp().FreeProvider(handle_);
}

ScopedKey::~ScopedKey() {
  if (handle_ != 0) Ksp().FreeKey(0, handle_);
}

SECURITY_STATUS ScopedKey::Open(NCRYPT_PROV_HANDLE provider, const std::wstring& name) {
  if (handle_ != 0) {
    Ksp().FreeKey(provider, handle_);
    handle_ = 0;
  }
  return Ksp().OpenKey(provider, &handle_, name.c_str(), 0, 0);
}

std::vector<BYTE> KeyProperty(NCRYPT_KEY_HANDLE key, const wchar_t* name,
                              SECURITY_STATUS* status) {
  DWORD size = 0;
  SECURITY_STATUS result = Ksp().GetKeyProperty(0, key, name, nullptr, 0, &size, 0);
  std::vector<BYTE> value;
  if (result == ERROR_SUCCESS) {
    value.resize(size);
    result = Ksp().GetKeyProperty(0, key, name, value.data(), size, &size, 0);
    if (result != ERROR_SUCCESS) value.clear();
  }
  if (status != nullptr) *status = result;
  return value;
}

DWORD KeyDwordProperty(NCRYPT_KEY_HANDLE key, const wchar_t* name) {
  std::vector<BYTE> value = KeyProperty(key, name);
  DWORD result = 0xFFFFFFFF;
  if (value.size() == sizeof(DWORD)) memcpy(&result, value.data(), sizeof(DWORD));
  return result;
}

std::vector<std::wstring> EnumerateKeyNames(NCRYPT_PROV_HANDLE provider) {
  std::vector<std::wstring> names;
  PVOID state = nullptr;
  NCryptKeyName* name = nullptr;
  SECURITY_STATUS status;
  while ((status = Ksp().EnumKeys(provider, nullptr, &name, &state, 0)) == ERROR_SUCCESS) {
    names.push_back(name->pszName);
    Ksp().FreeBuffer(name);
    name = nullptr;
  }
  EXPECT_EQ(status, NTE_NO_MORE_ITEMS);
  Ksp().FreeBuffer(state);
  return names;
}

std::string FixtureFolder() { return ProgramDirectory() + "fixtures\\"; }

std::vector<BYTE> ReadBinaryFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::wstring ThumbprintOf(const std::vector<BYTE>& der) {
  BYTE hash[20] = {};
  DWORD hash_bytes = sizeof(hash);
  CryptHashCertificate(0, CALG_SHA1, 0, der.data(), static_cast<DWORD>(der.size()), hash,
                       &hash_bytes);
  return FormatThumbprint(hash);
}

std::wstring Lowercase(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
  return text;
}

bool InstallCertificate(const std::vector<BYTE>& der, const std::wstring& friendly_name,
                        const std::wstring& container_name) {
  UniqueCommittingCertStore store = OpenStore();
  if (!store) return false;
  DeleteCopies(store.get(), der);
  PCCERT_CONTEXT added = nullptr;
  if (!CertAddEncodedCertificateToStore(store.get(), kEncodings, der.data(),
                                        static_cast<DWORD>(der.size()), CERT_STORE_ADD_NEW,
                                        &added)) {
    return false;
  }
  bool ok = true;
  if (!friendly_name.empty()) {
    CRYPT_DATA_BLOB blob{static_cast<DWORD>((friendly_name.size() + 1) * sizeof(wchar_t)),
                         reinterpret_cast<BYTE*>(const_cast<wchar_t*>(friendly_name.c_str()))};
    ok = ok && CertSetCertificateContextProperty(added, CERT_FRIENDLY_NAME_PROP_ID, 0, &blob);
  }
  if (!container_name.empty()) {
    std::wstring container = container_name == L"#" ? ThumbprintOf(der) : container_name;
    CRYPT_KEY_PROV_INFO info{};
    info.pwszContainerName = const_cast<wchar_t*>(container.c_str());
    info.pwszProvName = const_cast<wchar_t*>(L"Murako KSP");
    info.dwProvType = 0;
    info.dwKeySpec = 0xFFFFFFFF;
    ok = ok && CertSetCertificateContextProperty(added, CERT_KEY_PROV_INFO_PROP_ID, 0, &info);
  }
  CertFreeCertificateContext(added);
  return ok;
}

bool RemoveCertificate(const std::vector<BYTE>& der) {
  UniqueCommittingCertStore store = OpenStore();
  if (!store) return false;
  DeleteCopies(store.get(), der);
  return true;
}

bool ChangeStoreInAnotherProcess(const char* action, const std::string& name) {
  char program[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return false;
  const std::string path(program, length);
  return RunProgram(path.substr(path.find_last_of("\\/") + 1),
                    {kStoreChangeSwitch, action, name})
             .exit_code == 0;
}

void FixtureSet::Install(const std::vector<FixtureEntry>& entries) {
  for (const FixtureEntry& entry : entries) {
    InstalledFixture fixture;
    fixture.der = ReadBinaryFile(FixtureFolder() + entry.file + ".der");
    fixture.public_blob = ReadBinaryFile(FixtureFolder() + entry.file + ".blob");
    ASSERT_FALSE(fixture.der.empty()) << entry.file;
    fixture.thumbprint = ThumbprintOf(fixture.der);
    ASSERT_TRUE(InstallCertificate(fixture.der, entry.friendly_name, entry.container_name))
        << entry.file;
    entries_[entry.file] = entry;
    fixtures_[entry.file] = fixture;
    CopyFileA((FixtureFolder() + entry.file + ".key").c_str(),
              (FixtureFolder() + WideToUtf8(fixture.thumbprint) + ".key").c_str(), FALSE);
  }
  SetEnvironmentVariableA("TEST_SIGN_BRIDGE_KEYS", FixtureFolder().c_str());
}

bool FixtureSet::Reinstall(const std::string& name) {
  const FixtureEntry& entry = entries_.at(name);
  return InstallCertificate(fixtures_.at(name).der, entry.friendly_name, entry.container_name);
}

void FixtureSet::RemoveAll() {
  for (const auto& entry : fixtures_) {
    EXPECT_TRUE(RemoveCertificate(entry.second.der)) << entry.first;
  }
  fixtures_.clear();
  entries_.clear();
}

std::vector<std::wstring> MurakoThumbprintsInStore() {
  std::vector<std::wstring> result;
  UniqueCommittingCertStore store = OpenStore();
  PCCERT_CONTEXT certificate = nullptr;
  while ((certificate = CertEnumCertificatesInStore(store.get(), certificate)) != nullptr) {
    if (FriendlyName(certificate).find(L"Murako") != std::wstring::npos) {
      result.push_back(ThumbprintOfContext(certificate));
    }
  }
  return result;
}

std::vector<std::wstring> ThumbprintsWithCommonName(const std::wstring& common_name) {
  std::vector<std::wstring> result;
  UniqueCommittingCertStore store = OpenStore();
  PCCERT_CONTEXT certificate = nullptr;
  while ((certificate = CertEnumCertificatesInStore(store.get(), certificate)) != nullptr) {
    wchar_t name[256] = {};
    CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME),
                       name, 256);
    if (common_name == name) result.push_back(ThumbprintOfContext(certificate));
  }
  return result;
}

DebugLogCapture::DebugLogCapture() : override_(directory_.path()) {}

std::string DebugLogCapture::Text() const {
  return ReadFileBytes(directory_.path() + "murako_ksp_debug.log");
}

std::vector<std::string> DebugLogCapture::Messages() const {
  std::vector<std::string> messages;
  std::string text = Text();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    // "[hh:mm:ss.mmm] " is 15 characters.
    messages.push_back(line.size() >= 15 ? line.substr(15) : line);
    start = end + 1;
  }
  return messages;
}

bool DebugLogCapture::HasLine(const std::string& message) const {
  std::vector<std::string> messages = Messages();
  return std::find(messages.begin(), messages.end(), message) != messages.end();
}

BridgeFolder::BridgeFolder(const char* folder) {
  const std::string source = ProgramDirectory() + folder + "\\murako_sign_bridge.dll";
  const std::string target = ProviderFolder() + "murako_sign_bridge.dll";
  if (GetFileAttributesA(source.c_str()) != INVALID_FILE_ATTRIBUTES) {
    EXPECT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE)) << target;
  } else {
    DeleteFileA(target.c_str());
  }
}

BridgeFolder::~BridgeFolder() { DeleteFileA((ProviderFolder() + "murako_sign_bridge.dll").c_str()); }

bool VerifiesWith(const InstalledFixture& fixture, const std::vector<BYTE>& raw_hash,
                  const BYTE* signature, DWORD signature_bytes, bool pss) {
  PCCERT_CONTEXT certificate = CertCreateCertificateContext(
      kEncodings, fixture.der.data(), static_cast<DWORD>(fixture.der.size()));
  BCRYPT_KEY_HANDLE key = nullptr;
  bool verified = false;
  if (certificate != nullptr &&
      CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, &certificate->pCertInfo->SubjectPublicKeyInfo,
                                  0, nullptr, &key)) {
    const wchar_t* algorithm = raw_hash.size() == 32   ? BCRYPT_SHA256_ALGORITHM
                               : raw_hash.size() == 48 ? BCRYPT_SHA384_ALGORITHM
                                                       : BCRYPT_SHA512_ALGORITHM;
    BCRYPT_PKCS1_PADDING_INFO pkcs1{algorithm};
    BCRYPT_PSS_PADDING_INFO pss_info{algorithm, static_cast<ULONG>(raw_hash.size())};
    verified = BCryptVerifySignature(key, pss ? static_cast<void*>(&pss_info) : &pkcs1,
                                     const_cast<BYTE*>(raw_hash.data()),
                                     static_cast<ULONG>(raw_hash.size()),
                                     const_cast<BYTE*>(signature), signature_bytes,
                                     pss ? BCRYPT_PAD_PSS : BCRYPT_PAD_PKCS1) == 0;
    BCryptDestroyKey(key);
  }
  if (certificate != nullptr) CertFreeCertificateContext(certificate);
  return verified;
}

BridgeScript::BridgeScript(const std::string& mode, int signature_bytes,
                           const std::string& error_text) {
  SetEnvironmentVariableA("TEST_SIGN_BRIDGE_MODE", mode.c_str());
  SetEnvironmentVariableA("TEST_SIGN_BRIDGE_SIG_BYTES",
                          signature_bytes > 0 ? std::to_string(signature_bytes).c_str() : nullptr);
  SetEnvironmentVariableA("TEST_SIGN_BRIDGE_ERROR",
                          error_text.empty() ? nullptr : error_text.c_str());
}

BridgeScript::~BridgeScript() {
  for (const char* name : {"TEST_SIGN_BRIDGE_MODE", "TEST_SIGN_BRIDGE_SIG_BYTES",
                           "TEST_SIGN_BRIDGE_ERROR", "TEST_SIGN_BRIDGE_RECORD"}) {
    SetEnvironmentVariableA(name, nullptr);
  }
}

void BridgeScript::RecordTo(const std::string& path) {
  SetEnvironmentVariableA("TEST_SIGN_BRIDGE_RECORD", path.c_str());
}

long BridgeCounter(const char* name) { return std::atol(EnvironmentValue(name).c_str()); }

bool BridgeIsLoaded() { return GetModuleHandleW(L"murako_sign_bridge.dll") != nullptr; }
