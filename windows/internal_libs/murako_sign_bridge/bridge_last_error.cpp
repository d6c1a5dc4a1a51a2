#include "bridge_last_error.h"

#include <windows.h>

#include <map>

#include "logger.h"

namespace {

// A slim reader/writer lock rather than std::mutex: it owns no kernel object, so nothing is
// left behind when the library is unloaded after a signature.
SRWLOCK g_error_lock = SRWLOCK_INIT;

class ErrorLock {
 public:
  ErrorLock() { AcquireSRWLockExclusive(&g_error_lock); }
  ~ErrorLock() { ReleaseSRWLockExclusive(&g_error_lock); }
  ErrorLock(const ErrorLock&) = delete;
  ErrorLock& operator=(const ErrorLock&) = delete;
};

std::map<DWORD, std::string>& ErrorsByThread() {
  static std::map<DWORD, std::string> errors;
  return errors;
}

}  // namespace

void SetBridgeError(const std::string& text) {
  ErrorLock lock;
  ErrorsByThread()[GetCurrentThreadId()] = text;
  LogError("MurakoSignBridge: " + text);
}

const char* BridgeLastError() {
  ErrorLock lock;
  // Map nodes never move, so the pointer stays valid while other threads add their own.
  return ErrorsByThread()[GetCurrentThreadId()].c_str();
}

void ForgetBridgeErrorOfThread(unsigned long thread_id) {
  ErrorLock lock;
  ErrorsByThread().erase(thread_id);
}
