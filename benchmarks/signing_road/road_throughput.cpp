#include "road_throughput.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "logger.h"
#include "provider_road.h"
#include "scoped_srw_exclusive_lock.h"
#include "secure_storage.h"
#include "service_endpoints.h"
#include "string_conversion.h"

namespace {

constexpr int kRounds = 50;

struct Tally {
  double product_ms = 0, bare_ms = 0;
  long product = 0, bare = 0, verified = 0, own_errors = 0;

  void Add(const Tally& other) {
    product_ms += other.product_ms;
    bare_ms += other.bare_ms;
    product += other.product;
    bare += other.bare;
    verified += other.verified;
    own_errors += other.own_errors;
  }
  // Per second of a thread's time spent on each kind.
  double ProductRate() const { return product_ms > 0 ? product * 1000.0 / product_ms : 0; }
  double BareRate() const { return bare_ms > 0 ? bare * 1000.0 / bare_ms : 0; }
};

bool OwnLastError(const Setup& setup, size_t bad_length) {
  SignBridgeLibrary bridge;
  std::vector<uint8_t> unused;
  bridge.Sign(setup.key, std::vector<uint8_t>(bad_length, 1), 0, unused);
  return bridge.LastError() == "Unrecognized hash format: " + std::to_string(bad_length) +
                                   " bytes. Expected raw hash (32/48/64) or DigestInfo ASN.1 "
                                   "(51/67/83).";
}

// `threads` threads of `rounds` rounds: a signature through the provider and a bare POST, in
// turn first, each timed alone; the check of the signature and of the last-error text is not.
Tally RunThreads(const Setup& setup, int threads, int rounds, int seed) {
  ProviderRoad road;
  const std::wstring host = Utf8ToWide(DeploymentServiceHosts().citizen_development);
  std::mutex mutex;
  Tally total;
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      Tally mine;
      for (int i = 0; i < rounds; ++i) {
        const auto raw = TestDigest(32, static_cast<uint32_t>(seed + t * 1000 + i));
        const bool pss = (i % 2) == 1;
        std::vector<BYTE> signature;
        auto sign = [&] {
          const double start = NowMs();
          if (road.Sign(setup.key, raw, 32, pss, signature) == ERROR_SUCCESS) ++mine.product;
          mine.product_ms += NowMs() - start;
        };
        auto post = [&] {
          const double start = NowMs();
          if (BarePost(host, kDevelopmentPort, setup.token, SignatureRequestBody(setup, raw))) {
            ++mine.bare;
          }
          mine.bare_ms += NowMs() - start;
        };
        if ((i + t) % 2 == 0) {
          sign();
          post();
        } else {
          post();
          sign();
        }
        if (setup.control.Verify(setup.identity.id, AlgorithmFor(32, pss), raw, signature)) {
          ++mine.verified;
        }
        if (OwnLastError(setup, 21 + static_cast<size_t>(t))) ++mine.own_errors;
      }
      std::lock_guard<std::mutex> lock(mutex);
      total.Add(mine);
    });
  }
  for (std::thread& worker : workers) worker.join();
  return total;
}

void PrintTally(const char* what, const Tally& tally, long expected) {
  std::printf("threads, %s: %ld/%ld signed, %ld verified, %ld/%ld last-error texts were the "
              "thread's own; %.1f signatures/s against %.1f bare requests/s per thread: "
              "throughput ratio %.2f\n",
              what, tally.product, expected, tally.verified, tally.own_errors, expected,
              tally.ProductRate(), tally.BareRate(),
              tally.BareRate() > 0 ? tally.ProductRate() / tally.BareRate() : 0);
}

std::string OwnPath() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return WideToUtf8(std::wstring(path, length));
}

// 4 processes of 4 threads, started together; each answers with one "tally" line.
Tally RunProcesses(const Setup& setup, int processes, int threads) {
  const std::string event_name = "Local\\sendaro_road_threads_" + std::to_string(GetCurrentProcessId());
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, event_name.c_str());
  struct Child {
    PROCESS_INFORMATION process{};
    HANDLE output = nullptr;
  };
  std::vector<Child> children(static_cast<size_t>(processes));
  for (int p = 0; p < processes; ++p) {
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    HANDLE write_end = nullptr;
    CreatePipe(&children[p].output, &write_end, &inheritable, 0);
    SetHandleInformation(children[p].output, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string command = "\"" + OwnPath() + "\" threads-child " + std::to_string(threads) + " " +
                          std::to_string(kRounds) + " " + setup.token + " " + event_name + " " +
                          std::to_string(p);
    CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                   &children[p].process);
    CloseHandle(write_end);
  }
  Sleep(3000);  // every child loaded and waiting
  SetEvent(go);
  Tally total;
  for (Child& child : children) {
    std::string text;
    char buffer[512];
    DWORD read = 0;
    while (ReadFile(child.output, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
      text.append(buffer, read);
    }
    Tally tally;
    if (std::sscanf(text.c_str(), "tally %lf %lf %ld %ld %ld %ld", &tally.product_ms,
                    &tally.bare_ms, &tally.product, &tally.bare, &tally.verified,
                    &tally.own_errors) == 6) {
      total.Add(tally);
    }
    WaitForSingleObject(child.process.hProcess, INFINITE);
    CloseHandle(child.process.hProcess);
    CloseHandle(child.process.hThread);
    CloseHandle(child.output);
  }
  CloseHandle(go);
  return total;
}

// Milliseconds per call of `step` in each thread, with `threads` threads calling it at once.
template <typename Step>
double MsPerCall(int threads, int calls, Step step) {
  const double start = NowMs();
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      for (int i = 0; i < calls; ++i) step();
    });
  }
  for (std::thread& worker : workers) worker.join();
  return (NowMs() - start) / calls;
}

// A line appended the way the provider's debug log appends: one handle, threads of the process
// in turn, the byte lock that keeps processes apart.
class ProviderStyleLog {
 public:
  ProviderStyleLog() {
    char folder[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    path_ = std::string(folder, length) + "road_throughput_line.log";
    file_ = CreateFileA(path_.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  ~ProviderStyleLog() {
    CloseHandle(file_);
    DeleteFileA(path_.c_str());
  }
  void Line() {
    static const char line[] = "[10:00:00.000]     Bridge returned: hr=0x00000000, pSig=00ABCDEF\n";
    ScopedSrwExclusiveLock exclusive(lock_);
    OVERLAPPED at{};
    at.OffsetHigh = 0x7FFFFFFF;
    while (!LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
      Sleep(0);
    }
    DWORD written = 0;
    WriteFile(file_, line, sizeof(line) - 1, &written, nullptr);
    UnlockFileEx(file_, 0, 1, 0, &at);
  }

 private:
  std::string path_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  SRWLOCK lock_ = SRWLOCK_INIT;
};

// Each step of a signature alone, in 1 thread and in 8 at once: a step whose time grows much
// more than the bare POST's waits for the others, in this process or in the wineserver.
void PrintContention(const Setup& setup) {
  const std::wstring host = Utf8ToWide(DeploymentServiceHosts().citizen_development);
  const std::string body = SignatureRequestBody(setup, TestDigest(32, 3));
  wchar_t program[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring bridge_path(program, length);
  bridge_path = bridge_path.substr(0, bridge_path.find_last_of(L'\\') + 1) + L"murako_sign_bridge.dll";
  ProviderStyleLog provider_log;
  ProviderRoad road;  // holds the provider, as CNG does while a key is open
  struct Step {
    const char* name;
    int calls;
    std::function<void()> run;
  };
  const std::vector<Step> steps = {
      {"bare POST", 10, [&] { BarePost(host, kDevelopmentPort, setup.token, body); }},
      {"log line (file and debugger channel)", 200, [] { LogInfo("benchmark line"); }},
      {"debugger channel alone", 200,
       [] { OutputDebugStringA("[2026-01-01 00:00:00] [INFO] benchmark line\n"); }},
      {"provider-style log line (byte lock)", 200, [&] { provider_log.Line(); }},
      {"access token read (3 parts, no log)", 50,
       [] { SecureStorage::GetToken("oauth_access_token_ciudadano"); }},
      // What the bridge reads from credential storage at every signature: the user type, the
      // access token, the identity, then the setting, the token's record and the token again.
      {"a signature's credential reads (no log)", 20,
       [&] {
         SecureStorage::GetToken("user_type_by_thumbprint_" + setup.identity.thumbprint);
         const auto token = SecureStorage::GetToken("oauth_access_token_ciudadano");
         SecureStorage::GetToken("sign_identity_by_thumbprint_" + setup.identity.thumbprint);
         ReadTokenEnvironment(UserType::kCitizen, token.value_or(""));
       }},
      {"personal store open + find + close", 20,
       [&] { FindInPersonalStore(setup.identity.thumbprint, nullptr); }},
      {"bridge load + unload", 20, [&] { FreeLibrary(LoadLibraryW(bridge_path.c_str())); }},
      {"provider OpenKey + FreeKey", 20, [&] { OpenAndFreeKey(setup.key); }},
  };
  std::printf("threads: each step alone, ms per call in 1 thread -> in each of 8 threads at once:\n");
  for (const Step& step : steps) {
    const bool quiet = std::string(step.name).find("no log") != std::string::npos;
    if (quiet) SetMinimumLogLevel(4);
    const double alone = MsPerCall(1, step.calls, step.run);
    const double shared = MsPerCall(8, step.calls, step.run);
    if (quiet) SetMinimumLogLevel(1);
    std::printf("  %-42s %7.3f -> %7.3f ms (x%.1f)\n", step.name, alone, shared, shared / alone);
  }
}

// The end of a log file, and what the road's signatures added after it: every line of each
// signature must be there, also when several processes write at once.
class LogTail {
 public:
  explicit LogTail(const char* name) {
    char folder[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    path_ = std::string(folder, length) + name;
    start_ = Size();
  }
  size_t Count(const std::string& what) const {
    std::string text;
    HANDLE file = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE |
                              FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    LARGE_INTEGER offset;
    offset.QuadPart = static_cast<LONGLONG>(start_);
    SetFilePointerEx(file, offset, nullptr, FILE_BEGIN);
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) text.append(buffer, read);
    CloseHandle(file);
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
  }

 private:
  unsigned long long Size() const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path_.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }
  std::string path_;
  unsigned long long start_ = 0;
};

void PrintLogLines(const char* what, const LogTail& shared, const LogTail& provider, long signatures) {
  // Each round: a signature through the provider (size query and signature) and a rejected
  // call on a bridge of its own.
  std::printf("  log lines of %s: %zu/%ld bridge banners and %zu/%ld successes in "
              "murako_windows.log, %zu/%ld SignHash entries and %zu/%ld successes in "
              "murako_ksp_debug.log\n",
              what, shared.Count("MurakoSignHashRemote: Starting remote signature"), 2 * signatures,
              shared.Count("Remote signature successful: "), signatures,
              provider.Count(">>> MurakoSignHash: "), 2 * signatures,
              provider.Count("<<< MurakoSignHash: SUCCESS"), signatures);
}

}  // namespace

int Threads(const Setup& setup) {
  LogTail shared("murako_windows.log"), provider("murako_ksp_debug.log");
  const Tally in_process = RunThreads(setup, 8, kRounds, 0);
  PrintTally("8 threads in one process", in_process, 8 * kRounds);
  PrintLogLines("the 8 threads", shared, provider, in_process.product);
  LogTail shared_after("murako_windows.log"), provider_after("murako_ksp_debug.log");
  const Tally processes = RunProcesses(setup, 4, 4);
  PrintTally("4 processes x 4 threads", processes, 16 * kRounds);
  PrintLogLines("the 4 processes", shared_after, provider_after, processes.product);
  PrintContention(setup);
  const bool complete = in_process.product == 8 * kRounds && in_process.verified == 8 * kRounds &&
                        in_process.own_errors == 8 * kRounds &&
                        processes.product == 16 * kRounds && processes.verified == 16 * kRounds &&
                        processes.own_errors == 16 * kRounds;
  return complete ? 0 : 1;
}

int ThreadsChild(int argc, char** argv) {
  if (argc != 7) return 2;
  Setup setup;
  setup.identity = IdentityOf(setup.control.Accounts(), "cit-rsa2048");
  setup.token = argv[4];
  setup.key = Utf8ToWide(setup.identity.thumbprint);
  HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, argv[5]);
  if (go != nullptr) {
    WaitForSingleObject(go, 60000);
    CloseHandle(go);
  }
  const Tally tally =
      RunThreads(setup, std::atoi(argv[2]), std::atoi(argv[3]), 100000 * (1 + std::atoi(argv[6])));
  std::printf("tally %.3f %.3f %ld %ld %ld %ld\n", tally.product_ms, tally.bare_ms, tally.product,
              tally.bare, tally.verified, tally.own_errors);
  return 0;
}
