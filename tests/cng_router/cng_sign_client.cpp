// What a signing application does with an installed certificate: find it in the personal
// store, open its key through CNG with the certificate's key-provider information, sign a
// SHA-256 hash with PKCS #1 v1.5 and with PSS, and check each signature against the
// certificate's public key. One line per step on standard output; the exit code tells how
// far it got (0 = everything verified).
//   cng_sign_client <thumbprint> [--hold]
// With --hold it keeps the provider and the key open and signs again at each line read from
// standard input until a line "end" or the input's end, as a long-running signer holds the
// provider loaded; after each round a line names the copies it signed with, by the time stamps
// of their PE headers: the provider's loaded image and the bridge's file in the system folder,
// which the provider loads by name at every signature.
#include <windows.h>
#include <bcrypt.h>
#include <ncrypt.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum ExitCode {
  kVerified = 0,
  kUsage = 1,
  kCertificateNotFound = 2,
  kProviderNotOpened = 3,
  kKeyNotOpened = 4,
  kSigningFailed = 5,
  kVerificationFailed = 6,
  kLocalCryptoFailed = 7,
};

struct Store {
  HCERTSTORE handle = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                                    L"MY");
  ~Store() {
    if (handle != nullptr) CertCloseStore(handle, 0);
  }
};

struct Certificate {
  PCCERT_CONTEXT context = nullptr;
  ~Certificate() {
    if (context != nullptr) CertFreeCertificateContext(context);
  }
};

struct Provider {
  NCRYPT_HANDLE handle = 0;
  ~Provider() {
    if (handle != 0) NCryptFreeObject(handle);
  }
};

struct PublicKey {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_KEY_HANDLE key = nullptr;
  ~PublicKey() {
    if (key != nullptr) BCryptDestroyKey(key);
    if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};

std::vector<BYTE> ParseHex(const char* text) {
  std::vector<BYTE> bytes;
  for (size_t i = 0; text[i] != '\0' && text[i + 1] != '\0'; i += 2) {
    unsigned value = 0;
    sscanf(text + i, "%2x", &value);
    bytes.push_back(static_cast<BYTE>(value));
  }
  return bytes;
}

bool Sha256(const std::string& data, std::vector<BYTE>& hash) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) {
    return false;
  }
  hash.assign(32, 0);
  NTSTATUS status = BCryptHash(algorithm, nullptr, 0,
                               reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
                               static_cast<ULONG>(data.size()), hash.data(), 32);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return status == 0;
}

bool ImportPublicKey(PCCERT_CONTEXT certificate, PublicKey& publicKey) {
  const CRYPT_BIT_BLOB& bits = certificate->pCertInfo->SubjectPublicKeyInfo.PublicKey;
  BYTE* blob = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, CNG_RSA_PUBLIC_KEY_BLOB, bits.pbData, bits.cbData,
                           CRYPT_DECODE_ALLOC_FLAG, nullptr, &blob, &size)) {
    return false;
  }
  bool imported =
      BCryptOpenAlgorithmProvider(&publicKey.algorithm, BCRYPT_RSA_ALGORITHM, nullptr, 0) == 0 &&
      BCryptImportKeyPair(publicKey.algorithm, nullptr, BCRYPT_RSAPUBLIC_BLOB, &publicKey.key, blob,
                          size, 0) == 0;
  LocalFree(blob);
  return imported;
}

int SignAndVerify(NCRYPT_KEY_HANDLE key, BCRYPT_KEY_HANDLE publicKey, std::vector<BYTE>& hash,
                  bool pss) {
  BCRYPT_PKCS1_PADDING_INFO pkcs1{BCRYPT_SHA256_ALGORITHM};
  BCRYPT_PSS_PADDING_INFO pssInfo{BCRYPT_SHA256_ALGORITHM, 32};
  void* padding = pss ? static_cast<void*>(&pssInfo) : static_cast<void*>(&pkcs1);
  DWORD flags = pss ? BCRYPT_PAD_PSS : BCRYPT_PAD_PKCS1;
  const char* name = pss ? "PSS" : "PKCS1";

  DWORD length = 0;
  SECURITY_STATUS status =
      NCryptSignHash(key, padding, hash.data(), static_cast<DWORD>(hash.size()), nullptr, 0,
                     &length, flags);
  std::vector<BYTE> signature(length);
  if (status == ERROR_SUCCESS) {
    status = NCryptSignHash(key, padding, hash.data(), static_cast<DWORD>(hash.size()),
                            signature.data(), length, &length, flags);
  }
  if (status != ERROR_SUCCESS) {
    printf("%s: NCryptSignHash failed: 0x%08lX\n", name, static_cast<unsigned long>(status));
    return kSigningFailed;
  }
  signature.resize(length);
  NTSTATUS verified = BCryptVerifySignature(publicKey, padding, hash.data(),
                                            static_cast<ULONG>(hash.size()), signature.data(),
                                            length, flags);
  if (verified != 0) {
    printf("%s: signature of %lu bytes does not verify: 0x%08lX\n", name,
           static_cast<unsigned long>(length), static_cast<unsigned long>(verified));
    return kVerificationFailed;
  }
  printf("%s: signed %lu bytes, verified with the certificate's public key\n", name,
         static_cast<unsigned long>(length));
  return kVerified;
}

DWORD ImageStamp(const BYTE* image) {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
  return reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew)->FileHeader.TimeDateStamp;
}

DWORD BridgeFileStamp() {
  wchar_t system[MAX_PATH] = {};
  UINT length = GetSystemDirectoryW(system, MAX_PATH);
  std::wstring path = std::wstring(system, length) + L"\\murako_sign_bridge.dll";
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  std::vector<BYTE> head(4096);
  DWORD read = 0;
  bool complete = ReadFile(file, head.data(), static_cast<DWORD>(head.size()), &read, nullptr) &&
                  read >= sizeof(IMAGE_DOS_HEADER);
  CloseHandle(file);
  if (!complete) return 0;
  LONG offset = reinterpret_cast<const IMAGE_DOS_HEADER*>(head.data())->e_lfanew;
  if (offset < 0 || static_cast<DWORD>(offset) + sizeof(IMAGE_NT_HEADERS) > read) return 0;
  return ImageStamp(head.data());
}

// Each round verifies with a public key imported anew: after a PSS verification Wine's bcrypt
// refuses a PKCS #1 one with the same key handle.
int SignRound(NCRYPT_KEY_HANDLE key, PCCERT_CONTEXT certificate, std::vector<BYTE>& hash) {
  PublicKey publicKey;
  PublicKey pssPublicKey;
  int result = kLocalCryptoFailed;
  if (ImportPublicKey(certificate, publicKey) && ImportPublicKey(certificate, pssPublicKey)) {
    result = SignAndVerify(key, publicKey.key, hash, false);
    if (result == kVerified) result = SignAndVerify(key, pssPublicKey.key, hash, true);
  }
  HMODULE provider = GetModuleHandleW(L"murako_ksp.dll");
  printf("copies: provider %08lX, bridge %08lX\n",
         provider == nullptr ? 0UL : static_cast<unsigned long>(
                                         ImageStamp(reinterpret_cast<const BYTE*>(provider))),
         static_cast<unsigned long>(BridgeFileStamp()));
  fflush(stdout);
  return result;
}

// Signs once, then once more per line of standard input up to "end"; the first failure is the
// result.
int SignWhileHeld(NCRYPT_KEY_HANDLE key, PCCERT_CONTEXT certificate, std::vector<BYTE>& hash) {
  int result = SignRound(key, certificate, hash);
  char line[64];
  while (fgets(line, sizeof(line), stdin) != nullptr && strncmp(line, "end", 3) != 0) {
    int round = SignRound(key, certificate, hash);
    if (result == kVerified) result = round;
  }
  return result;
}

int Run(const char* thumbprint, bool hold) {
  Store store;
  std::vector<BYTE> hashBytes = ParseHex(thumbprint);
  CRYPT_HASH_BLOB wanted{static_cast<DWORD>(hashBytes.size()), hashBytes.data()};
  Certificate certificate;
  certificate.context = CertFindCertificateInStore(store.handle, X509_ASN_ENCODING, 0,
                                                   CERT_FIND_SHA1_HASH, &wanted, nullptr);
  if (certificate.context == nullptr) {
    printf("certificate %s not in the personal store\n", thumbprint);
    return kCertificateNotFound;
  }
  DWORD size = 0;
  CertGetCertificateContextProperty(certificate.context, CERT_KEY_PROV_INFO_PROP_ID, nullptr,
                                    &size);
  std::vector<BYTE> infoBytes(size);
  if (size == 0 || !CertGetCertificateContextProperty(certificate.context,
                                                      CERT_KEY_PROV_INFO_PROP_ID,
                                                      infoBytes.data(), &size)) {
    printf("certificate has no key-provider information\n");
    return kCertificateNotFound;
  }
  auto* info = reinterpret_cast<CRYPT_KEY_PROV_INFO*>(infoBytes.data());
  printf("certificate found: provider '%ls', container '%ls'\n", info->pwszProvName,
         info->pwszContainerName);

  Provider provider;
  SECURITY_STATUS status = NCryptOpenStorageProvider(&provider.handle, info->pwszProvName, 0);
  if (status != ERROR_SUCCESS) {
    printf("NCryptOpenStorageProvider failed: 0x%08lX\n", static_cast<unsigned long>(status));
    return kProviderNotOpened;
  }
  Provider key;
  status = NCryptOpenKey(provider.handle, &key.handle, info->pwszContainerName, 0, 0);
  if (status != ERROR_SUCCESS) {
    printf("NCryptOpenKey failed: 0x%08lX\n", static_cast<unsigned long>(status));
    return kKeyNotOpened;
  }
  printf("key opened\n");

  std::vector<BYTE> hash;
  PublicKey publicKey;
  if (!Sha256("Sendaro end-to-end signature", hash) ||
      !ImportPublicKey(certificate.context, publicKey)) {
    printf("local hashing or public key import failed\n");
    return kLocalCryptoFailed;
  }
  if (hold) return SignWhileHeld(key.handle, certificate.context, hash);
  int result = SignAndVerify(key.handle, publicKey.key, hash, false);
  if (result != kVerified) return result;
  return SignAndVerify(key.handle, publicKey.key, hash, true);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    printf("usage: cng_sign_client <thumbprint> [--hold]\n");
    return kUsage;
  }
  int result = Run(argv[1], argc > 2 && strcmp(argv[2], "--hold") == 0);
  fflush(stdout);
  return result;
}
