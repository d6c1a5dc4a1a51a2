#include "sign_in_test_host.h"

#include <vector>

#include "oauth_callback.h"
#include "string_conversion.h"

namespace {
constexpr wchar_t kHostClass[] = L"SendaroSignInTestHost";
}

SignInTestHost::SignInTestHost() {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kHostClass;
  RegisterClassExW(&window_class);
  window_ = CreateWindowExW(0, kHostClass, L"Sendaro test host", WS_OVERLAPPEDWINDOW, 0, 0, 300,
                            200, nullptr, nullptr, GetModuleHandleW(nullptr), this);
}

SignInTestHost::~SignInTestHost() {
  if (window_ != nullptr) DestroyWindow(window_);
}

LRESULT CALLBACK SignInTestHost::WindowProc(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  auto* self = reinterpret_cast<SignInTestHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr && message == WM_OAUTH_COMPLETE) {
    ++self->completions_;
    if (self->on_complete_) self->on_complete_(wparam);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (done()) return true;
    if (GetTickCount64() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
}

void PumpFor(DWORD milliseconds) {
  PumpUntil([] { return false; }, milliseconds);
}

std::string WindowTitle(HWND window) {
  std::vector<wchar_t> text(256);
  const int length = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  return WideToUtf8(std::wstring(text.data(), length > 0 ? length : 0));
}
