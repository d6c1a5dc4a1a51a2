#include "single_instance.h"

namespace {

constexpr wchar_t kMutexName[] = L"Global\\MurakoSendaro_SingleInstance";
constexpr wchar_t kWindowClass[] = L"FLUTTER_RUNNER_WIN32_WINDOW";

HWND FindRunningWindow() {
  HWND window = FindWindowW(kWindowClass, L"Sendaro");
  return window != nullptr ? window : FindWindowW(kWindowClass, L"Sendaroa");
}

void BringToForeground(HWND window) {
  const DWORD foreground_thread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
  const DWORD current_thread = GetCurrentThreadId();
  if (foreground_thread != 0 && foreground_thread != current_thread) {
    AttachThreadInput(foreground_thread, current_thread, TRUE);
    BringWindowToTop(window);
    SetForegroundWindow(window);
    AttachThreadInput(foreground_thread, current_thread, FALSE);
  } else {
    BringWindowToTop(window);
    SetForegroundWindow(window);
  }
}

}  // namespace

SingleInstanceMutex::SingleInstanceMutex() {
  handle_.reset(CreateMutexW(nullptr, TRUE, kMutexName));
  const DWORD error = GetLastError();
  // Another user's or an elevated instance's mutex exists but may not be opened from here.
  already_running_ =
      error == ERROR_ALREADY_EXISTS || (!handle_ && error == ERROR_ACCESS_DENIED);
}

SingleInstanceMutex::~SingleInstanceMutex() { Release(); }

void SingleInstanceMutex::Release() {
  if (!handle_) return;
  if (!already_running_) ReleaseMutex(handle_.get());
  handle_.reset();
}

void ActivateRunningInstance() {
  HWND window = FindRunningWindow();
  if (window == nullptr) return;
  if (!IsWindowVisible(window)) ShowWindow(window, SW_SHOW);
  WINDOWPLACEMENT placement{};
  placement.length = sizeof(placement);
  if (GetWindowPlacement(window, &placement) && placement.showCmd == SW_SHOWMINIMIZED) {
    ShowWindow(window, SW_RESTORE);
  }
  BringToForeground(window);
}
