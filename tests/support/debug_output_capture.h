#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

// Collects what this process sends to the debugger output channel while the object lives.
// OutputDebugStringA raises DBG_PRINTEXCEPTION_C, which a vectored handler sees before any
// debugger does, on Windows and under Wine alike.
class DebugOutputCapture {
 public:
  DebugOutputCapture();
  ~DebugOutputCapture();
  DebugOutputCapture(const DebugOutputCapture&) = delete;
  DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

  std::vector<std::string> Lines() const;

 private:
  static LONG CALLBACK Handler(EXCEPTION_POINTERS* info);

  PVOID handler_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};
