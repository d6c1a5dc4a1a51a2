#include "page_fetch.h"

#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <cctype>
#include <fstream>
#include <memory>
#include <sstream>

#include "string_conversion.h"
#include "unique_handle.h"

namespace {

constexpr size_t kMaxBody = 8 * 1024 * 1024;
constexpr DWORD kIgnoreCertificateProblems = SECURITY_FLAG_IGNORE_UNKNOWN_CA |
                                             SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
                                             SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                                             SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
// COREWEBVIEW2_WEB_ERROR_STATUS values.
constexpr int kCertificateIsInvalid = 5, kTimeout = 7, kInvalidServerResponse = 8,
              kConnectionAborted = 9, kConnectionReset = 10, kCannotConnect = 12,
              kHostNameNotResolved = 13, kUnexpectedError = 16;

struct CertificateDeleter {
  void operator()(PCCERT_CONTEXT certificate) const { CertFreeCertificateContext(certificate); }
};
using Certificate = std::unique_ptr<const CERT_CONTEXT, CertificateDeleter>;

int WebErrorStatus(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
      return kCertificateIsInvalid;
    case ERROR_WINHTTP_TIMEOUT: return kTimeout;
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE: return kInvalidServerResponse;
    case ERROR_WINHTTP_CONNECTION_ERROR: return kConnectionReset;
    case ERROR_WINHTTP_OPERATION_CANCELLED: return kConnectionAborted;
    case ERROR_WINHTTP_CANNOT_CONNECT: return kCannotConnect;
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return kHostNameNotResolved;
    default: return kUnexpectedError;
  }
}

PageResponse Failure(int status) {
  PageResponse response;
  response.error = GetLastError();
  response.web_error_status = status ? status : WebErrorStatus(response.error);
  return response;
}

Certificate TrustedAuthority() {
  wchar_t path[MAX_PATH * 2];
  const DWORD length = GetEnvironmentVariableW(L"SENDARO_WEBVIEW_TRUSTED_CA", path,
                                               static_cast<DWORD>(std::size(path)));
  if (length == 0 || length >= std::size(path)) return nullptr;
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  const std::string content = text.str();
  std::string der = content;
  DWORD size = 0;
  if (CryptStringToBinaryA(content.c_str(), static_cast<DWORD>(content.size()),
                           CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
    der.assign(size, '\0');
    CryptStringToBinaryA(content.c_str(), static_cast<DWORD>(content.size()),
                         CRYPT_STRING_BASE64HEADER, reinterpret_cast<BYTE*>(&der[0]), &size,
                         nullptr, nullptr);
    der.resize(size);
  }
  return Certificate(CertCreateCertificateContext(
      X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size())));
}

bool IssuedBy(HINTERNET request, PCCERT_CONTEXT authority) {
  PCCERT_CONTEXT server = nullptr;
  DWORD size = sizeof(server);
  if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &server, &size) ||
      server == nullptr) {
    return false;
  }
  Certificate owned(server);
  return CryptVerifyCertificateSignatureEx(
             0, X509_ASN_ENCODING, CRYPT_VERIFY_CERT_SIGN_SUBJECT_CERT,
             const_cast<CERT_CONTEXT*>(server), CRYPT_VERIFY_CERT_SIGN_ISSUER_CERT,
             const_cast<CERT_CONTEXT*>(authority), 0, nullptr) != FALSE;
}

// `name`: a header queried by its name (WINHTTP_QUERY_CUSTOM).
std::string Header(HINTERNET request, DWORD query, DWORD* index,
                   const wchar_t* name = WINHTTP_HEADER_NAME_BY_INDEX) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, query, name, nullptr, &size, index);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return "";
  std::wstring value(size / sizeof(wchar_t), L'\0');
  if (!WinHttpQueryHeaders(request, query, name, &value[0], &size, index)) return "";
  value.resize(size / sizeof(wchar_t));
  return WideToUtf8(value);
}

void ReadHeaders(HINTERNET request, PageResponse& response) {
  DWORD status = 0, size = sizeof(status);
  WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                      WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  response.status = status;
  response.location = Header(request, WINHTTP_QUERY_LOCATION, WINHTTP_NO_HEADER_INDEX);
  response.www_authenticate =
      Header(request, WINHTTP_QUERY_WWW_AUTHENTICATE, WINHTTP_NO_HEADER_INDEX);
  std::string disposition =
      Header(request, WINHTTP_QUERY_CUSTOM, WINHTTP_NO_HEADER_INDEX, L"Content-Disposition");
  for (char& c : disposition) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  response.attachment = disposition.rfind("attachment", 0) == 0;
  for (DWORD index = 0; index < 64;) {
    const DWORD before = index;
    std::string cookie = Header(request, WINHTTP_QUERY_SET_COOKIE, &index);
    if (cookie.empty() || index == before) break;
    response.set_cookies.push_back(cookie);
  }
}

void ReadBody(HINTERNET request, PageResponse& response) {
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available) || available == 0) return;
    if (response.body.size() + available > kMaxBody) return;
    std::string chunk(available, '\0');
    DWORD read = 0;
    if (!WinHttpReadData(request, &chunk[0], available, &read) || read == 0) return;
    response.body.append(chunk, 0, read);
  }
}

}  // namespace

PageResponse FetchPage(const PageRequest& page) {
  const WebAddress& address = page.address;
  WinHttpHandle session(WinHttpOpen(L"Mozilla/5.0 (Windows NT 10.0; Win64; x64) SendaroWebView/1.0",
                                    WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return Failure(0);
  WinHttpSetTimeouts(session.get(), 15000, 15000, 30000, 30000);
  WinHttpHandle connection(WinHttpConnect(session.get(), Utf8ToWide(address.host).c_str(),
                                          address.port, 0));
  if (!connection) return Failure(0);
  WinHttpHandle request(WinHttpOpenRequest(
      connection.get(), Utf8ToWide(page.method).c_str(), Utf8ToWide(address.path_and_query).c_str(),
      nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
      address.IsSecure() ? WINHTTP_FLAG_SECURE : 0));
  if (!request) return Failure(0);
  DWORD features = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof(features));
  const Certificate authority = address.IsSecure() ? TrustedAuthority() : nullptr;
  if (authority) {
    DWORD flags = kIgnoreCertificateProblems;
    WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
  }
  std::string headers;
  if (!page.cookie_header.empty()) headers += "Cookie: " + page.cookie_header + "\r\n";
  if (!page.content_type.empty()) headers += "Content-Type: " + page.content_type + "\r\n";
  const std::wstring wide_headers = Utf8ToWide(headers);
  const DWORD length = static_cast<DWORD>(page.body.size());
  if (!WinHttpSendRequest(request.get(), wide_headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS
                                                              : wide_headers.c_str(),
                          static_cast<DWORD>(-1L),
                          length ? const_cast<char*>(page.body.data()) : nullptr, length, length,
                          0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    return Failure(0);
  }
  if (authority && !IssuedBy(request.get(), authority.get())) {
    return Failure(kCertificateIsInvalid);
  }
  PageResponse response;
  response.received = true;
  ReadHeaders(request.get(), response);
  ReadBody(request.get(), response);
  return response;
}
