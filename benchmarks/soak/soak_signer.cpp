// The signing program of the soak benchmark (benchmarks/soak/run_benchmark.sh): what another
// application does all day with an installed certificate, through CNG and nothing else.
//   soak_signer sign THUMBPRINT STOP_FILE THREADS
//       each thread opens the provider and the key, signs a fresh SHA-256 hash (PKCS #1 and PSS
//       in turn), frees both and verifies the signature with the certificate's public key, until
//       STOP_FILE exists; a line "verified N" every 50 signatures, then one JSON line: counts,
//       the first failures, and this process's handles and private bytes after the first
//       signatures and at the end
//   soak_signer footprint
//       one JSON line: handles and private bytes of the running Sendaro.exe
// It uses only system libraries, so the same source builds as the 32-bit signer.
#include <windows.h>
#include <bcrypt.h>
#include <ncrypt.h>
#include <wincrypt.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Footprint {
  unsigned long handles = 0;
  unsigned long long private_bytes = 0;
};

// Every handle value the process answers for is open (Wine leaves GetProcessHandleCount at
// zero); the private bytes are its committed private regions. Wine hands out the lowest free
// handle value, so the first 32,768 values cover any count these processes reach.
Footprint MeasureFootprint(HANDLE process) {
  Footprint footprint;
  const bool self = process == GetCurrentProcess();
  for (uintptr_t value = 4; value < (1u << 17); value += 4) {
    HANDLE handle = reinterpret_cast<HANDLE>(value);
    DWORD flags = 0;
    HANDLE copy = nullptr;
    if (self ? GetHandleInformation(handle, &flags) != FALSE
             : DuplicateHandle(process, handle, GetCurrentProcess(), &copy, 0, FALSE,
                               DUPLICATE_SAME_ACCESS) != FALSE) {
      ++footprint.handles;
    }
    if (copy != nullptr) CloseHandle(copy);
  }
  MEMORY_BASIC_INFORMATION region{};
  for (const char* address = nullptr;
       VirtualQueryEx(process, address, &region, sizeof(region)) == sizeof(region);
       address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
      footprint.private_bytes += region.RegionSize;
    }
  }
  return footprint;
}

std::string FootprintJson(const Footprint& footprint) {
  return "{\"handles\": " + std::to_string(footprint.handles) +
         ", \"private_bytes\": " + std::to_string(footprint.private_bytes) + "}";
}

int SendaroFootprint() {
  HWND window = FindWindowW(L"FLUTTER_RUNNER_WIN32_WINDOW", nullptr);
  DWORD process_id = 0;
  if (window != nullptr) GetWindowThreadProcessId(window, &process_id);
  HANDLE process = process_id != 0 ? OpenProcess(PROCESS_DUP_HANDLE | PROCESS_QUERY_INFORMATION |
                                                     PROCESS_VM_READ,
                                                 FALSE, process_id)
                                   : nullptr;
  if (process == nullptr) {
    std::printf("{\"error\": \"Sendaro.exe not found\"}\n");
    return 1;
  }
  std::printf("%s\n", FootprintJson(MeasureFootprint(process)).c_str());
  CloseHandle(process);
  return 0;
}

// The certificate's RSA public key, for checking every signature here. Imported afresh for
// each check: a key of Wine's bcrypt that has verified a PSS signature refuses PKCS #1 ones.
class PublicKey {
 public:
  explicit PublicKey(const std::string& thumbprint) {
    std::vector<BYTE> hash;
    for (size_t i = 0; i + 1 < thumbprint.size(); i += 2) {
      hash.push_back(static_cast<BYTE>(std::stoul(thumbprint.substr(i, 2), nullptr, 16)));
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                     CERT_SYSTEM_STORE_CURRENT_USER, L"MY");
    if (store == nullptr) return;
    CRYPT_HASH_BLOB wanted{static_cast<DWORD>(hash.size()), hash.data()};
    certificate_ = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH,
                                              &wanted, nullptr);
    CertCloseStore(store, 0);
  }
  ~PublicKey() {
    if (certificate_ != nullptr) CertFreeCertificateContext(certificate_);
  }
  PublicKey(const PublicKey&) = delete;
  PublicKey& operator=(const PublicKey&) = delete;

  bool ready() const { return certificate_ != nullptr; }
  bool Verifies(void* padding, const std::vector<BYTE>& hash, const std::vector<BYTE>& signature,
                DWORD flags) const {
    BCRYPT_KEY_HANDLE key = nullptr;
    if (!CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING,
                                     &certificate_->pCertInfo->SubjectPublicKeyInfo, 0, nullptr,
                                     &key)) {
      return false;
    }
    const bool verified =
        BCryptVerifySignature(key, padding, const_cast<BYTE*>(hash.data()),
                              static_cast<ULONG>(hash.size()), const_cast<BYTE*>(signature.data()),
                              static_cast<ULONG>(signature.size()), flags) == 0;
    BCryptDestroyKey(key);
    return verified;
  }

 private:
  PCCERT_CONTEXT certificate_ = nullptr;
};

BCRYPT_ALG_HANDLE g_sha256 = nullptr;

std::vector<BYTE> Sha256(const std::string& data) {
  std::vector<BYTE> hash(32);
  BCryptHash(g_sha256, nullptr, 0, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
             static_cast<ULONG>(data.size()), hash.data(), 32);
  return hash;
}

// One signature as an application makes it: provider and key opened for it and freed after.
SECURITY_STATUS SignOnce(const std::wstring& key_name, const std::vector<BYTE>& hash, bool pss,
                         std::vector<BYTE>& signature) {
  NCRYPT_PROV_HANDLE provider = 0;
  SECURITY_STATUS status = NCryptOpenStorageProvider(&provider, L"Murako KSP", 0);
  if (status != ERROR_SUCCESS) return status;
  NCRYPT_KEY_HANDLE key = 0;
  status = NCryptOpenKey(provider, &key, key_name.c_str(), 0, 0);
  if (status == ERROR_SUCCESS) {
    BCRYPT_PKCS1_PADDING_INFO pkcs1{BCRYPT_SHA256_ALGORITHM};
    BCRYPT_PSS_PADDING_INFO pss_info{BCRYPT_SHA256_ALGORITHM, 32};
    void* padding = pss ? static_cast<void*>(&pss_info) : static_cast<void*>(&pkcs1);
    const DWORD flags = pss ? BCRYPT_PAD_PSS : BCRYPT_PAD_PKCS1;
    DWORD length = 0;
    status = NCryptSignHash(key, padding, const_cast<BYTE*>(hash.data()),
                            static_cast<DWORD>(hash.size()), nullptr, 0, &length, flags);
    if (status == ERROR_SUCCESS) {
      signature.assign(length, 0);
      status = NCryptSignHash(key, padding, const_cast<BYTE*>(hash.data()),
                              static_cast<DWORD>(hash.size()), signature.data(), length, &length,
                              flags);
      signature.resize(length);
    }
    NCryptFreeObject(key);
  }
  NCryptFreeObject(provider);
  return status;
}

struct Tally {
  std::atomic<long> signed_ok{0}, verified{0}, failed{0};
  std::mutex mutex;
  std::vector<std::string> first_failures;

  void Fail(const std::string& what) {
    ++failed;
    std::lock_guard<std::mutex> lock(mutex);
    if (first_failures.size() < 10) first_failures.push_back(what);
  }
};

int SignUntilStopped(const std::string& thumbprint, const std::wstring& stop_file, int threads) {
  const std::wstring key_name(thumbprint.begin(), thumbprint.end());
  const PublicKey public_key(thumbprint);
  if (!public_key.ready()) {
    std::printf("{\"error\": \"certificate %s not in the personal store\"}\n", thumbprint.c_str());
    return 1;
  }
  Tally tally;
  auto sign_and_check = [&](int thread, long round) {
    const std::vector<BYTE> hash = Sha256("soak " + std::to_string(GetCurrentProcessId()) + " " +
                                          std::to_string(thread) + " " + std::to_string(round));
    const bool pss = (round % 2) == 1;
    std::vector<BYTE> signature;
    const SECURITY_STATUS status = SignOnce(key_name, hash, pss, signature);
    if (status != ERROR_SUCCESS) {
      char text[64];
      std::snprintf(text, sizeof(text), "NCryptSignHash 0x%08lX at %lu ms",
                    static_cast<unsigned long>(status), GetTickCount());
      tally.Fail(text);
      return;
    }
    ++tally.signed_ok;
    BCRYPT_PKCS1_PADDING_INFO pkcs1{BCRYPT_SHA256_ALGORITHM};
    BCRYPT_PSS_PADDING_INFO pss_info{BCRYPT_SHA256_ALGORITHM, 32};
    if (public_key.Verifies(pss ? static_cast<void*>(&pss_info) : static_cast<void*>(&pkcs1), hash,
                            signature, pss ? BCRYPT_PAD_PSS : BCRYPT_PAD_PKCS1)) {
      // Progress for the run: a line every 50 verified signatures.
      if (++tally.verified % 50 == 0) {
        std::printf("verified %ld\n", tally.verified.load());
        std::fflush(stdout);
      }
    } else {
      tally.Fail(std::string(pss ? "PSS" : "PKCS #1") + " signature does not verify at " +
                 std::to_string(GetTickCount()) + " ms");
    }
  };
  auto stopped = [&] { return GetFileAttributesW(stop_file.c_str()) != INVALID_FILE_ATTRIBUTES; };
  // Warmed up alone, so the first figure is taken with no signature in flight.
  const long warm_up = 10;
  for (long round = 0; round < warm_up; ++round) sign_and_check(0, round);
  const Footprint warm = MeasureFootprint(GetCurrentProcess());
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      for (long round = warm_up; !stopped(); ++round) sign_and_check(t, round);
    });
  }
  for (std::thread& worker : workers) worker.join();
  const Footprint end = MeasureFootprint(GetCurrentProcess());
  std::string failures;
  for (const std::string& failure : tally.first_failures) {
    failures += (failures.empty() ? "\"" : ", \"") + failure + "\"";
  }
  std::printf("{\"signatures\": %ld, \"verified\": %ld, \"failed\": %ld, \"first_failures\": [%s], "
              "\"warm\": %s, \"end\": %s}\n",
              tally.signed_ok.load(), tally.verified.load(), tally.failed.load(), failures.c_str(),
              FootprintJson(warm).c_str(), FootprintJson(end).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "footprint") return SendaroFootprint();
  if (mode == "sign" && argc == 5) {
    if (BCryptOpenAlgorithmProvider(&g_sha256, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return 1;
    const std::string stop(argv[3]);
    return SignUntilStopped(argv[2], std::wstring(stop.begin(), stop.end()), std::atoi(argv[4]));
  }
  std::printf("usage: soak_signer sign THUMBPRINT STOP_FILE THREADS | footprint\n");
  return 2;
}
