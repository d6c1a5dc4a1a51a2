#include "ksp_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

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

void AppendLine(const std::string& path, const char* line, size_t length) {
  // Append-only access makes every write land at the current end of the file, so lines written
  // by other threads or processes at the same moment are never overwritten.
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
  size_t limit = buffer_bytes > 0 ? buffer_bytes - 1 : 0;
  std::string result;
  // Converts one character (one or two UTF-16 units) at a time and stops before the first one
  // that would not fit, so a long name is cut without splitting a character.
  for (const wchar_t* cursor = text; *cursor != L'\0';) {
    int units = (IS_HIGH_SURROGATE(cursor[0]) && IS_LOW_SURROGATE(cursor[1])) ? 2 : 1;
    char encoded[8];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, cursor, units, encoded, sizeof(encoded), nullptr,
                                    nullptr);
    if (bytes <= 0) {
      encoded[0] = '?';
      bytes = 1;
    }
    if (result.size() + static_cast<size_t>(bytes) > limit) {
      break;
    }
    result.append(encoded, static_cast<size_t>(bytes));
    cursor += units;
  }
  return result;
}
