#pragma once

#include <flutter/dart_project.h>
#include <flutter/flutter_view_controller.h>

#include <memory>

#include "win32_window.h"

class Application;

// The main window: hosts the Flutter view and the application behind it, which sees every
// message the view does not take. The application answers through the engine, so it goes first,
// when the window is destroyed as when this object is; while it is in use further up the stack
// (a sign-in result being delivered, a message it is handling), both stay until it returns.
class FlutterWindow : public Win32Window {
 public:
  explicit FlutterWindow(const flutter::DartProject& project);
  ~FlutterWindow() override;

 protected:
  bool OnCreate() override;
  void OnDestroy() override;
  LRESULT MessageHandler(HWND window, UINT const message, WPARAM const wparam,
                         LPARAM const lparam) noexcept override;

 private:
  // After the window is destroyed: the application, then the engine, once nothing uses them.
  void ReleaseApplicationWhenUnused();

  // Released in the reverse of this order.
  flutter::DartProject project_;
  std::unique_ptr<flutter::FlutterViewController> flutter_controller_;
  std::unique_ptr<Application> application_;
  int application_calls_ = 0;  // messages the application is handling
  bool release_pending_ = false;
};
