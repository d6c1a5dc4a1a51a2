#pragma once

#include <windows.h>

#include <string>

// The provider's debug log: "murako_ksp_debug.log" in the temporary directory of the user the
// host process runs as, one "[hh:mm:ss.mmm] message" line per call, appended and never rotated.
// Entry lines start ">>> ", exit lines "<<< ", sub-steps are indented.
// Logging never fails the caller and leaves the thread's last-error value as it was.
void KspLog(const char* format, ...);

// UTF-16 text as UTF-8 for a log line, cut at a character boundary so that it fits a buffer of
// `buffer_bytes` bytes with its terminator; a null pointer reads "NULL".
std::string KspLogText(const wchar_t* text, size_t buffer_bytes = 512);

// Name of the log file for the current temporary directory; empty when it cannot be formed.
std::string KspLogPath();
