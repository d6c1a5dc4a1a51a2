#include "sign_in_urls.h"

#include <algorithm>

#include "url_parser.h"

namespace {

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool IsSchemeCharacter(char c, bool first) {
  const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  if (first) return letter;
  return letter || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

std::string NormalisedPath(const std::string& path) { return path.empty() ? "/" : path; }

}  // namespace

std::optional<AddressParts> ReadAddress(const std::string& address) {
  const size_t colon = address.find(':');
  if (colon == std::string::npos || colon == 0 || address.compare(colon, 3, "://") != 0) {
    return std::nullopt;
  }
  for (size_t i = 0; i < colon; ++i) {
    if (!IsSchemeCharacter(address[i], i == 0)) return std::nullopt;
  }
  AddressParts parts;
  parts.scheme = LowerAscii(address.substr(0, colon));
  const size_t authority_start = colon + 3;
  const size_t authority_end = std::min(address.find_first_of("/?#", authority_start),
                                        address.size());
  parts.authority = LowerAscii(address.substr(authority_start, authority_end - authority_start));
  const size_t fragment = std::min(address.find('#', authority_end), address.size());
  const size_t query = std::min(address.find('?', authority_end), fragment);
  parts.path = address.substr(authority_end, query - authority_end);
  if (query < fragment) parts.query = address.substr(query + 1, fragment - query - 1);
  if (fragment < address.size()) parts.fragment = address.substr(fragment + 1);
  return parts;
}

bool IsUsableRedirectUri(const std::string& redirect_uri) {
  const std::optional<AddressParts> parts = ReadAddress(redirect_uri);
  return parts && !parts->authority.empty() &&
         redirect_uri.find_first_of("?#") == std::string::npos;
}

bool IsOAuthRedirect(const std::string& uri, const std::string& redirect_uri) {
  if (!IsUsableRedirectUri(redirect_uri)) return false;
  const std::optional<AddressParts> target = ReadAddress(uri);
  const std::optional<AddressParts> expected = ReadAddress(redirect_uri);
  return target && target->scheme == expected->scheme &&
         target->authority == expected->authority &&
         NormalisedPath(target->path) == NormalisedPath(expected->path);
}

RedirectParameters ReadRedirectParameters(const std::string& uri) {
  RedirectParameters redirect;
  const std::optional<AddressParts> parts = ReadAddress(uri);
  if (!parts) return redirect;
  for (const auto& [name, value] : ParseQueryParameters(parts->query)) {
    if (name == "code" && !redirect.code) redirect.code = value;
    if (name == "state" && !redirect.state) redirect.state = value;
    if (name == "error" && !redirect.error) redirect.error = value;
  }
  return redirect;
}

RedirectOutcome JudgeRedirect(const RedirectParameters& redirect,
                              const std::string& expected_state) {
  if (!expected_state.empty() && redirect.state.value_or(std::string()) != expected_state) {
    return RedirectOutcome::kStateMismatch;
  }
  if (redirect.error) return RedirectOutcome::kError;
  if (!redirect.code || redirect.code->empty()) return RedirectOutcome::kNoCode;
  return RedirectOutcome::kCode;
}

NavigationVerdict JudgeNavigation(const std::string& uri, const std::string& redirect_uri) {
  if (IsOAuthRedirect(uri, redirect_uri)) return NavigationVerdict::kRedirect;
  const std::optional<AddressParts> parts = ReadAddress(uri);
  if (parts && parts->scheme == "https" && !parts->authority.empty()) {
    return NavigationVerdict::kAllow;
  }
  return NavigationVerdict::kRefuse;
}

NavigationVerdict JudgeFrameNavigation(const std::string& uri, const std::string& redirect_uri) {
  if (uri == "about:blank" || uri == "about:srcdoc") return NavigationVerdict::kAllow;
  if (IsOAuthRedirect(uri, redirect_uri)) return NavigationVerdict::kRefuse;
  return JudgeNavigation(uri, std::string());
}

std::string WithCacheBuster(const std::string& authorization_url, int64_t unix_milliseconds) {
  return authorization_url + "&_t=" + std::to_string(unix_milliseconds);
}

std::wstring SignInWindowTitle(const std::string& locale) {
  if (locale == "eu") return L"Sendaroa - Autentifikazioa";
  return L"Sendaro - Autenticaci\u00f3n";
}
