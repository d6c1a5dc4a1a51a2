// Token endpoint answers: any body is read without an exception escaping or a crash, and no
// log text shows a token of the answer. Form bodies lose the values of their secret fields
// and nothing else.
#include <stack>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "token_response.h"
#include "untrusted_json.h"

namespace {

// Long enough that the log may show a few characters at each end, never the middle.
const std::string kCanary = "canaryHEAD-SECRET-MIDDLE-canaryTAIL";
constexpr char kCanaryMiddle[] = "SECRET-MIDDLE";

// Replaces the value of every token member, at any depth, by `planted`. Iterative: the
// document is within the nesting limit, but the harness should not rely on that.
void Plant(nlohmann::json& document, const std::string& planted) {
  std::stack<nlohmann::json*> pending;
  pending.push(&document);
  while (!pending.empty()) {
    nlohmann::json& value = *pending.top();
    pending.pop();
    if (value.is_object()) {
      for (auto member = value.begin(); member != value.end(); ++member) {
        if (member.key() == "access_token" || member.key() == "refresh_token" ||
            member.key() == "id_token") {
          member.value() = planted;
        } else {
          pending.push(&member.value());
        }
      }
    } else if (value.is_array()) {
      for (nlohmann::json& element : value) pending.push(&element);
    }
  }
}

std::string Text(const nlohmann::json& document, int indent) {
  return document.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

void CheckNoCanaryLogged(const std::string& body) {
  for (TokenGrant grant : {TokenGrant::AuthorizationCode, TokenGrant::RefreshToken}) {
    const TokenResponseOutcome outcome = ParseTokenResponse(body, grant, "", 0);
    for (const TokenLogLine& line : outcome.log_lines) {
      FUZZ_CHECK(line.text.find(kCanaryMiddle) == std::string::npos);
    }
  }
  FUZZ_CHECK(RedactTokensForLog(body).find(kCanaryMiddle) == std::string::npos);
}

void CheckAnswer(const std::string& body) {
  const TokenResponseOutcome outcome =
      ParseTokenResponse(body, TokenGrant::RefreshToken, "sent-refresh-token", 0);
  FUZZ_CHECK(!outcome.log_lines.empty());
  if (outcome.token) {
    FUZZ_CHECK(!outcome.token->access_token.empty());
    FUZZ_CHECK(!outcome.token->refresh_token.empty());
  }
  const std::string shown = RedactTokensForLog(body);
  nlohmann::json document;
  try {
    document = ParseUntrustedJson(body);
  } catch (const std::exception&) {
    // Nothing of a body that does not parse is shown.
    FUZZ_CHECK(shown == "[not shown: " + std::to_string(body.size()) +
                            " bytes that do not parse as JSON]");
    return;
  }
  FUZZ_CHECK(shown.size() <= 4096 + 64);
  // Skipped when the rest of the answer holds the canary's middle itself.
  Plant(document, "");
  if (Text(document, -1).find(kCanaryMiddle) != std::string::npos) return;
  Plant(document, kCanary);
  const std::string planted = Text(document, -1);
  CheckNoCanaryLogged(planted);
  CheckNoCanaryLogged(Text(document, 1));
  // The answer cut off right after the middle of a token.
  const size_t middle = planted.find(kCanaryMiddle);
  if (middle != std::string::npos) {
    CheckNoCanaryLogged(planted.substr(0, middle + sizeof(kCanaryMiddle) - 1));
  }
}

std::vector<std::string> Fields(const std::string& form) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t end = form.find('&', start);
    fields.push_back(form.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

void CheckFormBody(const std::string& form) {
  const std::vector<std::string> before = Fields(form);
  const std::vector<std::string> after = Fields(RedactFormBodyForLog(form));
  FUZZ_CHECK(before.size() == after.size());
  for (size_t i = 0; i < before.size(); ++i) {
    const size_t equals = before[i].find('=');
    const std::string name = before[i].substr(0, equals);
    const bool secret = equals != std::string::npos && equals + 1 < before[i].size() &&
                        (name == "code" || name == "refresh_token" || name == "client_secret" ||
                         name == "code_verifier");
    FUZZ_CHECK(after[i] == (secret ? name + "=[REDACTED]" : before[i]));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckAnswer(text);
  CheckFormBody(text);
  return 0;
}
