#pragma once

#include <string>
#include <vector>

#include "debug_output_capture.h"

// Questions tests ask of the log lines a DebugOutputCapture collected. Each captured
// line reads "[date time] [LEVEL] message\n".

// A line at `level` ("INFO", "WARNING", "ERROR") whose message is exactly `message`.
inline bool LoggedExactly(const DebugOutputCapture& capture, const std::string& level,
                          const std::string& message) {
  const std::string tail = "] [" + level + "] " + message + "\n";
  for (const std::string& line : capture.Lines()) {
    if (line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0) {
      return true;
    }
  }
  return false;
}

inline bool LoggedContaining(const DebugOutputCapture& capture, const std::string& text) {
  for (const std::string& line : capture.Lines()) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

// True when lines containing each text appear in this order (other lines may come between).
inline bool LoggedInOrder(const DebugOutputCapture& capture, const std::vector<std::string>& texts) {
  size_t next = 0;
  for (const std::string& line : capture.Lines()) {
    if (next < texts.size() && line.find(texts[next]) != std::string::npos) ++next;
  }
  return next == texts.size();
}
