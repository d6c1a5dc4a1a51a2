#include "host_window.h"

#include "this_module.h"

namespace {

constexpr wchar_t kClassName[] = L"SendaroWebViewHost";

}  // namespace

HostWindow::HostWindow(HWND parent) : parent_(parent) {
  if (parent == nullptr || !IsWindow(parent)) return;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &HostWindow::WindowProcedure;
  window_class.hInstance = ThisModule();
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  window_class.lpszClassName = kClassName;
  RegisterClassExW(&window_class);  // fails harmlessly once registered
  GetClientRect(parent, &bounds_);
  window_ = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                            bounds_.left, bounds_.top, bounds_.right - bounds_.left,
                            bounds_.bottom - bounds_.top, parent, nullptr, ThisModule(), nullptr);
  if (window_ != nullptr) SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

HostWindow::~HostWindow() { Destroy(); }

void HostWindow::Destroy() {
  if (IsOpen()) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  window_ = nullptr;
}

void HostWindow::ShowPage(const std::wstring& title, const std::wstring& address,
                          const std::wstring& content) {
  title_ = title;
  address_ = address;
  content_ = content;
  if (IsOpen()) {
    SetWindowTextW(window_, title.c_str());
    InvalidateRect(window_, nullptr, TRUE);
  }
}

void HostWindow::SetBounds(const RECT& bounds) {
  bounds_ = bounds;
  if (IsOpen()) {
    MoveWindow(window_, bounds.left, bounds.top, bounds.right - bounds.left,
               bounds.bottom - bounds.top, TRUE);
  }
}

void HostWindow::SetVisible(bool visible) {
  visible_ = visible;
  if (IsOpen()) ShowWindow(window_, visible ? SW_SHOWNA : SW_HIDE);
}

void HostWindow::CloseTopLevelWindow() const {
  if (!IsOpen()) return;
  PostMessageW(GetAncestor(window_, GA_ROOT), WM_CLOSE, 0, 0);
}

void HostWindow::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window_, &paint);
  RECT area;
  GetClientRect(window_, &area);
  FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  HGDIOBJ old_font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  RECT line = {area.left + 16, area.top + 16, area.right - 16, area.top + 40};
  SetTextColor(dc, RGB(0, 0, 0));
  DrawTextW(dc, title_.c_str(), -1, &line, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
  line.top += 28;
  line.bottom = area.bottom - 16;
  SetTextColor(dc, RGB(0, 0, 160));
  line.top += DrawTextW(dc, address_.c_str(), -1, &line, DT_WORDBREAK | DT_NOPREFIX) + 16;
  SetTextColor(dc, RGB(0, 0, 0));
  DrawTextW(dc, content_.c_str(), -1, &line, DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, old_font);
  EndPaint(window_, &paint);
}

LRESULT CALLBACK HostWindow::WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  auto* host = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (host != nullptr && message == WM_PAINT) {
    host->Paint();
    return 0;
  }
  if (host != nullptr && message == WM_NCDESTROY) host->window_ = nullptr;
  return DefWindowProcW(window, message, wparam, lparam);
}
