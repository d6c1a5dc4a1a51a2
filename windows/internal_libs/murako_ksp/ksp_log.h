#pragma once

#include <windows.h>

#include <string>

#include "line_batch.h"

// The provider's debug log: "murako_ksp_debug.log" in the temporary directory of the user the
// host process runs as, or for a service account in its protected folder (service_log_location.h),
// one "[hh:mm:ss.mmm] message" line per call, appended, its control characters escaped as in
// every log of the product (log_escape.h); at 10 MiB the file moves to one older
// file (ksp_log_file.h). Entry lines start ">>> ", sub-steps are indented, and the table slots'
// exit lines are written from what each slot answers (ksp_slot_guard.h).
// Logging never fails the caller and leaves the thread's last-error value as it was.
void KspLog(const char* format, ...);

// printf-style text, cut as a log message is: into a buffer without fail, or as a string.
constexpr size_t kKspMessageBytes = 1024;
void KspFormatInto(char (&text)[kKspMessageBytes], const char* format, ...) noexcept;
template <typename... Arguments>
std::string KspFormat(const char* format, Arguments... arguments) {
  char text[kKspMessageBytes];
  KspFormatInto(text, format, arguments...);
  return text;
}

// The lines this thread logs while one is open are appended together when the outermost closes
// or at FlushKspLogBatch (line_batch.h); every table slot opens one.
class KspLogBatch : public LineBatch {
 public:
  KspLogBatch() noexcept;
};
void FlushKspLogBatch() noexcept;

// UTF-16 text as UTF-8 for a log line, cut at a character boundary so that it fits a buffer of
// `buffer_bytes` bytes with its terminator; a null pointer reads "NULL".
std::string KspLogText(const wchar_t* text, size_t buffer_bytes = 512);

// Name of the log file for the current account and temporary directory; empty when it cannot
// be formed or its folder cannot be used.
std::string KspLogPath();
