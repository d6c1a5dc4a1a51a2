#include "logger.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "cross_process_writer_lock.h"
#include "guarded_entry.h"
#include "log_redaction.h"
#include "log_file_rotation.h"
#include "scoped_srw_exclusive_lock.h"
#include "service_log_location.h"
#include "unique_handle.h"

namespace {

constexpr char kLogFileName[] = "murako_windows.log";
constexpr DWORD kTempPathCapacity = MAX_PATH;
// After a rotation that could not be done (the file held open by a program that does not share
// its deletion), lines are appended without trying again for this long.
constexpr ULONGLONG kRotationRetryMs = 10000;

// A caller whose line another thread is writing waits at most this long for it.
constexpr DWORD kLineWaitMs = 10000;

std::atomic<int> g_minimum_level{1};
std::atomic<bool> g_file_sink_disabled{false};

std::tm CurrentLocalTime() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_s(&local, &now);
  return local;
}

// Empty when the system cannot tell the temporary directory. A service process (the bridge
// inside a service) logs in its account's protected folder, as the provider does, and not at
// all when that folder is unusable: the system's temporary folder is writable by every user.
std::string LogFilePath() {
  const LogAccount account = CurrentLogAccount();
  if (account != LogAccount::User) {
    const std::string folder = PreparedServiceLogFolder(account);
    return folder.empty() ? std::string() : folder + kLogFileName;
  }
  char buffer[kTempPathCapacity + 1] = {};
  DWORD length = GetTempPathA(kTempPathCapacity, buffer);
  if (length == 0 || length > kTempPathCapacity) return {};
  return std::string(buffer, length) + kLogFileName;
}

// The log file stays open between lines, for the path it was opened under, and is closed when
// the module is unloaded (the signing bridge: after every signature) or the temporary folder
// changes. It is opened for appending only: the system then places every write at the current
// end of file, so lines written at once by several threads or processes (the bridge inside many
// hosts) never overwrite one another, and each line reaches the file with one write before the
// call returns, so nothing is lost when a host process exits right after. Threads of one
// process take turns (see LineQueue), and processes hold a byte lock for each write, for
// systems that place an append-only write by first reading the size (Wine).
// A write that would take the file past its cap rotates it first (log_file_rotation.h); a
// handle left on a file another process rotated sees that file full and moves to the new one.
class OpenLogFile {
 public:
  OpenLogFile() = default;
  // Lines logged by other objects' destructors after this one reach the debugger only.
  ~OpenLogFile() { g_file_sink_disabled = true; }
  OpenLogFile(const OpenLogFile&) = delete;
  OpenLogFile& operator=(const OpenLogFile&) = delete;

  // Writes one line, opening the file first when needed. False when the file cannot be opened.
  bool Append(const std::string& path, const std::string& text) {
    // One query per write gives both whether the file is still there and its size.
    FILE_STANDARD_INFO info{};
    if (file_ && (path != path_ || !ReadStandardInfo(&info) || WasDeleted(info))) Close();
    if (!file_) {
      if (!Open(path)) return false;
      if (!ReadStandardInfo(&info)) info = FILE_STANDARD_INFO{};
    }
    if (LogFileIsFull(static_cast<uint64_t>(info.EndOfFile.QuadPart), text.size()) &&
        RotationMayBeTried()) {
      Close();
      if (!RotateFullLogFile(path, text.size())) rotation_failed_at_ = GetTickCount64();
      if (!Open(path)) return false;
    }
    CrossProcessWriterLock writer(file_.get());
    DWORD written = 0;
    WriteFile(file_.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return true;
  }

  void Close() {
    file_.reset();
    path_.clear();
  }

 private:
  bool Open(const std::string& path) {
    // Read access only so that the file can be locked; writes stay append-only.
    file_ = OpenLogFileNoLink(path, FILE_APPEND_DATA | FILE_READ_DATA, OPEN_ALWAYS);
    if (!file_) return false;
    path_ = path;
    return true;
  }

  bool RotationMayBeTried() const {
    return rotation_failed_at_ == 0 || GetTickCount64() - rotation_failed_at_ >= kRotationRetryMs;
  }

  bool ReadStandardInfo(FILE_STANDARD_INFO* info) const {
    return GetFileInformationByHandleEx(file_.get(), FileStandardInfo, info, sizeof(*info)) !=
           FALSE;
  }

  // A log removed by the user (or a test) while open: the next line starts a new file.
  static bool WasDeleted(const FILE_STANDARD_INFO& info) {
    return info.DeletePending || info.NumberOfLinks == 0;
  }

  UniqueFile file_;
  std::string path_;
  ULONGLONG rotation_failed_at_ = 0;
};

OpenLogFile g_log_file;

// The lines of this process on their way to the file. One thread at a time writes, and it
// writes every line queued by then with one write under one byte lock, so threads logging at
// once share the lock's cost instead of queueing for it line by line; each caller still
// returns once its own line is in the file. The slim lock and the condition variable own no
// kernel object, so loading and unloading the bridge at every signature leaves nothing behind.
struct LineQueue {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE written = CONDITION_VARIABLE_INIT;
  std::string pending;
  uint64_t queued = 0;   // texts (a line, or a call's lines) queued so far
  uint64_t settled = 0;  // texts written, or dropped with a failed write, so far
  bool writing = false;
};
LineQueue g_lines;

// Without the queue's lock, by the one writing thread.
void WriteBatch(const std::string& text) {
  const bool appended = GuardEntry(
      [&] {
        std::string path = LogFilePath();
        return !path.empty() && g_log_file.Append(path, text);
      },
      [](const CaughtFailure&) { return false; });
  if (appended) return;
  g_log_file.Close();
  g_file_sink_disabled = true;
}

void AppendToLogFile(const std::string& line) {
  std::string text = ToTextModeLineEndings(line);
  ScopedSrwExclusiveLock lock(g_lines.lock);
  g_lines.pending += text;
  const uint64_t mine = ++g_lines.queued;
  const ULONGLONG deadline = GetTickCount64() + kLineWaitMs;
  while (g_lines.settled < mine) {
    if (!g_lines.writing) {
      g_lines.writing = true;
      std::string batch;
      batch.swap(g_lines.pending);
      const uint64_t last = g_lines.queued;
      ReleaseSRWLockExclusive(&g_lines.lock);
      WriteBatch(batch);
      AcquireSRWLockExclusive(&g_lines.lock);
      g_lines.settled = last;
      g_lines.writing = false;
      WakeAllConditionVariable(&g_lines.written);
      continue;
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return;  // a writer that hangs keeps the line; the caller goes on
    SleepConditionVariableSRW(&g_lines.written, &g_lines.lock, static_cast<DWORD>(deadline - now),
                              0);
  }
}

// A listener without a debugger reads each message from a shared buffer of 4 KiB, so a call's
// lines go to the debugger channel in messages of whole lines that fit it (a longer line alone).
constexpr size_t kDebuggerMessageBytes = 4000;

void SendToDebugger(const std::string& lines) {
  if (lines.size() <= kDebuggerMessageBytes) {  // one line, or a short call: no copy
    OutputDebugStringA(lines.c_str());
    return;
  }
  size_t start = 0;
  while (start < lines.size()) {
    size_t end = start;
    while (end < lines.size()) {
      const size_t line_end = lines.find('\n', end);
      const size_t next = line_end == std::string::npos ? lines.size() : line_end + 1;
      if (end > start && next - start > kDebuggerMessageBytes) break;
      end = next;
    }
    OutputDebugStringA(lines.substr(start, end - start).c_str());
    start = end;
  }
}

// One or more whole lines to the debugger channel and the file.
void WriteLines(const std::string& lines) {
  SendToDebugger(lines);
  if (g_file_sink_disabled) return;
  GuardEntry([&] { AppendToLogFile(lines); },
             [](const CaughtFailure&) { g_file_sink_disabled = true; });
}

void LogNotice(const char* prefix, const std::string& text, bool success) {
  GuardEntry([&] { LogAt(success ? LogLevel::Info : LogLevel::Error, prefix + text); },
             [](const CaughtFailure&) {});
}

const char* TagFor(LogLevel level) {
  switch (level) {
    case LogLevel::Info: return "INFO";
    case LogLevel::Warning: return "WARNING";
    case LogLevel::Error: return "ERROR";
  }
  return "INFO";
}

}  // namespace

std::string FormatLogLine(const std::tm& local_time, const std::string& tag,
                          const std::string& message) {
  char timestamp[32] = {};
  std::strftime(timestamp, sizeof(timestamp), "%Y-%m-%d %H:%M:%S", &local_time);
  return "[" + std::string(timestamp) + "] [" + tag + "] " + EscapeForLog(message) + "\n";
}

std::string ToTextModeLineEndings(const std::string& text) {
  std::string converted;
  converted.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '\n') converted += '\r';
    converted += c;
  }
  return converted;
}

void WriteLog(int level, const std::string& tag, const std::string& message) {
  if (level < g_minimum_level) return;
  // Composing the line may fail (out of memory): the message is lost, the caller is not.
  GuardEntry(
      [&] {
        std::string line = FormatLogLine(CurrentLocalTime(), tag, message);
        if (!LineBatch::Hold(&WriteLines, line)) WriteLines(line);
      },
      [](const CaughtFailure&) {});
}

LogBatch::LogBatch() noexcept : LineBatch(&WriteLines) {}

void FlushLogBatch() noexcept { LineBatch::FlushOpen(&WriteLines); }

void LogAt(LogLevel level, const std::string& message) {
  WriteLog(static_cast<int>(level), TagFor(level), message);
}

void LogInfo(const std::string& message) { LogAt(LogLevel::Info, message); }
void LogWarning(const std::string& message) { LogAt(LogLevel::Warning, message); }
void LogError(const std::string& message) { LogAt(LogLevel::Error, message); }

void SetMinimumLogLevel(int level) { g_minimum_level = level; }

bool IsLogFileSinkDisabled() { return g_file_sink_disabled; }

void LogOAuthNotice(const std::string& text, bool success) {
  LogNotice("[TOAST OAUTH] ", text, success);
}

void LogSignatureNotice(const std::string& text, bool success) {
  LogNotice("[TOAST SIGNATURE] ", text, success);
}
