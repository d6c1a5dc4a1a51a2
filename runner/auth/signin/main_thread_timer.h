#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

// A function run once from this thread's message loop after a delay, through a thread timer
// (SetTimer without a window: DispatchMessage calls it), so never inside the call that armed
// it nor inside any other code of the thread. Destroying the timer first cancels it; `fire`
// may destroy it. An exception from `fire` is logged and goes no further.
class MainThreadTimer {
 public:
  MainThreadTimer(uint32_t delay_ms, std::function<void()> fire);
  ~MainThreadTimer();
  MainThreadTimer(const MainThreadTimer&) = delete;
  MainThreadTimer& operator=(const MainThreadTimer&) = delete;

  // False when the system refused the timer (logged): `fire` will not run.
  bool armed() const { return id_ != 0; }

 private:
  static void CALLBACK OnTimer(HWND window, UINT message, UINT_PTR id, DWORD time);

  UINT_PTR id_ = 0;
  std::function<void()> fire_;
};
