// The engine's task runner: a message-only window on the engine's thread that runs queued
// tasks and timers from the application's message loop.
#include "engine_tasks.h"

#include "api_guard.h"
#include "engine_module.h"

namespace flutter_stand_in {

namespace {

constexpr wchar_t kTaskWindowClass[] = L"FlutterStandInTaskRunnerWindow";
constexpr UINT kRunTasksMessage = WM_APP + 1;

// A task may destroy the engine (a script step that destroys the host window): the loop
// then stops without touching it again.
void RunQueuedTasks(FlutterDesktopEngine* engine) {
  std::weak_ptr<int> alive = engine->lifetime;
  size_t count = engine->tasks.size();
  for (size_t i = 0; i < count && !alive.expired() && !engine->tasks.empty(); ++i) {
    std::function<void()> task = std::move(engine->tasks.front());
    engine->tasks.pop_front();
    GuardedVoid("engine task", task);
  }
}

void RunTimer(FlutterDesktopEngine* engine, HWND window, UINT_PTR id) {
  KillTimer(window, id);
  auto found = engine->timers.find(id);
  if (found == engine->timers.end()) {
    return;
  }
  std::function<void()> task = std::move(found->second);
  engine->timers.erase(found);
  GuardedVoid("engine timer", task);
}

LRESULT CALLBACK TaskWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* engine = reinterpret_cast<FlutterDesktopEngine*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (engine && message == kRunTasksMessage) {
    RunQueuedTasks(engine);
    return 0;
  }
  if (engine && message == WM_TIMER) {
    RunTimer(engine, window, wparam);
    return 0;
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

HWND CreateTaskWindow(FlutterDesktopEngine* engine) {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = TaskWindowProc;
  window_class.hInstance = EngineModule();
  window_class.lpszClassName = kTaskWindowClass;
  RegisterClassExW(&window_class);  // fails harmlessly when already registered
  return CreateWindowExW(0, kTaskWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         EngineModule(), engine);
}

void PostTask(FlutterDesktopEngine* engine, std::function<void()> task) {
  engine->tasks.push_back(std::move(task));
  PostMessageW(engine->task_window, kRunTasksMessage, 0, 0);
}

void PostDelayedTask(FlutterDesktopEngine* engine,
                     UINT_PTR timer_id,
                     unsigned milliseconds,
                     std::function<void()> task) {
  engine->timers[timer_id] = std::move(task);
  SetTimer(engine->task_window, timer_id, milliseconds, nullptr);
}

void RunPendingTasks(FlutterDesktopEngine* engine) {
  RunQueuedTasks(engine);
}

}  // namespace flutter_stand_in
