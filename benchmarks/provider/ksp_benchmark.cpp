// Benchmark of the provider against a personal store of 500 certificates, 10 of them the
// provider's: a full EnumKeys pass, OpenKey by thumbprint and by common name, each beside a
// bare store open + find + close as a ratio, and 10,000
// open/free cycles with the process's private bytes and handle count before and after.
//
//   murako_ksp_benchmark.exe <folder with bench_NNNN.der files>
//
// benchmarks/provider/run_benchmark.sh generates the certificates and runs it under Wine. The program
// removes its certificates from the store on every way out.

#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "ksp_test_support.h"
#include "thumbprint.h"

namespace {

constexpr int kCertificates = 500;
constexpr int kProviderCertificates = 10;
constexpr int kCycles = 10000;

struct BenchCertificate {
  std::vector<BYTE> der;
  std::wstring thumbprint;
  std::wstring common_name;
  bool provider = false;
};

// Removes the benchmark's certificates when the program leaves, whatever the way.
class InstalledCertificates {
 public:
  ~InstalledCertificates() { RemoveAll(); }
  void Add(const BenchCertificate& certificate) { installed_.push_back(&certificate); }
  void RemoveAll() {
    for (const BenchCertificate* certificate : installed_) RemoveCertificate(certificate->der);
    installed_.clear();
  }

 private:
  std::vector<const BenchCertificate*> installed_;
};

double Milliseconds(LARGE_INTEGER start, LARGE_INTEGER end) {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

template <typename Body>
double TimeMs(Body&& body) {
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  body();
  QueryPerformanceCounter(&end);
  return Milliseconds(start, end);
}

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  size_t middle = samples.size() / 2;
  return samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

// Handles of this process as the kernel's handle table lists them. GetProcessHandleCount is
// reported as well; Wine answers it with 0, while the table is kept by its server.
long HandleTableCount() {
  typedef NTSTATUS(NTAPI * QueryFn)(ULONG, PVOID, ULONG, PULONG);
  struct Entry {
    PVOID object;
    ULONG_PTR process_id;
    ULONG_PTR handle;
    ULONG access;
    USHORT trace;
    USHORT type;
    ULONG attributes;
    ULONG reserved;
  };
  struct Table {
    ULONG_PTR count;
    ULONG_PTR reserved;
    Entry entries[1];
  };
  auto query = reinterpret_cast<QueryFn>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation"));
  if (query == nullptr) return -1;
  std::vector<BYTE> buffer(1 << 20);
  NTSTATUS status;
  ULONG needed = 0;
  const ULONG kSystemExtendedHandleInformation = 64;
  while ((status = query(kSystemExtendedHandleInformation, buffer.data(),
                         static_cast<ULONG>(buffer.size()), &needed)) ==
         static_cast<NTSTATUS>(0xC0000004L)) {
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0) return -1;
  const Table* table = reinterpret_cast<const Table*>(buffer.data());
  long count = 0;
  for (ULONG_PTR i = 0; i < table->count; ++i) {
    if (table->entries[i].process_id == GetCurrentProcessId()) ++count;
  }
  return count;
}

struct ProcessFigures {
  SIZE_T commit = 0;   // private bytes (commit charge)
  SIZE_T private_usage = 0;
  DWORD handles = 0;   // GetProcessHandleCount
  long table_handles = 0;
};

ProcessFigures Measure() {
  ProcessFigures figures;
  PROCESS_MEMORY_COUNTERS_EX memory{};
  K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                          sizeof(memory));
  figures.commit = memory.PagefileUsage;
  figures.private_usage = memory.PrivateUsage;
  GetProcessHandleCount(GetCurrentProcess(), &figures.handles);
  figures.table_handles = HandleTableCount();
  return figures;
}

void PrintFigures(const char* label, const ProcessFigures& figures) {
  printf("  %-8s private bytes (commit) %zu, PrivateUsage %zu, GetProcessHandleCount %lu, "
         "handle table %ld\n",
         label, static_cast<size_t>(figures.commit), static_cast<size_t>(figures.private_usage),
         figures.handles, figures.table_handles);
}

bool LoadCertificates(const std::string& folder, std::vector<BenchCertificate>* certificates) {
  for (int i = 0; i < kCertificates; ++i) {
    char name[32];
    snprintf(name, sizeof(name), "bench_%04d.der", i);
    BenchCertificate certificate;
    certificate.der = ReadBinaryFile(folder + name);
    if (certificate.der.empty()) {
      fprintf(stderr, "missing %s%s\n", folder.c_str(), name);
      return false;
    }
    certificate.thumbprint = ThumbprintOf(certificate.der);
    wchar_t common_name[64];
    swprintf(common_name, 64, L"Sendaro Bench Signer %04d", i);
    certificate.common_name = common_name;
    // Spread the provider's certificates over the store.
    certificate.provider = i % (kCertificates / kProviderCertificates) == 25;
    certificates->push_back(certificate);
  }
  return true;
}

// What OpenKey by thumbprint cannot do without: open the personal store, find the certificate
// by its SHA-1 hash, close the store.
void BareStoreOpenFindClose(const std::wstring& thumbprint_text) {
  Thumbprint thumbprint{};
  ParseThumbprint(thumbprint_text.c_str(), &thumbprint);
  CRYPT_HASH_BLOB blob{static_cast<DWORD>(thumbprint.size()), thumbprint.data()};
  HCERTSTORE store =
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY");
  PCCERT_CONTEXT found = CertFindCertificateInStore(
      store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, nullptr);
  if (found != nullptr) CertFreeCertificateContext(found);
  CertCloseStore(store, 0);
}

int Run(const std::string& folder) {
  std::vector<BenchCertificate> certificates;
  if (!LoadCertificates(folder, &certificates)) return 2;
  InstalledCertificates installed;
  double install_ms = TimeMs([&] {
    for (const BenchCertificate& certificate : certificates) {
      std::wstring friendly = certificate.provider ? L"Murako - " + certificate.common_name
                                                   : L"Other Vendor - " + certificate.common_name;
      if (InstallCertificate(certificate.der, friendly, certificate.provider ? L"#" : L"")) {
        installed.Add(certificate);
      }
    }
  });
  printf("murako_ksp benchmark: %d certificates installed (%d the provider's) in %.0f ms\n",
         kCertificates, kProviderCertificates, install_ms);

  ScopedProvider provider;
  std::vector<const BenchCertificate*> own;
  for (const BenchCertificate& certificate : certificates) {
    if (certificate.provider) own.push_back(&certificate);
  }

  std::vector<double> enum_samples;
  size_t listed = 0;
  for (int i = 0; i < 30; ++i) {
    enum_samples.push_back(TimeMs([&] { listed = EnumerateKeyNames(provider.get()).size(); }));
  }
  printf("  EnumKeys full pass: median %.3f ms (%zu keys listed, 30 passes)\n",
         Median(enum_samples), listed);

  auto open_free = [&](const std::wstring& name) {
    NCRYPT_KEY_HANDLE key = 0;
    SECURITY_STATUS status = Ksp().OpenKey(provider.get(), &key, name.c_str(), 0, 0);
    if (status == ERROR_SUCCESS) Ksp().FreeKey(provider.get(), key);
    return status;
  };
  std::vector<double> thumbprint_samples, name_samples;
  int failures = 0;
  for (int round = 0; round < 20; ++round) {
    for (const BenchCertificate* certificate : own) {
      thumbprint_samples.push_back(
          TimeMs([&] { failures += open_free(certificate->thumbprint) != ERROR_SUCCESS; }));
      name_samples.push_back(
          TimeMs([&] { failures += open_free(certificate->common_name) != ERROR_SUCCESS; }));
    }
  }
  printf("  OpenKey+FreeKey by thumbprint: median %.3f ms (%zu samples)\n",
         Median(thumbprint_samples), thumbprint_samples.size());
  printf("  OpenKey+FreeKey by common name: median %.3f ms (%zu samples)\n",
         Median(name_samples), name_samples.size());
  std::vector<double> bare_samples;
  for (int round = 0; round < 20; ++round) {
    for (const BenchCertificate* certificate : own) {
      bare_samples.push_back(TimeMs([&] { BareStoreOpenFindClose(certificate->thumbprint); }));
    }
  }
  const double bare = Median(bare_samples);
  printf("  bare store open+find+close: median %.3f ms; OpenKey by thumbprint %.2fx, by common "
         "name %.2fx, EnumKeys full pass %.2fx of it\n",
         bare, Median(thumbprint_samples) / bare, Median(name_samples) / bare,
         Median(enum_samples) / bare);

  for (int i = 0; i < 200; ++i) failures += open_free(own[i % own.size()]->thumbprint) != 0;
  // The same store work without the provider, as a yardstick for what the store itself costs
  // in memory over many openings.
  constexpr int kControlCycles = 2000;
  ProcessFigures control_before = Measure();
  for (int i = 0; i < kControlCycles; ++i) {
    BareStoreOpenFindClose(own[i % own.size()]->thumbprint);
  }
  ProcessFigures control_after = Measure();
  printf("  control, %d store open/find/close cycles without the provider: private bytes %+lld, "
         "handle table %+ld\n",
         kControlCycles,
         static_cast<long long>(control_after.commit) - static_cast<long long>(control_before.commit),
         control_after.table_handles - control_before.table_handles);

  // Figures before, half-way and after: a leak per call would grow both halves alike.
  std::vector<double> cycle_samples;
  cycle_samples.reserve(kCycles);
  ProcessFigures before = Measure();
  ProcessFigures halfway;
  double total_ms = TimeMs([&] {
    for (int i = 0; i < kCycles; ++i) {
      if (i == kCycles / 2) halfway = Measure();
      cycle_samples.push_back(
          TimeMs([&] { failures += open_free(own[i % own.size()]->thumbprint) != 0; }));
    }
  });
  ProcessFigures after = Measure();
  printf("  %d open/free cycles by thumbprint: median %.3f ms, total %.0f ms\n", kCycles,
         Median(cycle_samples), total_ms);
  PrintFigures("before", before);
  PrintFigures("halfway", halfway);
  PrintFigures("after", after);
  auto difference = [](const ProcessFigures& from, const ProcessFigures& to) {
    printf("    private bytes %+lld, handle table %+ld\n",
           static_cast<long long>(to.commit) - static_cast<long long>(from.commit),
           to.table_handles - from.table_handles);
  };
  printf("  first half:\n");
  difference(before, halfway);
  printf("  second half:\n");
  difference(halfway, after);
  printf("  failed opens: %d\n", failures);

  installed.RemoveAll();
  size_t left = 0;
  for (const BenchCertificate& certificate : certificates) {
    ScopedKey key;
    if (key.Open(provider.get(), certificate.thumbprint) == ERROR_SUCCESS) ++left;
  }
  printf("  cleanup: %zu benchmark certificates left in the store\n", left);
  return failures == 0 && left == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: murako_ksp_benchmark <folder with bench_NNNN.der>\n");
    return 2;
  }
  std::string folder = argv[1];
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  // The provider's debug log would measure the disk: send it to a throw-away folder.
  ScopedTempDirectory log_folder;
  ScopedTempPathOverride log_override(log_folder.path());
  return Run(folder);
}
