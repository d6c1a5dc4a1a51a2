#include "flutter_window.h"

#include <exception>

#include "generated_plugin_registrant.h"
#include "logger.h"
#include "native_bridge_channel.h"
#include "oauth_protocol.h"
#include "oauth_manager.h"
#include "oauth_callback.h"
#include "plugin_channel.h"
#include "session_expired_notice.h"
#include "session_lifecycle.h"
#include "sign_in_service.h"

namespace {

constexpr int kLowestLogLevel = 0;

}  // namespace

FlutterWindow::FlutterWindow(const flutter::DartProject& project) : project_(project) {}

FlutterWindow::~FlutterWindow() = default;

HWND FlutterWindow::MainWindow() const { return GetHandle(); }

std::shared_ptr<OAuthManager> FlutterWindow::CurrentOAuthManager() const { return oauth_manager_; }

void FlutterWindow::ReplaceOAuthManager(std::shared_ptr<OAuthManager> manager) {
  oauth_manager_ = std::move(manager);
  if (sign_in_) sign_in_->SetOAuthManager(oauth_manager_);
}

SignInService& FlutterWindow::SignIn() { return *sign_in_; }

bool FlutterWindow::OnCreate() {
  if (!Win32Window::OnCreate()) return false;
  const RECT frame = GetClientArea();
  flutter_controller_ = std::make_unique<flutter::FlutterViewController>(
      frame.right - frame.left, frame.bottom - frame.top, project_);
  if (!flutter_controller_->engine() || !flutter_controller_->view()) return false;
  RegisterPlugins(flutter_controller_->engine());

  SetMinimumLogLevel(kLowestLogLevel);
  LogInfo("FlutterWindow::OnCreate - Initializing native bridge");
  RemoveOrphanedCertificatesAtStartup();
  oauth_manager_ =
      std::make_shared<OAuthManager>("", kOAuthClientId, SelectClientSecretForStoredEnvironment());
  sign_in_ = std::make_unique<SignInService>(GetHandle(), oauth_manager_, ShowSessionExpiredNotice);
  RegisterChannels();

  SetChildContent(flutter_controller_->view()->GetNativeWindow());
  ShowOnNextFrame();
  flutter_controller_->ForceRedraw();
  return true;
}

void FlutterWindow::RegisterChannels() {
  flutter::BinaryMessenger* messenger = flutter_controller_->engine()->messenger();
  native_bridge_channel_ = CreateNativeBridgeChannel(messenger, *this);
  LogInfo("Native bridge MethodChannel registered");
  plugin_channel_ = CreatePluginChannel(messenger, *this);
  LogInfo("Plugin MethodChannel registered (flutter_murako_jce_web_authenticator)");
}

void FlutterWindow::ShowOnNextFrame() {
  flutter_controller_->engine()->SetNextFrameCallback([this]() { Show(); });
}

void FlutterWindow::OnDestroy() {
  flutter_controller_ = nullptr;
  Win32Window::OnDestroy();
}

LRESULT FlutterWindow::MessageHandler(HWND hwnd, UINT const message, WPARAM const wparam,
                                      LPARAM const lparam) noexcept {
  if (flutter_controller_) {
    std::optional<LRESULT> result =
        flutter_controller_->HandleTopLevelWindowProc(hwnd, message, wparam, lparam);
    if (result) return *result;
  }
  switch (message) {
    case WM_CLOSE:
      LogInfo("WM_CLOSE received - hiding window instead of closing");
      ShowWindow(hwnd, SW_HIDE);
      return 0;
    case WM_DESTROY:
      SignOutOfBothAccounts(sign_in_.get(),
                            "WM_DESTROY received - clearing OAuth session and certificates");
      break;
    // At logoff or shutdown the process ends after WM_ENDSESSION without WM_DESTROY. The
    // sign-out runs at the query already (a logoff another program then cancels leaves the
    // user signed out, never signed in) and again at the end, which finds little left to do;
    // the session is never held up.
    case WM_QUERYENDSESSION:
      SignOutOfBothAccounts(sign_in_.get(),
                            "WM_QUERYENDSESSION received - signing out before the session ends");
      return TRUE;
    case WM_ENDSESSION:
      if (wparam != FALSE) {
        SignOutOfBothAccounts(sign_in_.get(),
                              "WM_ENDSESSION received - signing out before the session ends");
        // An installer's Restart Manager asks the program to end so that it can replace its
        // files without a reboot; Windows ends it itself only at logoff or shutdown.
        if ((lparam & ENDSESSION_CLOSEAPP) != 0) DestroyWindow(hwnd);
      }
      return 0;
    case WM_FONTCHANGE:
      if (flutter_controller_) flutter_controller_->engine()->ReloadSystemFonts();
      break;
    case WM_OAUTH_COMPLETE:
      if (sign_in_) sign_in_->OnOAuthComplete(wparam);
      break;
  }
  return Win32Window::MessageHandler(hwnd, message, wparam, lparam);
}
