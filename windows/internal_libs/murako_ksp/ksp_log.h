#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "line_batch.h"

// Has GCC and Clang check a printf-style format against its arguments, in the dialect of the
// runtime's printf (MinGW's own or the system's); MSVC checks formats by other means.
#if defined(__MINGW_PRINTF_FORMAT)
#define KSP_PRINTF_FORMAT(format_index, first_argument) \
  __attribute__((format(__MINGW_PRINTF_FORMAT, format_index, first_argument)))
#elif defined(__GNUC__)
#define KSP_PRINTF_FORMAT(format_index, first_argument) \
  __attribute__((format(printf, format_index, first_argument)))
#else
#define KSP_PRINTF_FORMAT(format_index, first_argument)
#endif

// The provider's debug log: "murako_ksp_debug.log" in the temporary directory of the user the
// host process runs as, or for a service account in its protected folder (service_log_location.h),
// one "[hh:mm:ss.mmm] message" line per call, appended, its control characters escaped as in
// every log of the product (log_escape.h); at 10 MiB the file moves to one older
// file (ksp_log_file.h). Entry lines start ">>> ", sub-steps are indented, and the table slots'
// exit lines are written from what each slot answers (ksp_slot_guard.h).
// Logging never fails the caller and leaves the thread's last-error value as it was.
void KspLog(const char* format, ...) KSP_PRINTF_FORMAT(1, 2);

// printf-style text, cut as a log message is: into a buffer without fail, or as a string.
constexpr size_t kKspMessageBytes = 1024;
void KspFormatInto(char (&text)[kKspMessageBytes], const char* format, va_list arguments) noexcept;
std::string KspFormat(const char* format, ...) KSP_PRINTF_FORMAT(1, 2);

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
