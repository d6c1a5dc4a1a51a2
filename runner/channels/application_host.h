#pragma once

#include <windows.h>

#include <memory>

class OAuthManager;
class SignInService;

// What the channel handlers reach of the application: the main window's handle and the
// session-wide objects. Implemented by Application; every call comes on the main thread.
class ApplicationHost {
 public:
  virtual ~ApplicationHost() = default;

  virtual HWND MainWindow() const = 0;
  // Shared, so that a sign-in or renewal started earlier keeps the manager it started with.
  virtual std::shared_ptr<OAuthManager> CurrentOAuthManager() const = 0;
  virtual void ReplaceOAuthManager(std::shared_ptr<OAuthManager> manager) = 0;
  // Linking, plain sign-in, silent renewal and cookies through the sign-in window.
  virtual SignInService& SignIn() = 0;
};
