#pragma once

#include <windows.h>
#include <flutter/binary_messenger.h>
#include <flutter/encodable_value.h>
#include <flutter/method_channel.h>

#include <memory>
#include <optional>

#include "application_host.h"

// Posted to the main window to end the program (an installer's request): the window destroys
// itself when the application gives up the request (`TakeEndRequest`).
constexpr UINT WM_END_PROGRAM = WM_USER + 101;

// The application the main window hosts: the two method channels, the sign-in flows (with the
// OAuth manager they hold), and the session's rules. At start, provider-bound certificates left without a
// session are removed. Closing the window only hides it; destroying it, or the end of the
// Windows session, signs the user out before the message is answered, also while a sign-in
// result is being delivered; an installer's request to end the program (ENDSESSION_CLOSEAPP)
// destroys the window once no delivery is on the stack. Main thread only.
class Application : public ApplicationHost {
 public:
  // Starts in `main_window`, whose view's engine gives `messenger` for the channels.
  Application(HWND main_window, flutter::BinaryMessenger* messenger);
  ~Application() override;

  HWND MainWindow() const override;
  SignInService& SignIn() override;

  // A message of the main window: its result when the application answers it; nothing when
  // the window's own handling follows.
  std::optional<LRESULT> HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  // A sign-in result is being delivered: the application, its channels and the engine must
  // outlive it.
  bool IsDelivering() const;
  // True once, when the program was asked to end and nothing on the stack uses the
  // application any more.
  bool TakeEndRequest();

 private:
  using Channel = flutter::MethodChannel<flutter::EncodableValue>;

  // Signs both accounts out (`announcement` logged first) before it returns: what the sign-in
  // flows have pending is disarmed, the system's certificates with their mappings and both
  // accounts' tokens and expiry go, then the sign-in browser's session ends (cookies, awaited
  // for a few seconds, and hidden window) and the notice's icon leaves the notification area.
  // Each step logs its own failures; the sequence always runs to the end.
  void SignOutOfBothAccounts(const char* announcement);
  // Asks the window to end through WM_END_PROGRAM, taken up once no delivery is on the stack.
  void RequestEnd(HWND window);

  HWND main_window_;
  bool end_requested_ = false;
  // Declared in the reverse of the order they are released in.
  std::unique_ptr<Channel> native_bridge_channel_;
  std::unique_ptr<Channel> plugin_channel_;
  std::unique_ptr<SignInService> sign_in_;
};
