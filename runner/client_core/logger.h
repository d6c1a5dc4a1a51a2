#pragma once

#include <ctime>
#include <string>

#include "line_batch.h"

// Process-wide diagnostics shared by the main program and the signing bridge: every message
// becomes one timestamped line (FormatLogLine) on the debugger output channel and in
// "murako_windows.log" in the user's temporary directory. Nothing here ever throws or reports
// failure.

enum class LogLevel { Info = 1, Warning = 2, Error = 3 };

void WriteLog(int level, const std::string& tag, const std::string& message);
void LogInfo(const std::string& message);
void LogWarning(const std::string& message);
void LogError(const std::string& message);

// For lines whose level is decided elsewhere, e.g. by functions that return their log lines.
void LogAt(LogLevel level, const std::string& message);

// Every line this thread logs while a LogBatch is open reaches both outputs when the outermost
// one closes (or at FlushLogBatch), together (line_batch.h). Entry points that log many lines
// per call open one.
class LogBatch : public LineBatch {
 public:
  LogBatch() noexcept;
};
void FlushLogBatch() noexcept;

// Messages whose level number is below this value are dropped from both outputs.
void SetMinimumLogLevel(int level);

// The sign-in and signature notices: one line each, Info on success, Error on failure.
void LogOAuthNotice(const std::string& text, bool success);
void LogSignatureNotice(const std::string& text, bool success);

// "[YYYY-MM-DD HH:MM:SS] [TAG] message\n" for the given local time, with the message's control
// characters escaped (EscapeForLog): a message, whatever text it carries from outside, is one
// line. Every line is built here, so callers pass their values as they came.
std::string FormatLogLine(const std::tm& local_time, const std::string& tag,
                          const std::string& message);

// What a text-mode file stores for `text`: every "\n" becomes "\r\n".
std::string ToTextModeLineEndings(const std::string& text);

// True once the file sink has switched itself off for the rest of the process.
bool IsLogFileSinkDisabled();
