#include "win32_window.h"

#include <dwmapi.h>
#include <flutter_windows.h>

#include "resource.h"

namespace {

constexpr wchar_t kWindowClassName[] = L"FLUTTER_RUNNER_WIN32_WINDOW";
constexpr wchar_t kThemeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kLightThemeValue[] = L"AppsUseLightTheme";
constexpr DWORD kImmersiveDarkModeAttribute = 20;

int g_active_window_count = 0;

using EnableNonClientDpiScalingFunction = BOOL(WINAPI*)(HWND);

// Scales the non-client area (title bar) with the monitor's DPI where the system offers it.
void EnableFullDpiSupportIfAvailable(HWND window) {
  HMODULE user32 = GetModuleHandleW(L"User32.dll");  // loaded with every GUI program
  if (user32 == nullptr) return;
  auto enable = reinterpret_cast<EnableNonClientDpiScalingFunction>(
      GetProcAddress(user32, "EnableNonClientDpiScaling"));
  if (enable != nullptr) enable(window);
}

}  // namespace

// The window class, registered on first use and unregistered with the last window.
class WindowClassRegistrar {
 public:
  static WindowClassRegistrar* GetInstance() {
    static WindowClassRegistrar instance;
    return &instance;
  }

  const wchar_t* GetWindowClass() {
    if (!registered_) {
      WNDCLASSW window_class{};
      window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
      window_class.lpszClassName = kWindowClassName;
      window_class.style = CS_HREDRAW | CS_VREDRAW;
      window_class.hInstance = GetModuleHandle(nullptr);
      window_class.hIcon = LoadIcon(window_class.hInstance, MAKEINTRESOURCE(IDI_APP_ICON));
      window_class.lpfnWndProc = Win32Window::WndProc;
      // A failed registration shows up as a failed window creation.
      registered_ = RegisterClassW(&window_class) != 0;
    }
    return kWindowClassName;
  }

  void UnregisterWindowClass() {
    UnregisterClassW(kWindowClassName, nullptr);
    registered_ = false;
  }

 private:
  bool registered_ = false;
};

int ScaleForDpi(int value, unsigned int dpi) { return static_cast<int>(value * (dpi / 96.0)); }

Win32Window::Win32Window() { ++g_active_window_count; }

Win32Window::~Win32Window() {
  --g_active_window_count;
  Destroy();
}

bool Win32Window::Create(const std::wstring& title, const Point& origin, const Size& size) {
  Destroy();
  const wchar_t* window_class = WindowClassRegistrar::GetInstance()->GetWindowClass();

  const POINT target_point = {static_cast<LONG>(origin.x), static_cast<LONG>(origin.y)};
  HMONITOR monitor = MonitorFromPoint(target_point, MONITOR_DEFAULTTONEAREST);
  const UINT dpi = FlutterDesktopGetDpiForMonitor(monitor);

  HWND window = CreateWindowW(window_class, title.c_str(), WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                              ScaleForDpi(origin.x, dpi), ScaleForDpi(origin.y, dpi),
                              ScaleForDpi(size.width, dpi), ScaleForDpi(size.height, dpi), nullptr,
                              nullptr, GetModuleHandle(nullptr), this);
  if (window == nullptr) return false;
  UpdateTheme(window);
  return OnCreate();
}

bool Win32Window::Show() { return ShowWindow(window_handle_, SW_SHOWNORMAL); }

LRESULT CALLBACK Win32Window::WndProc(HWND const window, UINT const message, WPARAM const wparam,
                                      LPARAM const lparam) noexcept {
  if (message == WM_NCCREATE) {
    auto* create_struct = reinterpret_cast<CREATESTRUCT*>(lparam);
    SetWindowLongPtr(window, GWLP_USERDATA,
                     reinterpret_cast<LONG_PTR>(create_struct->lpCreateParams));
    EnableFullDpiSupportIfAvailable(window);
    static_cast<Win32Window*>(create_struct->lpCreateParams)->window_handle_ = window;
  } else if (Win32Window* that = GetThisFromHandle(window)) {
    return that->MessageHandler(window, message, wparam, lparam);
  }
  return DefWindowProc(window, message, wparam, lparam);
}

LRESULT Win32Window::MessageHandler(HWND window, UINT const message, WPARAM const wparam,
                                    LPARAM const lparam) noexcept {
  switch (message) {
    case WM_DESTROY:
      window_handle_ = nullptr;
      Destroy();
      if (quit_on_close_) PostQuitMessage(0);
      return 0;
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<RECT*>(lparam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_SIZE: {
      const RECT rect = GetClientArea();
      if (child_content_ != nullptr) {
        MoveWindow(child_content_, rect.left, rect.top, rect.right - rect.left,
                   rect.bottom - rect.top, TRUE);
      }
      return 0;
    }
    case WM_ACTIVATE:
      if (child_content_ != nullptr) SetFocus(child_content_);
      return 0;
    case WM_DWMCOLORIZATIONCOLORCHANGED:
      UpdateTheme(window);
      return 0;
  }
  return DefWindowProc(window, message, wparam, lparam);
}

void Win32Window::Destroy() {
  OnDestroy();
  if (window_handle_ != nullptr) {
    DestroyWindow(window_handle_);
    window_handle_ = nullptr;
  }
  if (g_active_window_count == 0) WindowClassRegistrar::GetInstance()->UnregisterWindowClass();
}

Win32Window* Win32Window::GetThisFromHandle(HWND const window) noexcept {
  return reinterpret_cast<Win32Window*>(GetWindowLongPtr(window, GWLP_USERDATA));
}

void Win32Window::SetChildContent(HWND content) {
  child_content_ = content;
  SetParent(content, window_handle_);
  const RECT frame = GetClientArea();
  MoveWindow(content, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
             TRUE);
  SetFocus(child_content_);
}

RECT Win32Window::GetClientArea() const {
  RECT frame{};
  GetClientRect(window_handle_, &frame);
  return frame;
}

bool Win32Window::OnCreate() { return true; }

void Win32Window::OnDestroy() {}

void Win32Window::UpdateTheme(HWND const window) {
  DWORD light_mode = 0;
  DWORD size = sizeof(light_mode);
  if (RegGetValueW(HKEY_CURRENT_USER, kThemeKey, kLightThemeValue, RRF_RT_REG_DWORD, nullptr,
                   &light_mode, &size) != ERROR_SUCCESS) {
    return;
  }
  const BOOL dark = light_mode == 0;
  DwmSetWindowAttribute(window, kImmersiveDarkModeAttribute, &dark, sizeof(dark));
}
