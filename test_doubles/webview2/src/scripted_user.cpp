#include "scripted_user.h"

#include <windows.h>

#include <cstdint>
#include <fstream>
#include <mutex>
#include <sstream>

#include "string_conversion.h"

namespace {

bool PathMatches(const std::string& pattern, const std::string& path) {
  if (!pattern.empty() && pattern.back() == '*') {
    return path.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
  }
  return pattern == path;
}

UserStep::Kind KindNamed(const std::string& action) {
  if (action == "submit") return UserStep::Kind::kSubmit;
  if (action == "cancel") return UserStep::Kind::kCancel;
  if (action == "close") return UserStep::Kind::kClose;
  return UserStep::Kind::kNothing;
}

// Rewriting the script file starts its rules' counts afresh.
std::string WriteTime(const std::wstring& file) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) return "";
  return std::to_string((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                        data.ftLastWriteTime.dwLowDateTime);
}

std::string ScriptPath() {
  wchar_t buffer[MAX_PATH * 2];
  const DWORD length = GetEnvironmentVariableW(L"SENDARO_WEBVIEW_USER_SCRIPT", buffer,
                                               static_cast<DWORD>(std::size(buffer)));
  if (length == 0 || length >= std::size(buffer)) return "";
  return WideToUtf8(std::wstring(buffer, length));
}

}  // namespace

UserStep ChooseUserStep(const nlohmann::json& script, const std::string& path,
                        const std::string& title, std::map<std::string, int>& used) {
  UserStep step;
  if (!script.is_object() || !script.contains("pages") || !script["pages"].is_array()) return step;
  for (const nlohmann::json& rule : script["pages"]) {
    if (!rule.is_object()) continue;
    const std::string rule_path = rule.value("path", std::string());
    const std::string rule_title = rule.value("title", std::string());
    if (!rule_path.empty() && !PathMatches(rule_path, path)) continue;
    if (!rule_title.empty() && title.find(rule_title) == std::string::npos) continue;
    const int times = rule.value("times", 1);
    int& count = used[rule.dump()];
    if (times > 0 && count >= times) continue;
    ++count;
    step.kind = KindNamed(rule.value("action", std::string()));
    step.link = rule.value("link", std::string());
    step.delay_ms = rule.value("delay_ms", 0u);
    if (rule.contains("fields") && rule["fields"].is_object()) {
      for (const auto& [name, value] : rule["fields"].items()) {
        if (value.is_string()) step.fields.emplace_back(name, value.get<std::string>());
      }
    }
    return step;
  }
  return step;
}

namespace {

// The script file's text and its name with its write time; empty when there is none.
std::pair<std::string, std::string> ReadScriptFile() {
  const std::string file = ScriptPath();
  if (file.empty()) return {};
  const std::wstring wide_file = Utf8ToWide(file);
  std::ifstream input(wide_file.c_str(), std::ios::binary);
  if (!input) return {};
  std::stringstream text;
  text << input.rdbuf();
  return {text.str(), file + "|" + WriteTime(wide_file)};
}

}  // namespace

UserStep ScriptedUserStep(const std::string& path, const std::string& title) {
  static std::mutex lock;
  static std::map<std::string, std::map<std::string, int>> used_by_script;
  const auto [text, version] = ReadScriptFile();
  if (version.empty()) return {};
  const nlohmann::json script = nlohmann::json::parse(text, nullptr, false);
  std::lock_guard<std::mutex> guard(lock);
  try {
    return ChooseUserStep(script, path, title, used_by_script[version]);
  } catch (const nlohmann::json::exception&) {
    return {};  // a rule with a wrongly typed member: the user does nothing
  }
}

bool AsksForClientCertificate(const nlohmann::json& script, const std::string& path) {
  if (!script.is_object() || !script.contains("client_certificate_paths")) return false;
  const nlohmann::json& paths = script["client_certificate_paths"];
  if (!paths.is_array()) return false;
  for (const nlohmann::json& pattern : paths) {
    if (pattern.is_string() && PathMatches(pattern.get<std::string>(), path)) return true;
  }
  return false;
}

bool ScriptedServerAsksForClientCertificate(const std::string& path) {
  const std::string text = ReadScriptFile().first;
  return AsksForClientCertificate(nlohmann::json::parse(text, nullptr, false), path);
}
