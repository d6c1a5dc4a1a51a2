#pragma once

#include <windows.h>

#include <string>

// The browser's area inside the caller's window: a child window that shows the page title,
// address and a line per form field and link, so a screenshot shows what the user is looking at. It is also how the scripted user
// sees and closes the window.
class HostWindow {
 public:
  // Nothing (null window) when the parent is not a window.
  explicit HostWindow(HWND parent);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  bool IsOpen() const { return window_ != nullptr && IsWindow(window_); }
  HWND parent() const { return parent_; }
  void ShowPage(const std::wstring& title, const std::wstring& address, const std::wstring& content);
  void SetBounds(const RECT& bounds);
  RECT bounds() const { return bounds_; }
  void SetVisible(bool visible);
  bool visible() const { return visible_; }
  // What a person could see: this area and every window around it shown.
  bool UserCanSee() const { return IsOpen() && IsWindowVisible(window_); }
  // The user clicks the close button of the top-level window.
  void CloseTopLevelWindow() const;
  void Destroy();

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Paint();

  HWND parent_;
  HWND window_ = nullptr;
  RECT bounds_{};
  bool visible_ = true;
  std::wstring title_;
  std::wstring address_;
  std::wstring content_;
};
