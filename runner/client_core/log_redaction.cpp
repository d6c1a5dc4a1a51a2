#include "log_redaction.h"

#include <algorithm>

#include "url_parser.h"

namespace {

constexpr size_t kTokenEnd = 10;
constexpr size_t kVisibleIdentityTail = 3;
const char* const kSecretNames[] = {"code", "state", "access_token", "id_token",
                                    "refresh_token", "client_secret", "code_verifier"};
const char* const kSecretNameParts[] = {"token", "ticket", "secret",   "session",
                                        "assertion", "verifier", "saml", "password"};
const char* const kSecretJsonMembers[] = {"access_token", "refresh_token", "id_token",
                                          "token", "client_secret", "code_verifier"};

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// "name=value&name=value" (or, with ';' as separator, the parameters of a path segment) with
// each value rewritten by the rules above.
std::string RedactParameters(const std::string& parameters, char separator = '&') {
  std::string redacted;
  size_t start = 0;
  for (;;) {
    const size_t end = std::min(parameters.find(separator, start), parameters.size());
    const std::string field = parameters.substr(start, end - start);
    const size_t equals = field.find('=');
    const std::string name = field.substr(0, equals);
    // Decided on the name as the address's reader decodes it, so "c%6Fde" counts as "code".
    const std::string decoded_name = PercentDecode(name);
    if (equals == std::string::npos || equals + 1 == field.size()) {
      redacted += field;
    } else if (IsSecretParameterName(decoded_name)) {
      redacted += name + "=" + kRedactedText;
    } else if (LowerAscii(decoded_name) == "login_hint") {
      redacted += name + "=" + MaskIdentityNumber(field.substr(equals + 1));
    } else {
      redacted += field;
    }
    if (end == parameters.size()) return redacted;
    redacted += separator;
    start = end + 1;
  }
}

// The end of the JSON string whose content starts at `from` (the closing quote, or the end of
// the text when it has none).
size_t JsonStringEnd(const std::string& text, size_t from) {
  for (size_t at = from; at < text.size(); ++at) {
    if (text[at] == '\\') {
      ++at;
    } else if (text[at] == '"') {
      return at;
    }
  }
  return text.size();
}

size_t SkipBlanks(const std::string& text, size_t at) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' ||
                              text[at] == '\n')) {
    ++at;
  }
  return at;
}

void RedactJsonMember(std::string& text, const std::string& member) {
  const std::string key = "\"" + member + "\"";
  size_t search = 0;
  for (;;) {
    const size_t found = text.find(key, search);
    if (found == std::string::npos) return;
    search = found + key.size();
    size_t at = SkipBlanks(text, search);
    if (at >= text.size() || text[at] != ':') continue;
    at = SkipBlanks(text, at + 1);
    if (at >= text.size() || text[at] != '"') continue;
    const size_t value_start = at + 1;
    const size_t value_end = JsonStringEnd(text, value_start);
    if (value_end == value_start) continue;
    text.replace(value_start, value_end - value_start, kRedactedText);
    search = value_start + sizeof(kRedactedText) - 1;
  }
}

}  // namespace

std::string SecretHead(const std::string& secret, size_t at_most) {
  const size_t shown = std::min(at_most, secret.size() / 4);
  if (shown == 0) return kRedactedText;
  return secret.substr(0, shown) + "...";
}

std::string MaskToken(const std::string& token, const char* separator) {
  const size_t end = std::min(kTokenEnd, token.size() / 8);
  if (end == 0) return kRedactedText;
  return token.substr(0, end) + separator + token.substr(token.size() - end);
}

std::string MaskIdentityNumber(const std::string& number) {
  const size_t hidden = number.size() > kVisibleIdentityTail ? number.size() - kVisibleIdentityTail
                                                             : number.size();
  return std::string(hidden, '*') + number.substr(hidden);
}

bool IsSecretParameterName(const std::string& name) {
  const std::string lower = LowerAscii(name);
  for (const char* secret : kSecretNames) {
    if (lower == secret) return true;
  }
  for (const char* part : kSecretNameParts) {
    if (lower.find(part) != std::string::npos) return true;
  }
  return false;
}

std::string RedactAddressForLog(const std::string& address) {
  const size_t query = address.find('?');
  const size_t fragment = address.find('#');
  std::string redacted;
  const std::string path = address.substr(0, std::min(query, fragment));
  // Path segments may carry parameters too ("/a;jsessionid=..."), masked by the same rules.
  for (size_t start = 0; start < path.size();) {
    const size_t end = std::min(path.find('/', start), path.size());
    redacted += RedactParameters(path.substr(start, end - start), ';');
    if (end < path.size()) redacted += '/';
    start = end + 1;
  }
  if (query != std::string::npos && (fragment == std::string::npos || query < fragment)) {
    const size_t query_end = fragment == std::string::npos ? address.size() : fragment;
    redacted += "?" + RedactParameters(address.substr(query + 1, query_end - query - 1));
  }
  if (fragment != std::string::npos) {
    redacted += "#" + RedactParameters(address.substr(fragment + 1));
  }
  return redacted;
}

std::string RedactJsonSecretsForLog(const std::string& text) {
  std::string redacted = text;
  for (const char* member : kSecretJsonMembers) RedactJsonMember(redacted, member);
  return redacted;
}
