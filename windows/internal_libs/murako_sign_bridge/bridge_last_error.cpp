#include "bridge_last_error.h"

#include <windows.h>

#include <map>
#include <mutex>

#include "logger.h"

namespace {

std::mutex& ErrorMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<DWORD, std::string>& ErrorsByThread() {
  static std::map<DWORD, std::string> errors;
  return errors;
}

}  // namespace

void SetBridgeError(const std::string& text) {
  std::lock_guard<std::mutex> lock(ErrorMutex());
  ErrorsByThread()[GetCurrentThreadId()] = text;
  LogError("MurakoSignBridge: " + text);
}

const char* BridgeLastError() {
  std::lock_guard<std::mutex> lock(ErrorMutex());
  // Map nodes never move, so the pointer stays valid while other threads add their own.
  return ErrorsByThread()[GetCurrentThreadId()].c_str();
}

void ForgetBridgeErrorOfThread(unsigned long thread_id) {
  std::lock_guard<std::mutex> lock(ErrorMutex());
  ErrorsByThread().erase(thread_id);
}
