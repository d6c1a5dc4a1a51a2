#include "sign_in_window_class.h"

namespace {

constexpr wchar_t kWindowClass[] = L"MurakoOAuthWindow";
constexpr int kWindowSize = 800;
constexpr int kIconResource = 101;

}  // namespace

HWND CreateSignInWindow(HWND parent, const std::wstring& title, WNDPROC procedure,
                        void* creation_parameter) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
  window_class.lpszClassName = kWindowClass;
  RegisterClassExW(&window_class);  // fails harmlessly when the class exists

  const int left = (GetSystemMetrics(SM_CXSCREEN) - kWindowSize) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - kWindowSize) / 2;
  HWND window = CreateWindowExW(0, kWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, left, top,
                                kWindowSize, kWindowSize, parent, nullptr, instance,
                                creation_parameter);
  if (window == nullptr) return nullptr;
  HANDLE small_icon = LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, 16, 16, 0);
  if (small_icon != nullptr) {
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon));
  }
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  return window;
}
