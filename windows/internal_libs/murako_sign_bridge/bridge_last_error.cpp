#include "bridge_last_error.h"

#include <windows.h>

#include <map>

#include "logger.h"
#include "scoped_srw_exclusive_lock.h"

namespace {

// A slim reader/writer lock rather than std::mutex: it owns no kernel object, so nothing is
// left behind when the library is unloaded after a signature.
SRWLOCK g_error_lock = SRWLOCK_INIT;

// Built when the library loads rather than on first use: a function-local static would take
// the C++ runtime's thread-safe initialisation guard, whose threading layer keeps two handles
// per calling thread that unloading the library never closes.
std::map<DWORD, std::string> g_errors_by_thread;

}  // namespace

void SetBridgeError(const std::string& text) {
  {
    ScopedSrwExclusiveLock lock(g_error_lock);
    g_errors_by_thread[GetCurrentThreadId()] = text;
  }
  // Logged outside the lock: the thread-detach handler takes it under the loader lock, so it
  // must never wait for a log write.
  LogError("MurakoSignBridge: " + text);
}

const char* BridgeLastError() {
  ScopedSrwExclusiveLock lock(g_error_lock);
  // Map nodes never move, so the pointer stays valid while other threads add their own.
  return g_errors_by_thread[GetCurrentThreadId()].c_str();
}

void ForgetBridgeErrorOfThread(unsigned long thread_id) {
  ScopedSrwExclusiveLock lock(g_error_lock);
  g_errors_by_thread.erase(thread_id);
}
