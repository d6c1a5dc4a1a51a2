#pragma once

#include <windows.h>
#include <flutter/binary_messenger.h>
#include <flutter/encodable_value.h>
#include <flutter/method_channel.h>

#include <memory>
#include <optional>

#include "application_host.h"

// The application the main window hosts: the two method channels, the OAuth manager and the
// sign-in flows, and the session's rules. At start, provider-bound certificates left without a
// session are removed. Closing the window only hides it; destroying it, or the end of the
// Windows session, signs the user out; an installer's request to end the program
// (ENDSESSION_CLOSEAPP) destroys it. Main thread only.
class Application : public ApplicationHost {
 public:
  // Starts in `main_window`, whose view's engine gives `messenger` for the channels.
  Application(HWND main_window, flutter::BinaryMessenger* messenger);
  ~Application() override;

  HWND MainWindow() const override;
  std::shared_ptr<OAuthManager> CurrentOAuthManager() const override;
  void ReplaceOAuthManager(std::shared_ptr<OAuthManager> manager) override;
  SignInService& SignIn() override;

  // A message of the main window: its result when the application answers it; nothing when
  // the window's own handling follows.
  std::optional<LRESULT> HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  using Channel = flutter::MethodChannel<flutter::EncodableValue>;

  // Signs both accounts out (`announcement` logged first): what the sign-in flows have pending
  // is disarmed, the system's certificates with their mappings and both accounts' tokens and
  // expiry go, then the sign-in browser's session ends (cookies and hidden window). Each step
  // logs its own failures; the sequence always runs to the end.
  void SignOutOfBothAccounts(const char* announcement);

  HWND main_window_;
  // Declared in the reverse of the order they are released in.
  std::unique_ptr<Channel> native_bridge_channel_;
  std::unique_ptr<Channel> plugin_channel_;
  std::shared_ptr<OAuthManager> oauth_manager_;
  std::unique_ptr<SignInService> sign_in_;
};
