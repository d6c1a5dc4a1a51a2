#pragma once

#include <windows.h>

class SignInService;

// What the channel handlers reach of the application: the main window's handle and the
// session-wide objects. Implemented by Application; every call comes on the main thread.
class ApplicationHost {
 public:
  virtual ~ApplicationHost() = default;

  virtual HWND MainWindow() const = 0;
  // Linking, plain sign-in, silent renewal and cookies through the sign-in window; it holds
  // the current OAuth manager.
  virtual SignInService& SignIn() = 0;
};
