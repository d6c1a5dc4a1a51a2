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
//                                       Windows does, with its time-outs; at a logoff the
//                                       program is then ended, as Windows ends it
//   session_probe end-session-in-notice [close-app]  plays the notification area: the same,
//                                       sent while the program waits for the area to take
//                                       its first notice
//   session_probe hold-instance-mutex SECONDS  holds the program's single-instance mutex, as
//                                       another user's instance does: this user may not open it
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

// Once every program has returned from WM_ENDSESSION, Windows ends them: nothing runs after.
// A program that died meanwhile (a crash) is reported.
nlohmann::json EndProgramAsWindowsDoes(HWND window) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  HANDLE process = OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                               process_id);
  if (process == nullptr) return {{"terminated", false}, {"alive_until_ended", false}};
  DWORD exit_code = 0;
  const bool alive = GetExitCodeProcess(process, &exit_code) && exit_code == STILL_ACTIVE;
  const bool terminated = alive && TerminateProcess(process, 1) != FALSE;
  if (terminated) WaitForSingleObject(process, 10000);
  CloseHandle(process);
  return {{"terminated", terminated}, {"alive_until_ended", alive}};
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
  nlohmann::json answer = {{"queried", queried},
                           {"may_end", may_end != 0},
                           {"query_ms", query_ms},
                           {"ended", ended},
                           {"end_ms", GetTickCount64() - started - query_ms}};
  if ((reason & ENDSESSION_CLOSEAPP) == 0) answer.update(EndProgramAsWindowsDoes(window));
  return answer;
}

// The notification area's window: Shell_NotifyIcon sends it WM_COPYDATA and waits for the
// answer, dispatching the messages sent to the program meanwhile.
// The program's calls made while the end is sent (its icon's removal) are only answered.
struct NotificationArea {
  LPARAM reason = 0;
  bool ending = false;
  nlohmann::json ended;
};
NotificationArea* notification_area = nullptr;

LRESULT CALLBACK NotificationAreaProcedure(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
  if (message == WM_COPYDATA && notification_area != nullptr) {
    if (!notification_area->ending) {
      notification_area->ending = true;
      notification_area->ended = EndSession(notification_area->reason);
    }
    return TRUE;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

nlohmann::json EndSessionInNotice(LPARAM reason) {
  WNDCLASSW area_class{};
  area_class.lpfnWndProc = NotificationAreaProcedure;
  area_class.hInstance = GetModuleHandleW(nullptr);
  area_class.lpszClassName = L"Shell_TrayWnd";
  RegisterClassW(&area_class);
  HWND area = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"Shell_TrayWnd", L"", WS_POPUP,
                              0, 0, 0, 0, nullptr, nullptr, area_class.hInstance, nullptr);
  if (area == nullptr) return {{"error", "no notification area window"}};
  if (FindWindowExW(nullptr, nullptr, L"Shell_TrayWnd", nullptr) != area) {
    DestroyWindow(area);
    return {{"error", "another notification area window is found first"}};
  }
  NotificationArea state;
  state.reason = reason;
  notification_area = &state;
  const ULONGLONG deadline = GetTickCount64() + 90000;
  MSG message;
  while (state.ended.is_null() && GetTickCount64() < deadline) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 200, QS_ALLINPUT);
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  notification_area = nullptr;
  DestroyWindow(area);
  if (state.ended.is_null()) return {{"error", "no notice reached the notification area"}};
  return state.ended;
}

nlohmann::json HoldInstanceMutex(DWORD seconds) {
  SECURITY_DESCRIPTOR nobody{};  // an empty access list: no one else may open it
  ACL empty{};
  InitializeSecurityDescriptor(&nobody, SECURITY_DESCRIPTOR_REVISION);
  InitializeAcl(&empty, sizeof(empty), ACL_REVISION);
  SetSecurityDescriptorDacl(&nobody, TRUE, &empty, FALSE);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), &nobody, FALSE};
  HANDLE mutex = CreateMutexW(&attributes, TRUE, L"Global\\MurakoSendaro_SingleInstance");
  if (mutex == nullptr) return {{"error", "mutex not created"}};
  HANDLE opened = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, L"Global\\MurakoSendaro_SingleInstance");
  const DWORD refused = opened == nullptr ? GetLastError() : 0;
  if (opened != nullptr) CloseHandle(opened);
  Sleep(seconds * 1000);
  CloseHandle(mutex);
  return {{"open_refused_with", refused}};
}

nlohmann::json Run(const std::vector<std::string>& arguments) {
  const std::string command = arguments.empty() ? "" : arguments[0];
  if (command == "state") return State();
  if (command == "link-citizen") return LinkCitizen();
  if (command == "window") return MainWindow();
  const LPARAM end_reason = arguments.size() == 2 && arguments[1] == "close-app"
                               ? ENDSESSION_CLOSEAPP
                               : ENDSESSION_LOGOFF;
  if (command == "end-session") return EndSession(end_reason);
  if (command == "end-session-in-notice") return EndSessionInNotice(end_reason);
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
  if (command == "hold-instance-mutex" && arguments.size() == 2) {
    return HoldInstanceMutex(std::stoul(arguments[1]));
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
