#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// Runs tasks on the thread that created it, one per message of its message-only window, so
// every completion and event reaches the caller from its own message loop and never inside
// the call that caused it. Post is safe from any thread; the dispatcher itself must be
// created and destroyed on its thread.
class Dispatcher {
 public:
  static std::shared_ptr<Dispatcher> Create();
  ~Dispatcher();
  Dispatcher(const Dispatcher&) = delete;
  Dispatcher& operator=(const Dispatcher&) = delete;

  // False when the window is gone (the task is dropped).
  bool Post(std::function<void()> task);
  // After `delay_ms` milliseconds (a timer on the same window).
  bool PostAfter(unsigned delay_ms, std::function<void()> task);

 private:
  Dispatcher() = default;
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void RunOne();
  void RunTimer(UINT_PTR id);

  HWND window_ = nullptr;
  std::mutex lock_;
  std::deque<std::function<void()>> tasks_;
  std::deque<std::pair<UINT_PTR, std::function<void()>>> timers_;
  UINT_PTR next_timer_ = 1;
};
