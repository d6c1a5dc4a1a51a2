#include "application.h"

#include <functional>
#include <string>

#include "cert_store_manager.h"
#include "guarded_entry.h"
#include "logger.h"
#include "native_bridge_channel.h"
#include "oauth_callback.h"
#include "oauth_manager.h"
#include "oauth_protocol.h"
#include "plugin_channel.h"
#include "secure_storage.h"
#include "session_expired_notice.h"
#include "session_state.h"
#include "sign_in_service.h"

namespace {

constexpr int kLowestLogLevel = 0;

bool HasValue(const std::optional<std::string>& token) { return token && !token->empty(); }

bool AnySession(const std::optional<std::string>& citizen_access_token,
                const std::optional<std::string>& professional_access_token) {
  return HasValue(citizen_access_token) || HasValue(professional_access_token);
}

// Provider-bound certificates left without any session are removed.
void RemoveOrphanedCertificatesAtStartup() {
  const size_t count = CertStoreManager::ListInstalledCertificates().size();
  if (count == 0) return;
  if (AnySession(SecureStorage::GetToken("oauth_access_token_ciudadano"),
                 SecureStorage::GetToken("oauth_access_token_profesional"))) {
    return;
  }
  LogInfo("Startup cleanup: found " + std::to_string(count) +
          " orphaned certs with no active session - removing");
  CertStoreManager::RemoveAllCertificates();
}

// A step that fails is logged with `failure_line`; what follows it still runs.
void RunStep(const char* failure_line, const std::function<void()>& step) {
  GuardEntry(step, [failure_line](const CaughtFailure& caught) {
    LogEntryFailure(failure_line, caught);
  });
}

}  // namespace

Application::Application(HWND main_window, flutter::BinaryMessenger* messenger)
    : main_window_(main_window) {
  SetMinimumLogLevel(kLowestLogLevel);
  LogInfo("FlutterWindow::OnCreate - Initializing native bridge");
  RunStep("Startup cleanup failed: ", RemoveOrphanedCertificatesAtStartup);
  sign_in_ = std::make_unique<SignInService>(
      main_window_,
      std::make_shared<OAuthManager>("", kOAuthClientId, SelectClientSecretForStoredEnvironment()),
      ShowSessionExpiredNotice);
  native_bridge_channel_ = CreateMethodChannel(messenger, NativeBridgeChannel(), *this);
  LogInfo("Native bridge MethodChannel registered");
  plugin_channel_ = CreateMethodChannel(messenger, PluginChannel(), *this);
  LogInfo("Plugin MethodChannel registered (flutter_murako_jce_web_authenticator)");
}

Application::~Application() = default;

HWND Application::MainWindow() const { return main_window_; }

SignInService& Application::SignIn() { return *sign_in_; }

std::optional<LRESULT> Application::HandleMessage(HWND window, UINT message, WPARAM wparam,
                                                  LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      LogInfo("WM_CLOSE received - hiding window instead of closing");
      ShowWindow(window, SW_HIDE);
      return 0;
    case WM_DESTROY:
      SignOutOfBothAccounts("WM_DESTROY received - clearing OAuth session and certificates");
      break;
    // At logoff or shutdown the process ends after WM_ENDSESSION without WM_DESTROY. The
    // sign-out runs at the query already (a logoff another program then cancels leaves the
    // user signed out, never signed in) and again at the end, which finds little left to do;
    // the session is never held up.
    case WM_QUERYENDSESSION:
      SignOutOfBothAccounts("WM_QUERYENDSESSION received - signing out before the session ends");
      return TRUE;
    case WM_ENDSESSION:
      if (wparam != FALSE) {
        SignOutOfBothAccounts("WM_ENDSESSION received - signing out before the session ends");
        // An installer's Restart Manager asks the program to end so that it can replace its
        // files without a reboot; Windows ends it itself only at logoff or shutdown.
        if ((lparam & ENDSESSION_CLOSEAPP) != 0) RequestEnd(window);
      }
      return 0;
    case WM_OAUTH_COMPLETE:
      sign_in_->OnOAuthComplete(wparam);
      // The delivery has returned: a request to end that came meanwhile is taken up now.
      if (end_requested_ && !IsDelivering()) RequestEnd(window);
      break;
  }
  return std::nullopt;
}

bool Application::IsDelivering() const { return sign_in_->IsDelivering(); }

bool Application::TakeEndRequest() {
  if (!end_requested_ || IsDelivering()) return false;
  end_requested_ = false;
  return true;
}

void Application::RequestEnd(HWND window) {
  end_requested_ = true;
  PostMessageW(window, WM_END_PROGRAM, 0, 0);
}

void Application::SignOutOfBothAccounts(const char* announcement) {
  LogInfo(announcement);
  RunStep("Ending the sign-in browser's session failed: ", [this] {
    sign_in_->SignOutAtEnd([] {
      RunStep("Sign-out on close failed: ", [] {
        RemoveAllMurakoCertificates();
        DeleteSessionTokens();
        LogInfo("OAuth tokens and certificates cleared on app close");
      });
    });
  });
  RemoveSessionExpiredNotice();
}
