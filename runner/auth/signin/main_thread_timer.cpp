#include "main_thread_timer.h"

#include <map>
#include <string>
#include <utility>

#include "guarded_entry.h"
#include "logger.h"

namespace {

// The armed timers by their thread-timer id; the main thread's only.
std::map<UINT_PTR, MainThreadTimer*>& ArmedTimers() {
  static std::map<UINT_PTR, MainThreadTimer*> timers;
  return timers;
}

}  // namespace

MainThreadTimer::MainThreadTimer(uint32_t delay_ms, std::function<void()> fire)
    : fire_(std::move(fire)) {
  id_ = SetTimer(nullptr, 0, delay_ms, &MainThreadTimer::OnTimer);
  if (id_ == 0) {
    LogError("Could not arm a timer (error " + std::to_string(GetLastError()) + ")");
    return;
  }
  ArmedTimers()[id_] = this;
}

MainThreadTimer::~MainThreadTimer() {
  if (id_ == 0) return;
  KillTimer(nullptr, id_);
  ArmedTimers().erase(id_);
}

void CALLBACK MainThreadTimer::OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  const auto found = ArmedTimers().find(id);
  if (found == ArmedTimers().end()) {
    KillTimer(nullptr, id);
    return;
  }
  MainThreadTimer* timer = found->second;
  ArmedTimers().erase(found);
  KillTimer(nullptr, id);
  timer->id_ = 0;
  std::function<void()> fire = std::move(timer->fire_);
  GuardEntry([&] {
    if (fire) fire();
  }, [](const CaughtFailure& caught) { LogEntryFailure("Timer callback failed: ", caught); });
}
