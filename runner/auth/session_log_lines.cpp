#include "session_log_lines.h"

#include "logger.h"

void WriteSessionLogLines(const std::vector<TokenLogLine>& lines) {
  for (const TokenLogLine& line : lines) {
    switch (line.level) {
      case LogLevel::Info: LogInfo(line.text); break;
      case LogLevel::Warning: LogWarning(line.text); break;
      case LogLevel::Error: LogError(line.text); break;
    }
  }
}
