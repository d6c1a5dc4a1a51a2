#include "ksp_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "ksp_log_file.h"
#include "log_escape.h"
#include "service_log_location.h"

namespace {

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

std::string TemporaryFolder() {
  char directory[MAX_PATH] = {};
  DWORD length = GetTempPathA(MAX_PATH, directory);
  if (length == 0 || length >= MAX_PATH) {
    return std::string();
  }
  return std::string(directory, length);
}

// One or more whole lines, appended to the log of the current account and folder.
void WriteLines(const std::string& lines) {
  LastErrorKeeper keep_last_error;
  const std::string path = KspLogPath();
  if (!path.empty()) ProviderLogFile().Append(path, lines.data(), lines.size());
}

// A message as the log shows it: control characters escaped (log_escape.h), so that no value from
// a caller or a certificate starts a line of its own, and cut to the message size again.
std::string LoggedText(const char* message) {
  std::string text = EscapeForLog(message);
  if (text.size() >= kKspMessageBytes) text.resize(kKspMessageBytes - 1);
  return text;
}

}  // namespace

KspLogBatch::KspLogBatch() noexcept : LineBatch(&WriteLines) {}

void FlushKspLogBatch() noexcept { LineBatch::FlushOpen(&WriteLines); }

std::string KspLogPath() {
  const LogAccount account = CurrentLogAccount();
  std::string path = account == LogAccount::User ? TemporaryFolder()
                                                 : PreparedServiceLogFolder(account);
  if (path.empty()) {
    return std::string();
  }
  path += kLogFileName;
  if (path.size() >= MAX_PATH) {
    return std::string();
  }
  return path;
}

void KspLog(const char* format, ...) {
  LastErrorKeeper keep_last_error;
  if (format == nullptr) {
    return;
  }

  char message[kKspMessageBytes];
  va_list arguments;
  va_start(arguments, format);
  KspFormatInto(message, format, arguments);
  va_end(arguments);

  SYSTEMTIME now;
  GetLocalTime(&now);
  try {
    char line[kKspMessageBytes + 32];
    int length = snprintf(line, sizeof(line), "[%02d:%02d:%02d.%03d] %s\n", now.wHour,
                          now.wMinute, now.wSecond, now.wMilliseconds, LoggedText(message).c_str());
    if (length <= 0) {
      return;
    }
    const std::string text(line, static_cast<size_t>(length) < sizeof(line) ? length : strlen(line));
    if (!LineBatch::Hold(&WriteLines, text)) WriteLines(text);
  } catch (...) {
  }
}

void KspFormatInto(char (&text)[kKspMessageBytes], const char* format, va_list arguments) noexcept {
  if (vsnprintf(text, sizeof(text), format, arguments) < 0) text[0] = '\0';
  text[sizeof(text) - 1] = '\0';
}

std::string KspFormat(const char* format, ...) {
  char text[kKspMessageBytes];
  va_list arguments;
  va_start(arguments, format);
  KspFormatInto(text, format, arguments);
  va_end(arguments);
  return text;
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
