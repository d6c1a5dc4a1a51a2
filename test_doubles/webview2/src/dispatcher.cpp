#include "dispatcher.h"

#include "this_module.h"

namespace {

constexpr UINT kRunTask = WM_APP + 1;
constexpr wchar_t kClassName[] = L"SendaroWebViewDispatcher";

}  // namespace

std::shared_ptr<Dispatcher> Dispatcher::Create() {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &Dispatcher::WindowProcedure;
  window_class.hInstance = ThisModule();
  window_class.lpszClassName = kClassName;
  RegisterClassExW(&window_class);  // fails harmlessly once registered
  std::shared_ptr<Dispatcher> dispatcher(new Dispatcher());
  dispatcher->window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        ThisModule(), nullptr);
  if (dispatcher->window_ == nullptr) return nullptr;
  SetWindowLongPtrW(dispatcher->window_, GWLP_USERDATA,
                    reinterpret_cast<LONG_PTR>(dispatcher.get()));
  return dispatcher;
}

Dispatcher::~Dispatcher() {
  if (window_ != nullptr) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

bool Dispatcher::Post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    tasks_.push_back(std::move(task));
  }
  if (PostMessageW(window_, kRunTask, 0, 0)) return true;
  std::lock_guard<std::mutex> guard(lock_);
  tasks_.pop_back();
  return false;
}

bool Dispatcher::PostAfter(unsigned delay_ms, std::function<void()> task) {
  if (delay_ms == 0) return Post(std::move(task));
  std::lock_guard<std::mutex> guard(lock_);
  const UINT_PTR id = next_timer_++;
  if (SetTimer(window_, id, delay_ms, nullptr) == 0) return false;
  timers_.emplace_back(id, std::move(task));
  return true;
}

void Dispatcher::RunOne() {
  std::function<void()> task;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (tasks_.empty()) return;
    task = std::move(tasks_.front());
    tasks_.pop_front();
  }
  task();
}

void Dispatcher::RunTimer(UINT_PTR id) {
  KillTimer(window_, id);
  std::function<void()> task;
  {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->first == id) {
        task = std::move(it->second);
        timers_.erase(it);
        break;
      }
    }
  }
  if (task) task();
}

LRESULT CALLBACK Dispatcher::WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  auto* dispatcher = reinterpret_cast<Dispatcher*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (dispatcher != nullptr && message == kRunTask) {
    dispatcher->RunOne();
    return 0;
  }
  if (dispatcher != nullptr && message == WM_TIMER) {
    dispatcher->RunTimer(static_cast<UINT_PTR>(wparam));
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}
