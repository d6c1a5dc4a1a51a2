#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

// The "user" in front of the stand-in browser, read from the JSON file named by the
// environment variable SENDARO_WEBVIEW_USER_SCRIPT each time a page has loaded:
//   {"pages": [{"path": "/login", "title": "Acceso", "action": "submit",
//               "fields": {"username": "...", "password": "..."}, "times": 1,
//               "delay_ms": 0},
//              {"title": "Sinadura", "action": "cancel", "link": "Utzi"},
//              {"action": "close"}]}
// The first rule whose "path" (the page's path; a trailing "*" makes it a prefix) and "title"
// (a part of the page title) both match, and that has acted fewer than "times" times (default
// 1; 0 = always; counts start afresh when the file is written again), decides. Actions: "submit" (fill the named fields and submit the first
// form), "cancel" (follow the link whose id, class or text is "link", by default the first
// whose id or class contains "cancel"), "close" (close the window), "nothing". No file, no
// matching rule, or a hidden window: the user does nothing.
// The script also tells what the servers do that the stand-in's WinHTTP cannot show under
// Wine: "client_certificate_paths": ["/path", "/prefix*"] are served only after the server asked
// for a TLS client certificate.
struct UserStep {
  enum class Kind { kNothing, kSubmit, kCancel, kClose };
  Kind kind = Kind::kNothing;
  std::vector<std::pair<std::string, std::string>> fields;
  std::string link;
  unsigned delay_ms = 0;
};

// `used` counts how often each rule acted, keyed by the rule's own text, and is updated.
UserStep ChooseUserStep(const nlohmann::json& script, const std::string& path,
                        const std::string& title, std::map<std::string, int>& used);

// The step for a page, from the script file (process-wide counts).
UserStep ScriptedUserStep(const std::string& path, const std::string& title);

bool AsksForClientCertificate(const nlohmann::json& script, const std::string& path);
// The same, from the script file.
bool ScriptedServerAsksForClientCertificate(const std::string& path);
