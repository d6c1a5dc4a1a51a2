// Benchmarks of the signing road (a program, not a test; benchmarks/signing_road/run_benchmark.sh
// runs it under Wine with the service double started):
//   threads  signatures through the provider from 8 threads at once, alternating in the same
//            threads with bare WinHTTP POSTs, and their throughput ratio; the same with 4
//            processes of 4 threads; then what each step of the road costs alone in 8 threads
//            against 1 (road_throughput.cpp)
//   leaks    1,000 signatures: handle count and private bytes after the first 10 and at the end,
//            with "murako_environment" stored and with it absent
//   leakparts which step of the road keeps handles or memory, each alone 200 times
//   latency  per-signature wall time provider -> bridge -> double against a bare WinHTTP POST
//            of the same body with a fresh session, 300 pairs in balanced order, and their
//            ratio (means of the middle 80%, and medians); then
//            where the difference goes: each step of the bridge's work timed alone, times the
//            number of times one signature takes it, and the provider's own share beside the
//            bridge: store searches, the signature check, its debug log
#include <windows.h>
#include <bcrypt.h>
#include <wincred.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "logger.h"
#include "murako_api_client.h"
#include "murako_api_json.h"
#include "provider_road.h"
#include "secure_storage.h"
#include "service_double_control.h"
#include "service_endpoints.h"
#include "road_setup.h"
#include "road_throughput.h"
#include "signing_road_support.h"
#include "string_conversion.h"
#include "text_encoding.h"
#include "unique_handle.h"
#include "winhttp_response.h"

namespace {

// The mean of the middle 80%: one slow outlier does not move it, and unlike the median it does
// not jump from one mode to the next when the times cluster.
double TrimmedMean(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t cut = values.size() / 10;
  double sum = 0;
  for (size_t i = cut; i < values.size() - cut; ++i) sum += values[i];
  return sum / static_cast<double>(values.size() - 2 * cut);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// 1,000 signatures in one process. `environment` is what "murako_environment" holds, or null for
// no entry at all: under Wine every read of an absent credential leaves a registry handle open.
int Leaks(const Setup& setup, const char* environment) {
  if (environment != nullptr) {
    SecureStorage::StoreToken(kEnvironmentKey, environment);
  } else {
    SecureStorage::DeleteToken(kEnvironmentKey);
  }
  ProviderRoad road;
  int failures = 0, verified = 0;
  ProcessFootprint after_ten;
  for (int i = 0; i < 1000; ++i) {
    auto raw = TestDigest(32, static_cast<uint32_t>(i));
    std::vector<BYTE> signature;
    if (road.Sign(setup.key, raw, 32, false, signature) != ERROR_SUCCESS) ++failures;
    if (i % 100 == 0 && setup.control.Verify(setup.identity.id, "rsa-sha256", raw, signature)) ++verified;
    if (i == 9) after_ten = MeasureProcessFootprint();
  }
  ProcessFootprint at_end = MeasureProcessFootprint();
  SecureStorage::DeleteToken(kEnvironmentKey);
  std::printf("leaks (environment %s): 1000 signatures, %d failed, %d/10 sampled verified; handles "
              "after 10: %lu, after 1000: %lu; private bytes after 10: %llu, after 1000: %llu "
              "(%+lld)\n",
              environment != nullptr ? environment : "absent", failures, verified,
              after_ten.handles, at_end.handles,
              static_cast<unsigned long long>(after_ten.private_bytes),
              static_cast<unsigned long long>(at_end.private_bytes),
              static_cast<long long>(at_end.private_bytes) -
                  static_cast<long long>(after_ten.private_bytes));
  return failures == 0 ? 0 : 1;
}

template <typename Step>
double MedianMs(int rounds, Step step) {
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    const double start = NowMs();
    step();
    times.push_back(NowMs() - start);
  }
  return Median(times);
}

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::string LogFilePath() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(MAX_PATH, buffer);
  return std::string(buffer, length) + "murako_windows.log";
}

std::string LogGrowth(ProviderRoad& road, const Setup& setup, const std::vector<uint8_t>& raw,
                      const std::string& path);

// What one signature adds to the shared log, and to the provider's own.
std::string LogOfOneSignature(ProviderRoad& road, const Setup& setup,
                              const std::vector<uint8_t>& raw) {
  return LogGrowth(road, setup, raw, LogFilePath());
}
std::string ProviderLogOfOneSignature(ProviderRoad& road, const Setup& setup,
                                      const std::vector<uint8_t>& raw) {
  std::string path = LogFilePath();
  return LogGrowth(road, setup, raw, path.substr(0, path.rfind('\\') + 1) + "murako_ksp_debug.log");
}

std::string LogGrowth(ProviderRoad& road, const Setup& setup, const std::vector<uint8_t>& raw,
                      const std::string& path) {
  auto size_of = [&path] {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0ull;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  };
  const unsigned long long before = size_of();
  std::vector<BYTE> signature;
  road.Sign(setup.key, raw, 32, false, signature);
  std::string text;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return text;
  LARGE_INTEGER offset;
  offset.QuadPart = static_cast<LONGLONG>(before);
  SetFilePointerEx(file, offset, nullptr, FILE_BEGIN);
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) text.append(buffer, read);
  CloseHandle(file);
  return text;
}

size_t CountOf(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// Timestamps of the log lines of one signature, taken from the debugger channel.
struct TimedLine {
  double ms;
  std::string text;
};
std::vector<TimedLine>* g_timed_lines = nullptr;

LONG CALLBACK RecordTimedLine(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode != DBG_PRINTEXCEPTION_C || record->NumberParameters < 2) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  if (g_timed_lines != nullptr) {
    g_timed_lines->push_back({NowMs(), reinterpret_cast<const char*>(record->ExceptionInformation[1])});
  }
  return EXCEPTION_CONTINUE_EXECUTION;
}

// The time before each log line of one signature (and after the last one), with the lines.
std::vector<TimedLine> StepsOf(const std::function<void()>& sign) {
  std::vector<TimedLine> lines;
  g_timed_lines = &lines;
  PVOID handler = AddVectoredExceptionHandler(1, &RecordTimedLine);
  const double start = NowMs();
  sign();
  const double end = NowMs();
  RemoveVectoredExceptionHandler(handler);
  g_timed_lines = nullptr;
  std::vector<TimedLine> steps;
  double previous = start;
  for (const TimedLine& line : lines) {
    std::string text = line.text.substr(line.text.find("] ", 1) + 2, 70);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    steps.push_back({line.ms - previous, text});
    previous = line.ms;
  }
  steps.push_back({end - previous, "(after the last line)"});
  return steps;
}

// The steps of a call on a freshly loaded bridge that take longer than on a bridge kept
// loaded: medians over `rounds` calls each, step by step.
void PrintSlowerSteps(const Setup& setup, const std::vector<uint8_t>& raw, int rounds) {
  std::vector<std::vector<TimedLine>> fresh, kept;
  std::vector<uint8_t> signature;
  for (int i = 0; i < rounds; ++i) {
    fresh.push_back(StepsOf([&] { SignBridgeLibrary().Sign(setup.key, raw, 0, signature); }));
  }
  {
    SignBridgeLibrary bridge;
    for (int i = 0; i < rounds; ++i) {
      kept.push_back(StepsOf([&] { bridge.Sign(setup.key, raw, 0, signature); }));
    }
  }
  const size_t steps = fresh[0].size();
  std::vector<std::pair<double, std::string>> differences;
  for (size_t step = 0; step < steps; ++step) {
    std::vector<double> a, b;
    for (const auto& run : fresh) if (run.size() == steps) a.push_back(run[step].ms);
    for (const auto& run : kept) if (run.size() == steps) b.push_back(run[step].ms);
    if (a.empty() || b.empty()) continue;
    differences.push_back({Median(a) - Median(b), fresh[0][step].text});
  }
  std::sort(differences.begin(), differences.end(),
            [](const auto& x, const auto& y) { return x.first > y.first; });
  std::printf("  steps slower on a freshly loaded bridge (median of %d, before the line):\n", rounds);
  for (size_t i = 0; i < 4 && i < differences.size(); ++i) {
    std::printf("    %+.2f ms  %s\n", differences[i].first, differences[i].second.c_str());
  }
}

// The system folder's bcrypt.dll loaded by full path and released, as a check did per signature.
void LoadAndFreeSystemBCrypt() {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  const std::wstring path = std::wstring(folder, length) + L"\\bcrypt.dll";
  FreeLibrary(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
}

// The certificate's public key imported and the signature verified, as the provider checks it.
bool ImportAndVerify(const std::vector<BYTE>& der, const std::vector<uint8_t>& raw,
                     std::vector<BYTE>& signature) {
  PCCERT_CONTEXT certificate = CertCreateCertificateContext(
      X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
  if (certificate == nullptr) return false;
  BCRYPT_KEY_HANDLE key = nullptr;
  bool verified = false;
  if (CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, &certificate->pCertInfo->SubjectPublicKeyInfo,
                                  0, nullptr, &key)) {
    BCRYPT_PKCS1_PADDING_INFO pkcs1{BCRYPT_SHA256_ALGORITHM};
    verified = BCryptVerifySignature(key, &pkcs1, const_cast<PUCHAR>(raw.data()),
                                     static_cast<ULONG>(raw.size()), signature.data(),
                                     static_cast<ULONG>(signature.size()), BCRYPT_PAD_PKCS1) == 0;
    BCryptDestroyKey(key);
  }
  CertFreeCertificateContext(certificate);
  return verified;
}

// One debug-log line appended the way the provider used to (open, append, close) and on a handle
// kept open with the byte lock that keeps processes apart.
std::pair<double, double> LogLineCosts() {
  char folder[MAX_PATH];
  const DWORD length = GetTempPathA(MAX_PATH, folder);
  const std::string path = std::string(folder, length) + "signing_road_benchmark_line.log";
  const char line[] = "[10:00:00.000]     Bridge returned: hr=0x00000000, pSig=0000000000ABCDEF\n";
  const DWORD bytes = static_cast<DWORD>(sizeof(line) - 1);
  const double reopened = MedianMs(5, [&] {
    for (int i = 0; i < 100; ++i) {
      HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      DWORD written = 0;
      WriteFile(file, line, bytes, &written, nullptr);
      CloseHandle(file);
    }
  }) / 100;
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  const double kept = MedianMs(5, [&] {
    for (int i = 0; i < 100; ++i) {
      OVERLAPPED at{};
      at.OffsetHigh = 0x7FFFFFFF;
      LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at);
      DWORD written = 0;
      WriteFile(file, line, bytes, &written, nullptr);
      UnlockFileEx(file, 0, 1, 0, &at);
    }
  }) / 100;
  CloseHandle(file);
  DeleteFileA(path.c_str());
  return {reopened, kept};
}

// The provider's own share of a signature (all but the bridge's load, call and unload), and
// what it is made of.
void PrintProviderBreakdown(ProviderRoad& road, const Setup& setup, const std::vector<uint8_t>& raw,
                            double provider, double fresh_bridge, size_t provider_lines) {
  std::vector<BYTE> der, signature;
  road.Sign(setup.key, raw, 32, false, signature);
  // Side by side, so that drift hits both alike: the whole provider road, and the bridge alone
  // loaded, called and unloaded by this program.
  std::vector<double> through_provider, bridge_alone;
  std::vector<uint8_t> bridge_signature;
  for (int i = 0; i < 60; ++i) {
    double start = NowMs();
    road.Sign(setup.key, raw, 32, false, signature);
    through_provider.push_back(NowMs() - start);
    start = NowMs();
    SignBridgeLibrary().Sign(setup.key, raw, 0, bridge_signature);
    bridge_alone.push_back(NowMs() - start);
  }
  const double store = MedianMs(30, [&] { FindInPersonalStore(setup.identity.thumbprint, &der); });
  const double bcrypt = MedianMs(30, [] { LoadAndFreeSystemBCrypt(); });
  const double verify = MedianMs(30, [&] { ImportAndVerify(der, raw, signature); });
  const std::pair<double, double> line = LogLineCosts();
  std::printf("  the provider around the bridge (OpenKey, SignHash twice, FreeKey, without the "
              "bridge's load, call and unload): %.2f ms (the whole run's medians: %.2f ms)\n",
              Median(through_provider) - Median(bridge_alone), provider - fresh_bridge);
  std::printf("    personal store open + find + close: %.2f ms, once a signature (OpenKey; the "
              "signature check uses the certificate found there)\n", store);
  std::printf("    signature check: public key import + verify %.2f ms; system bcrypt.dll load + "
              "unload %.2f ms (now held while the provider is open)\n", verify, bcrypt);
  std::printf("    debug log: %zu lines x %.3f ms on the handle kept open = %.2f ms (open + append + "
              "close per line: %.3f ms = %.2f ms)\n", provider_lines, line.second,
              provider_lines * line.second, line.first, provider_lines * line.first);
}

// Each step of the bridge's work alone, times how often one signature takes it.
void PrintBreakdown(ProviderRoad& road, const Setup& setup, const std::vector<uint8_t>& raw,
                    double provider, double bare, double bare_direct) {
  const std::string log = LogOfOneSignature(road, setup, raw);
  const size_t lines = CountOf(log, "\n");
  const size_t reads = CountOf(log, "SecureStorage::GetToken - Retrieving token for key: ");
  const size_t absent = CountOf(log, "SecureStorage::GetToken - Token not found");
  const double line = MedianMs(5, [] { for (int i = 0; i < 100; ++i) LogInfo("benchmark line"); }) / 100;
  const double debugger = MedianMs(5, [] {
    for (int i = 0; i < 100; ++i) OutputDebugStringA("[2026-01-01 00:00:00] [INFO] benchmark line\n");
  }) / 100;
  const double compose = MedianMs(5, [] {
    for (int i = 0; i < 100; ++i) {
      std::time_t now = std::time(nullptr);
      std::tm local{};
      localtime_s(&local, &now);
      FormatLogLine(local, "INFO", "benchmark line");
    }
  }) / 100;
  const std::string provider_log = ProviderLogOfOneSignature(road, setup, raw);
  const size_t provider_lines = CountOf(provider_log, "\n");
  SetMinimumLogLevel(4);  // the reads alone, without their own log lines
  const double found = MedianMs(50, [] { SecureStorage::GetToken("oauth_access_token_ciudadano"); });
  const double missing = MedianMs(50, [] { SecureStorage::GetToken("no_such_key_for_benchmark"); });
  SetMinimumLogLevel(1);
  SignatureRequest request{setup.identity.id, EncodeBase64(raw), "", "rsa-sha256"};
  const double json = MedianMs(5, [&] { for (int i = 0; i < 100; ++i) BuildSignatureRequestJson(request); }) / 100;
  const std::wstring bridge_path = ProgramFolder() + L"murako_sign_bridge.dll";
  const double load = MedianMs(50, [&] { FreeLibrary(LoadLibraryW(bridge_path.c_str())); });
  std::vector<uint8_t> signature;
  const double fresh_bridge = MedianMs(30, [&] { SignBridgeLibrary().Sign(setup.key, raw, 0, signature); });
  const double kept_bridge = [&] {
    SignBridgeLibrary bridge;
    return MedianMs(30, [&] { bridge.Sign(setup.key, raw, 0, signature); });
  }();
  const double open_key = MedianMs(30, [&] { OpenAndFreeKey(setup.key); });
  const double logging = static_cast<double>(lines) * line;
  const double storage = static_cast<double>(reads - absent) * found + static_cast<double>(absent) * missing;
  const double proxy = bare - bare_direct;
  const double rest = provider - bare - logging - storage - json - open_key - (fresh_bridge - kept_bridge);
  std::printf("breakdown of the %.2f ms per signature over the bare POST:\n", provider - bare);
  std::printf("  log: %zu lines x %.3f ms = %.2f ms (a line's local time and text %.3f ms, its "
              "debugger channel, OutputDebugStringA, %.3f ms: under Wine a round trip to the "
              "wineserver each)\n",
              lines, line, logging, compose, debugger);
  std::printf("  the provider's own debug log: %zu lines a signature\n", provider_lines);
  std::printf("  credential reads: %zu found x %.3f ms + %zu absent x %.3f ms = %.2f ms\n",
              reads - absent, found, absent, missing, storage);
  std::printf("  JSON request body: %.3f ms\n", json);
  std::printf("  bridge load + unload: %.2f ms alone; a call on a freshly loaded bridge %.2f ms, "
              "on one kept loaded %.2f ms: %.2f ms more\n",
              load, fresh_bridge, kept_bridge, fresh_bridge - kept_bridge);
  std::printf("  provider OpenKey + FreeKey (certificate store search): %.2f ms\n", open_key);
  std::printf("  automatic proxy detection (in both): %.2f ms\n", proxy);
  std::printf("  rest (provider SignHash, its own log, client set-up): %.2f ms\n", rest);
  PrintProviderBreakdown(road, setup, raw, provider, fresh_bridge, provider_lines);
  PrintSlowerSteps(setup, raw, 15);
}

constexpr int kLatencyPairs = 300;

// Under Wine the POST waits on the peer's delayed acknowledgement, so times cluster a kernel
// tick apart (4 ms): which cluster holds the middle sample decides the median.
void PrintPercentiles(const char* what, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  std::printf("  %-26s percentiles 10/25/50/75/90:", what);
  for (int percent : {10, 25, 50, 75, 90}) std::printf(" %.1f", times[times.size() * percent / 100]);
  std::printf(" ms\n");
}

int Latency(const Setup& setup) {
  ProviderRoad road;
  const ServiceHosts& hosts = DeploymentServiceHosts();
  const std::wstring host = Utf8ToWide(hosts.citizen_development);
  std::vector<double> provider_ms, bare_ms, bridge_ms, direct_ms;
  int failures = 0;
  auto raw = TestDigest(32, 77);
  const std::string body = "{\"digest_value\":\"" + EncodeBase64(raw) +
                           "\",\"sign_identity_id\":\"" + setup.identity.id +
                           "\",\"signature_algorithm\":\"rsa-sha256\"}";
  // Warm-up of both paths, then pairs in the order AB BA AB ...: each kind follows itself as
  // often as the other, since a request runs measurably faster right after another request.
  std::vector<BYTE> signature;
  road.Sign(setup.key, raw, 32, false, signature);
  BarePost(host, kDevelopmentPort, setup.token, body);
  auto sign_through_provider = [&] {
    const double start = NowMs();
    if (road.Sign(setup.key, raw, 32, false, signature) != ERROR_SUCCESS) ++failures;
    provider_ms.push_back(NowMs() - start);
  };
  auto post_bare = [&] {
    const double start = NowMs();
    if (!BarePost(host, kDevelopmentPort, setup.token, body)) ++failures;
    bare_ms.push_back(NowMs() - start);
  };
  for (int i = 0; i < kLatencyPairs; ++i) {
    if (i % 2 == 0) {
      sign_through_provider();
      post_bare();
    } else {
      post_bare();
      sign_through_provider();
    }
  }
  // Where the time goes: the bare POST without automatic proxy detection, and the bridge
  // alone with the library kept loaded (no load per signature).
  for (int i = 0; i < 50; ++i) {
    double start = NowMs();
    BarePost(host, kDevelopmentPort, setup.token, body, WINHTTP_ACCESS_TYPE_NO_PROXY);
    direct_ms.push_back(NowMs() - start);
  }
  // Loaded only now: while held, the provider's load and unload at each signature would only
  // count references.
  auto direct_bridge_probe = std::make_unique<SignBridgeLibrary>();
  for (int i = 0; i < 50; ++i) {
    double start = NowMs();
    direct_bridge_probe->Sign(setup.key, raw, 0, signature);
    bridge_ms.push_back(NowMs() - start);
  }
  const double provider = TrimmedMean(provider_ms), bare = TrimmedMean(bare_ms);
  std::printf("latency over %d pairs: provider->bridge->double %.2f ms, bare WinHTTP POST %.2f ms, "
              "ratio %.2f (means of the middle 80%%); medians %.2f and %.2f ms, ratio %.2f\n",
              kLatencyPairs, provider, bare, provider / bare, Median(provider_ms), Median(bare_ms),
              Median(provider_ms) / Median(bare_ms));
  PrintPercentiles("provider->bridge->double", provider_ms);
  PrintPercentiles("bare WinHTTP POST", bare_ms);
  std::printf("  bridge call with the library kept loaded (50) %.2f ms; bare POST without proxy "
              "detection (50) %.2f ms; %d failures\n",
              TrimmedMean(bridge_ms), TrimmedMean(direct_ms), failures);
  direct_bridge_probe.reset();  // so that the breakdown times a real load and unload
  PrintBreakdown(road, setup, raw, provider, bare, TrimmedMean(direct_ms));
  return failures == 0 ? 0 : 1;
}

// Which step of the road holds on to resources: each part alone, 200 times.
int LeakParts(const Setup& setup) {
  auto report = [](const char* what, const ProcessFootprint& before, const ProcessFootprint& after) {
    std::printf("  %-44s handles %+ld, private bytes %+lld\n", what,
                static_cast<long>(after.handles) - static_cast<long>(before.handles),
                static_cast<long long>(after.private_bytes) -
                    static_cast<long long>(before.private_bytes));
  };
  auto raw = TestDigest(32, 5);
  const std::string body = "{\"digest_value\":\"" + EncodeBase64(raw) +
                           "\",\"sign_identity_id\":\"" + setup.identity.id +
                           "\",\"signature_algorithm\":\"rsa-sha256\"}";
  const std::wstring host = Utf8ToWide(DeploymentServiceHosts().citizen_development);
  std::printf("leak parts (200 rounds each):\n");
  {
    ProcessFootprint before = MeasureProcessFootprint();
    for (int i = 0; i < 200; ++i) SecureStorage::GetToken("oauth_access_token_ciudadano");
    report("credential read", before, MeasureProcessFootprint());
    before = MeasureProcessFootprint();
    for (int i = 0; i < 200; ++i) SecureStorage::GetToken("no_such_key_for_benchmark");
    report("credential read of a missing key", before, MeasureProcessFootprint());
    before = MeasureProcessFootprint();
    for (int i = 0; i < 200; ++i) {
      PCREDENTIALW record = nullptr;
      if (CredReadW(L"no_such_key_for_benchmark", CRED_TYPE_GENERIC, 0, &record)) CredFree(record);
    }
    report("bare CredReadW of a missing key", before, MeasureProcessFootprint());
    before = MeasureProcessFootprint();
    for (int i = 0; i < 200; ++i) LogInfo("benchmark line");
    report("log line", before, MeasureProcessFootprint());
    before = MeasureProcessFootprint();
    for (int i = 0; i < 200; ++i) {
      MurakoApiClient client("https://" + DeploymentServiceHosts().citizen_development + ":8082", setup.token);
      client.Post("/trustedx-resources/esigp/v1/signatures/server/raw", body);
    }
    report("api client POST", before, MeasureProcessFootprint());
    before = MeasureProcessFootprint();
    for (int i = 0; i < 200; ++i) {
      RequestAttempt attempt{"POST", host, L"/trustedx-resources/esigp/v1/signatures/server/raw", body, 8082, ProxyAccessType::Automatic, "AUTOMATIC_PROXY", setup.token};
      uint32_t error = 0;
      MurakoApiClient::TryWinHttpRequest(attempt, error);
    }
    report("one attempt", before, MeasureProcessFootprint());
    before = MeasureProcessFootprint();
    for (int i = 0; i < 200; ++i) {
      HMODULE module = LoadLibraryW(L"msimg32.dll");
      FreeLibrary(module);
    }
    report("load + unload of a system library", before, MeasureProcessFootprint());
    before = MeasureProcessFootprint();
    for (int i = 0; i < 200; ++i) {
      HMODULE module = LoadLibraryW(L"murako_ksp.dll");
      FreeLibrary(module);
    }
    report("load + unload of the provider", before, MeasureProcessFootprint());
  }
  for (int round = 0; round < 2; ++round) {
    ProcessFootprint before = MeasureProcessFootprint();
    for (int i = 0; i < 200; ++i) {
      HMODULE module = LoadLibraryW(L"murako_sign_bridge.dll");
      FreeLibrary(module);
    }
    report("load + unload of the bridge", before, MeasureProcessFootprint());
    before = MeasureProcessFootprint();
    for (int i = 0; i < 200; ++i) BarePost(host, kDevelopmentPort, setup.token, body);
    report("bare WinHTTP POST", before, MeasureProcessFootprint());
    {
      SignBridgeLibrary bridge;
      std::vector<uint8_t> signature;
      bridge.Sign(setup.key, raw, 0, signature);
      before = MeasureProcessFootprint();
      for (int i = 0; i < 200; ++i) bridge.Sign(setup.key, raw, 0, signature);
      report("bridge call, library kept loaded", before, MeasureProcessFootprint());
    }
    before = MeasureProcessFootprint();
    for (int i = 0; i < 200; ++i) {
      HMODULE module = LoadLibraryW(L"murako_sign_bridge.dll");
      auto sign = reinterpret_cast<MurakoSignHashRemoteFn>(GetProcAddress(module, "MurakoSignHashRemote"));
      BYTE* buffer = nullptr;
      DWORD length = 0;
      std::vector<uint8_t> bad(20, 1);
      sign(setup.key.c_str(), bad.data(), 20, 0, &buffer, &length);
      FreeLibrary(module);
    }
    report("load + rejected call + unload", before, MeasureProcessFootprint());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "all";
  if (mode == "threads-child") return ThreadsChild(argc, argv);
  Setup setup;
  if (!Prepare(setup)) return 2;
  setup.control.SetTestAuthorityTrusted(true);
  int result = 0;
  if (mode == "threads" || mode == "all") result |= Threads(setup);
  if (mode == "leaks" || mode == "all") {
    result |= Leaks(setup, "desa");
    result |= Leaks(setup, nullptr);
  }
  if (mode == "latency" || mode == "all") result |= Latency(setup);
  if (mode == "leakparts") result |= LeakParts(setup);
  CleanUp(setup);
  return result;
}
