#pragma once

#include <flutter/dart_project.h>
#include <flutter/encodable_value.h>
#include <flutter/flutter_view_controller.h>
#include <flutter/method_channel.h>

#include <memory>

#include "application_host.h"
#include "win32_window.h"

class SignInService;

// The main window: hosts the Flutter view, owns the two method channels, the OAuth manager and
// the sign-in flows. Closing it only hides it; destroying it, or the end of the
// Windows session, signs the user out; an installer's request to end the program
// (ENDSESSION_CLOSEAPP) destroys it.
class FlutterWindow : public Win32Window, public ApplicationHost {
 public:
  explicit FlutterWindow(const flutter::DartProject& project);
  ~FlutterWindow() override;

  HWND MainWindow() const override;
  std::shared_ptr<OAuthManager> CurrentOAuthManager() const override;
  void ReplaceOAuthManager(std::shared_ptr<OAuthManager> manager) override;
  SignInService& SignIn() override;

 protected:
  bool OnCreate() override;
  void OnDestroy() override;
  LRESULT MessageHandler(HWND window, UINT const message, WPARAM const wparam,
                         LPARAM const lparam) noexcept override;

 private:
  using Channel = flutter::MethodChannel<flutter::EncodableValue>;

  void RegisterChannels();
  void ShowOnNextFrame();

  // Declared in the reverse of the order they are released in.
  flutter::DartProject project_;
  std::unique_ptr<flutter::FlutterViewController> flutter_controller_;
  std::unique_ptr<Channel> native_bridge_channel_;
  std::unique_ptr<Channel> plugin_channel_;
  std::shared_ptr<OAuthManager> oauth_manager_;
  std::unique_ptr<SignInService> sign_in_;
};
