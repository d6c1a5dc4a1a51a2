#include "sign_in_urls.h"

namespace {

constexpr char kCodeParameter[] = "code=";

struct CodeSpan {
  size_t begin = std::string::npos;
  size_t length = 0;
};

CodeSpan FindCode(const std::string& uri) {
  const size_t found = uri.find(kCodeParameter);
  if (found == std::string::npos) return {};
  CodeSpan span;
  span.begin = found + sizeof(kCodeParameter) - 1;
  const size_t end = uri.find('&', span.begin);
  span.length = (end == std::string::npos ? uri.size() : end) - span.begin;
  return span;
}

}  // namespace

bool IsOAuthRedirect(const std::string& uri, const std::string& redirect_uri) {
  return !redirect_uri.empty() && uri.compare(0, redirect_uri.size(), redirect_uri) == 0;
}

std::string ExtractAuthorizationCode(const std::string& uri) {
  const CodeSpan span = FindCode(uri);
  if (span.begin == std::string::npos) return {};
  return uri.substr(span.begin, span.length);
}

std::string RedactAuthorizationCode(const std::string& uri) {
  const CodeSpan span = FindCode(uri);
  if (span.begin == std::string::npos || span.length == 0) return uri;
  std::string redacted = uri;
  redacted.replace(span.begin, span.length, "[REDACTED]");
  return redacted;
}

std::string WithCacheBuster(const std::string& authorization_url, int64_t unix_milliseconds) {
  return authorization_url + "&_t=" + std::to_string(unix_milliseconds);
}

std::wstring SignInWindowTitle(const std::string& locale) {
  if (locale == "eu") return L"Sendaroa - Autentifikazioa";
  return L"Sendaro - Autenticaci\u00f3n";
}
