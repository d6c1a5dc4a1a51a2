// Prepares and inspects what Sendaro.exe leaves behind, for the application tests and the main
// job: the system's certificates in the personal store, the session keys in credential storage
// and the main window. One command per run; answers one JSON line on standard output.
//   session_probe state                 certificates, session keys and thumbprint mappings
//   session_probe link-citizen          links the citizen account with a code minted at the
//                                       service double (tokens, user data, certificates)
//   session_probe store KEY VALUE | delete KEY | remove-certificate THUMBPRINT
//   session_probe present KEY...        which of the credential-storage keys exist
//   session_probe window                visibility and rectangle of the main window
//   session_probe end-session [close-app]  sends the main window the logoff's (or an
//                                       installer's) WM_QUERYENDSESSION and WM_ENDSESSION, as
//                                       Windows does, with its time-outs
//   session_probe reset                 removes the certificates, mappings and session keys
#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "account_linking.h"
#include "cert_store_manager.h"
#include "session_state.h"
#include "oauth_protocol.h"
#include "oauth_manager.h"
#include "secure_storage.h"
#include "service_double_control.h"
#include "auth_vocabulary.h"

namespace {

nlohmann::json State() {
  nlohmann::json certificates = nlohmann::json::array();
  const std::vector<InstalledCertificate> installed = CertStoreManager::ListInstalledCertificates();
  for (const InstalledCertificate& certificate : installed) {
    certificates.push_back({{"thumbprint", certificate.thumbprint},
                            {"subjectCn", certificate.subjectCn},
                            {"signIdentityId", certificate.signIdentityId}});
  }
  nlohmann::json keys = nlohmann::json::array();
  for (const std::string& key : SessionTokenKeysInClearingOrder()) {
    if (SecureStorage::GetToken(key)) keys.push_back(key);
  }
  nlohmann::json mappings = nlohmann::json::array();
  for (const std::string& key : ThumbprintMappingKeys(installed)) {
    if (SecureStorage::GetToken(key)) mappings.push_back(key);
  }
  return {{"certificates", certificates}, {"session_keys", keys}, {"mappings", mappings}};
}

nlohmann::json LinkCitizen() {
  const ServiceDoubleControl control;
  const std::string code = control.NewAuthorizationCode("ciudadano");
  if (code.empty()) return {{"error", "no authorization code from the service double"}};
  const OAuthManager manager("", kOAuthClientId, SelectClientSecretForStoredEnvironment());
  const auto token = manager.ExchangeCodeForToken(code, kOAuthRedirectUri, kOAuthCitizen);
  if (!token) return {{"error", "code exchange failed"}};
  const AccountLinkingResult linked = AccountLinking(UserType::kCitizen).OnLinkingTokenReceived(token);
  return {
      {"success", linked.success}, {"installed", linked.installed}, {"message", linked.message}};
}

nlohmann::json MainWindow() {
  HWND window = FindWindowW(L"FLUTTER_RUNNER_WIN32_WINDOW", nullptr);
  if (window == nullptr) return {{"found", false}};
  RECT rect{};
  GetWindowRect(window, &rect);
  wchar_t title[128] = {};
  GetWindowTextW(window, title, 127);
  char utf8[512] = {};
  WideCharToMultiByte(CP_UTF8, 0, title, -1, utf8, sizeof(utf8) - 1, nullptr, nullptr);
  return {{"found", true},
          {"visible", IsWindowVisible(window) != FALSE},
          {"title", utf8},
          {"left", rect.left},
          {"top", rect.top},
          {"width", rect.right - rect.left},
          {"height", rect.bottom - rect.top}};
}

// Windows waits 5 s for each answer before it offers to end the program.
nlohmann::json EndSession(LPARAM reason) {
  HWND window = FindWindowW(L"FLUTTER_RUNNER_WIN32_WINDOW", nullptr);
  if (window == nullptr) return {{"error", "no main window"}};
  constexpr UINT kWindowsWaitMs = 5000;
  const ULONGLONG started = GetTickCount64();
  DWORD_PTR may_end = 0;
  const bool queried = SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, reason,
                                           SMTO_ABORTIFHUNG, kWindowsWaitMs, &may_end) != 0;
  const ULONGLONG query_ms = GetTickCount64() - started;
  DWORD_PTR ignored = 0;
  const bool ended = SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, reason,
                                         SMTO_ABORTIFHUNG, kWindowsWaitMs, &ignored) != 0;
  return {{"queried", queried},
          {"may_end", may_end != 0},
          {"query_ms", query_ms},
          {"ended", ended},
          {"end_ms", GetTickCount64() - started - query_ms}};
}

nlohmann::json Run(const std::vector<std::string>& arguments) {
  const std::string command = arguments.empty() ? "" : arguments[0];
  if (command == "state") return State();
  if (command == "link-citizen") return LinkCitizen();
  if (command == "window") return MainWindow();
  if (command == "end-session") {
    return EndSession(arguments.size() == 2 && arguments[1] == "close-app" ? ENDSESSION_CLOSEAPP
                                                                           : ENDSESSION_LOGOFF);
  }
  if (command == "present") {
    nlohmann::json present = nlohmann::json::array();
    for (size_t i = 1; i < arguments.size(); ++i) {
      if (SecureStorage::GetToken(arguments[i])) present.push_back(arguments[i]);
    }
    return {{"present", present}};
  }
  if (command == "store" && arguments.size() == 3) {
    return {{"stored", SecureStorage::StoreToken(arguments[1], arguments[2])}};
  }
  if (command == "delete" && arguments.size() == 2) {
    return {{"deleted", SecureStorage::DeleteToken(arguments[1])}};
  }
  if (command == "remove-certificate" && arguments.size() == 2) {
    return {{"removed", CertStoreManager::RemoveCertificate(arguments[1])}};
  }
  if (command == "reset") return {{"cleared", ClearOAuthSession()}};
  return {{"error", "unknown command"}};
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const nlohmann::json answer = Run(std::vector<std::string>(argv + 1, argv + argc));
    std::cout << answer.dump() << std::endl;
    return answer.contains("error") ? 2 : 0;
  } catch (const std::exception& error) {
    std::cout << nlohmann::json{{"error", error.what()}}.dump() << std::endl;
    return 2;
  }
}
