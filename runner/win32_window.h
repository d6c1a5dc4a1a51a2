#pragma once

#include <windows.h>

#include <string>

// A top-level window of class "FLUTTER_RUNNER_WIN32_WINDOW" with caption, system menu and
// minimise button, created invisible and scaled by the DPI of its monitor. Subclasses react
// through OnCreate, OnDestroy and MessageHandler.
class Win32Window {
 public:
  struct Point {
    unsigned int x;
    unsigned int y;
    Point(unsigned int x, unsigned int y) : x(x), y(y) {}
  };
  struct Size {
    unsigned int width;
    unsigned int height;
    Size(unsigned int width, unsigned int height) : width(width), height(height) {}
  };

  Win32Window();
  virtual ~Win32Window();
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  // Origin and size in logical pixels. False when the window cannot be created.
  bool Create(const std::wstring& title, const Point& origin, const Size& size);
  bool Show();
  void Destroy();
  void SetChildContent(HWND content);
  HWND GetHandle() const { return window_handle_; }
  // Whether destroying the window ends the message loop.
  void SetQuitOnClose(bool quit_on_close) { quit_on_close_ = quit_on_close; }
  RECT GetClientArea() const;

 protected:
  virtual LRESULT MessageHandler(HWND window, UINT const message, WPARAM const wparam,
                                 LPARAM const lparam) noexcept;
  virtual bool OnCreate();
  virtual void OnDestroy();

 private:
  friend class WindowClassRegistrar;

  static LRESULT CALLBACK WndProc(HWND const window, UINT const message, WPARAM const wparam,
                                  LPARAM const lparam) noexcept;
  static Win32Window* GetThisFromHandle(HWND const window) noexcept;
  // Dark title bar when the user's apps use the dark theme.
  static void UpdateTheme(HWND const window);

  bool quit_on_close_ = false;
  HWND window_handle_ = nullptr;
  HWND child_content_ = nullptr;
};

// Scales a logical coordinate by DPI / 96, truncating toward zero.
int ScaleForDpi(int value, unsigned int dpi);
