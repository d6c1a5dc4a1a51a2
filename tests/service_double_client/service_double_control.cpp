#include "service_double_control.h"

#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include "string_conversion.h"
#include "text_encoding.h"
#include "unique_handle.h"
#include "winhttp_response.h"

namespace {

struct ControlAddress {
  std::wstring host;
  INTERNET_PORT port;
};

ControlAddress Address() {
  const std::string text = SENDARO_SERVICE_DOUBLE_CONTROL_ADDRESS;
  const size_t colon = text.rfind(':');
  return {Utf8ToWide(text.substr(0, colon)),
          static_cast<INTERNET_PORT>(std::stoi(text.substr(colon + 1)))};
}

}  // namespace

std::optional<std::string> ServiceDoubleControl::Call(const std::string& verb,
                                                      const std::string& path,
                                                      const std::string& body) const {
  const ControlAddress address = Address();
  WinHttpHandle session(WinHttpOpen(L"service-double-control", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return std::nullopt;
  WinHttpSetTimeouts(session.get(), 5000, 5000, 30000, 30000);
  WinHttpHandle connection(WinHttpConnect(session.get(), address.host.c_str(), address.port, 0));
  if (!connection) return std::nullopt;
  WinHttpHandle request(WinHttpOpenRequest(connection.get(), Utf8ToWide(verb).c_str(),
                                           Utf8ToWide(path).c_str(), nullptr, WINHTTP_NO_REFERER,
                                           WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
  if (!request) return std::nullopt;
  const wchar_t* headers = L"Content-Type: application/json";
  const DWORD length = static_cast<DWORD>(body.size());
  if (!WinHttpSendRequest(request.get(), headers, static_cast<DWORD>(-1),
                          length ? const_cast<char*>(body.data()) : nullptr, length, length, 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    return std::nullopt;
  }
  WinHttpResponse response = ReadWinHttpResponse(request.get());
  if (response.status != 200) return std::nullopt;
  return response.body;
}

bool ServiceDoubleControl::IsRunning() const { return Call("GET", "/health").has_value(); }

nlohmann::json ServiceDoubleControl::Accounts() const {
  return nlohmann::json::parse(Call("GET", "/accounts").value_or("{}"));
}

std::vector<uint8_t> ServiceDoubleControl::CaCertificateDer() const {
  auto answer = nlohmann::json::parse(Call("GET", "/ca").value_or("{}"));
  return DecodeBase64(answer.value("certificate", "")).value_or(std::vector<uint8_t>());
}

std::string ServiceDoubleControl::NewToken(const std::string& account) const {
  auto answer = Call("POST", "/tokens", nlohmann::json{{"account", account}}.dump());
  return answer ? nlohmann::json::parse(*answer).value("token", "") : "";
}

std::string ServiceDoubleControl::NewAuthorizationCode(const std::string& account,
                                                      nlohmann::json options) const {
  options["account"] = account;
  auto answer = Call("POST", "/oauth/codes", options.dump());
  return answer ? nlohmann::json::parse(*answer).value("code", "") : "";
}

void ServiceDoubleControl::RevokeToken(const std::string& token) const {
  Call("POST", "/tokens/revoke", nlohmann::json{{"token", token}}.dump());
}

void ServiceDoubleControl::AddFault(nlohmann::json fault) const {
  Call("POST", "/faults", fault.dump());
}

void ServiceDoubleControl::ClearFaults(const std::string& token) const {
  Call("DELETE", "/faults?token=" + token);
}

nlohmann::json ServiceDoubleControl::Requests(const std::string& token) const {
  return nlohmann::json::parse(Call("GET", "/requests?token=" + token).value_or("[]"));
}

bool ServiceDoubleControl::Verify(const std::string& identity, const std::string& algorithm,
                                  const std::vector<uint8_t>& digest,
                                  const std::vector<uint8_t>& signature) const {
  nlohmann::json body{{"identity", identity},
                      {"algorithm", algorithm},
                      {"digest", EncodeBase64(digest)},
                      {"signature", EncodeBase64(signature)}};
  auto answer = Call("POST", "/verify", body.dump());
  return answer && nlohmann::json::parse(*answer).value("valid", false);
}

bool ServiceDoubleControl::SetTestAuthorityTrusted(bool trusted) const {
  std::vector<uint8_t> der = CaCertificateDer();
  if (der.empty()) return false;
  if (trusted) {
    return CertAddEncodedCertificateToSystemStoreA("ROOT", der.data(),
                                                   static_cast<DWORD>(der.size())) != FALSE;
  }
  HCERTSTORE store = CertOpenSystemStoreA(0, "ROOT");
  if (store == nullptr) return false;
  PCCERT_CONTEXT wanted =
      CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
  bool removed = true;
  if (wanted != nullptr) {
    PCCERT_CONTEXT found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0,
                                                      CERT_FIND_EXISTING, wanted, nullptr);
    if (found != nullptr) removed = CertDeleteCertificateFromStore(found) != FALSE;
    CertFreeCertificateContext(wanted);
  }
  // Wine writes a store that saw a deletion only on an explicit commit.
  CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
  CertCloseStore(store, 0);
  return removed;
}
