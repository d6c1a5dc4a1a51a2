#include "ksp_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "scoped_srw_exclusive_lock.h"

namespace {

constexpr size_t kMessageBytes = 1024;
constexpr char kLogFileName[] = "murako_ksp_debug.log";

// Preserves the thread's last-error value across the file operations of one log line, so that
// callers can still read the error of the call they are reporting on.
class LastErrorKeeper {
 public:
  LastErrorKeeper() : saved_(GetLastError()) {}
  ~LastErrorKeeper() { SetLastError(saved_); }
  LastErrorKeeper(const LastErrorKeeper&) = delete;
  LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

 private:
  DWORD saved_;
};

// Serialises the writes of this process. Append-only access alone makes each write land at the
// end of the file on Windows, but not everywhere (Wine seeks and writes in two steps), and a
// lost line is a lost clue; the lock is held only for one open-write-close.
SRWLOCK g_write_lock = SRWLOCK_INIT;

void AppendLine(const std::string& path, const char* line, size_t length) {
  // Append-only access makes every write land at the current end of the file, so lines written
  // by other processes at the same moment are not overwritten; the file is shared so that no
  // writer is locked out.
  ScopedSrwExclusiveLock exclusive(g_write_lock);
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return;
  }
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

std::string KspLogPath() {
  char directory[MAX_PATH] = {};
  DWORD length = GetTempPathA(MAX_PATH, directory);
  if (length == 0 || length >= MAX_PATH) {
    return std::string();
  }
  std::string path(directory, length);
  path += kLogFileName;
  if (path.size() >= MAX_PATH) {
    return std::string();
  }
  return path;
}

void KspLog(const char* format, ...) {
  LastErrorKeeper keep_last_error;
  std::string path;
  try {
    path = KspLogPath();
  } catch (...) {
    return;
  }
  if (path.empty() || format == nullptr) {
    return;
  }

  char message[kMessageBytes];
  va_list arguments;
  va_start(arguments, format);
  int formatted = vsnprintf(message, sizeof(message), format, arguments);
  va_end(arguments);
  if (formatted < 0) {
    message[0] = '\0';
  }
  message[sizeof(message) - 1] = '\0';

  SYSTEMTIME now;
  GetLocalTime(&now);
  char line[kMessageBytes + 32];
  int length = snprintf(line, sizeof(line), "[%02d:%02d:%02d.%03d] %s\n", now.wHour, now.wMinute,
                        now.wSecond, now.wMilliseconds, message);
  if (length <= 0) {
    return;
  }
  AppendLine(path, line, strlen(line));
}

std::string KspLogText(const wchar_t* text, size_t buffer_bytes) {
  if (text == nullptr) {
    return "NULL";
  }
  const size_t limit = buffer_bytes > 0 ? buffer_bytes - 1 : 0;
  // Every UTF-16 unit takes at least one byte, so no more than `limit` units can fit; a long
  // name is never converted whole. A surrogate pair is not split at the end.
  size_t units = wcsnlen(text, limit + 1);
  if (units > limit) {
    units = limit;
  }
  if (units > 0 && IS_HIGH_SURROGATE(text[units - 1])) {
    --units;
  }
  if (units == 0) {
    return std::string();
  }
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(units), nullptr, 0, nullptr,
                                  nullptr);
  if (bytes <= 0) {
    return std::string();
  }
  std::string result(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(units), &result[0], bytes, nullptr,
                      nullptr);
  if (result.size() > limit) {
    // Cut before the lead byte of the first character that does not fit whole.
    size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(result[cut]) & 0xC0) == 0x80) {
      --cut;
    }
    result.resize(cut);
  }
  return result;
}
