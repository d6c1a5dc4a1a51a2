#include "browser_user.h"

#include <windows.h>

#include <fstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "service_double_control.h"
#include "string_conversion.h"

namespace {

constexpr wchar_t kScriptVariable[] = L"SENDARO_WEBVIEW_USER_SCRIPT";
constexpr wchar_t kTrustedCaVariable[] = L"SENDARO_WEBVIEW_TRUSTED_CA";
constexpr wchar_t kLogVariable[] = L"SENDARO_WEBVIEW_LOG";
constexpr char kLoginPagePath[] = "/trustedx-authserver/oauth/murako";

std::string OnLoginPage(nlohmann::json rule) {
  rule["path"] = kLoginPagePath;
  return nlohmann::json{{"pages", nlohmann::json::array({rule})}}.dump();
}

}  // namespace

BrowserUser::BrowserUser() {
  const std::vector<uint8_t> ca = ServiceDoubleControl().CaCertificateDer();
  const std::string ca_file = folder_.path() + "test-ca.der";
  std::ofstream(ca_file, std::ios::binary)
      .write(reinterpret_cast<const char*>(ca.data()), static_cast<std::streamsize>(ca.size()));
  SetEnvironmentVariableW(kTrustedCaVariable, Utf8ToWide(ca_file).c_str());
  SetEnvironmentVariableW(kScriptVariable, Utf8ToWide(folder_.path() + "user.json").c_str());
  SetEnvironmentVariableW(kLogVariable, Utf8ToWide(folder_.path() + "browser.log").c_str());
  Script(DoNothing());
}

BrowserUser::~BrowserUser() {
  SetEnvironmentVariableW(kLogVariable, nullptr);
  SetEnvironmentVariableW(kScriptVariable, nullptr);
  SetEnvironmentVariableW(kTrustedCaVariable, nullptr);
}

void BrowserUser::Script(const std::string& json) const {
  std::ofstream(folder_.path() + "user.json", std::ios::trunc) << json;
}

std::string BrowserUser::BrowserLog() const {
  return ReadFileBytes(folder_.path() + "browser.log");
}

std::string BrowserUser::LogIn(const std::string& user_name, const std::string& password) {
  return OnLoginPage({{"action", "submit"},
                      {"fields", {{"username", user_name}, {"password", password}}}});
}

std::string BrowserUser::LogInAs(const std::string& account) {
  const nlohmann::json described = ServiceDoubleControl().Accounts()["accounts"][account];
  return LogIn(described.value("dni", std::string()), described.value("password", std::string()));
}

std::string BrowserUser::Cancel() { return OnLoginPage({{"action", "cancel"}}); }

std::string BrowserUser::CloseWindow() { return OnLoginPage({{"action", "close"}}); }

std::string BrowserUser::FollowLink(const std::string& link) {
  nlohmann::json rule = {{"path", "/trustedx-authserver/*"}, {"action", "cancel"}, {"link", link}};
  return nlohmann::json{{"pages", nlohmann::json::array({rule})}}.dump();
}

std::string BrowserUser::DoNothing() { return R"({"pages": []})"; }
