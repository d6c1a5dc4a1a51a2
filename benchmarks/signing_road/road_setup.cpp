#include "road_setup.h"

#include <cstdio>

#include "key_storage_function_table.h"

#include "provider_road.h"
#include "secure_storage.h"
#include "service_endpoints.h"
#include "string_conversion.h"
#include "text_encoding.h"
#include "unique_handle.h"
#include "winhttp_response.h"

bool Prepare(Setup& setup) {
  if (!setup.control.IsRunning()) {
    std::printf("signing service double not running (scripts/service-double.sh start)\n");
    return false;
  }
  setup.identity = IdentityOf(setup.control.Accounts(), "cit-rsa2048");
  // As long as real signed access tokens: three credential parts.
  const std::optional<std::string> minted = setup.control.Call(
      "POST", "/tokens", nlohmann::json{{"account", "ciudadano"}, {"length", 6000}}.dump());
  setup.token = nlohmann::json::parse(minted.value_or("{}")).value("token", "");
  setup.key = Utf8ToWide(setup.identity.thumbprint);
  SecureStorage::DeleteToken(kEnvironmentKey);
  StoreAccessToken("ciudadano", setup.token);
  StoreCertificateMapping(setup.identity.thumbprint, "ciudadano", setup.identity.id);
  return InstallProviderCertificate(setup.identity.certificate_der, setup.key);
}

void CleanUp(const Setup& setup) {
  RemoveProviderCertificate(setup.identity.certificate_der);
  ForgetCertificateMapping(setup.identity.thumbprint);
  ForgetAccessToken("ciudadano");
}

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool BarePost(const std::wstring& host, INTERNET_PORT port, const std::string& token,
              const std::string& body, DWORD access_type) {
  WinHttpHandle session(WinHttpOpen(L"Murako Windows Client/1.0", access_type,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return false;
  WinHttpSetTimeouts(session.get(), 15000, 15000, 30000, 30000);
  WinHttpHandle connection(WinHttpConnect(session.get(), host.c_str(), port, 0));
  if (!connection) return false;
  WinHttpHandle request(WinHttpOpenRequest(connection.get(), L"POST",
                                           L"/trustedx-resources/esigp/v1/signatures/server/raw",
                                           nullptr, WINHTTP_NO_REFERER,
                                           WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
  if (!request) return false;
  DWORD flags = 0x3300;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
  DWORD response_timeout = 30000;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response_timeout,
                   sizeof(response_timeout));
  std::wstring headers = L"Authorization: Bearer " + Utf8ToWide(token) +
                         L"\r\nContent-Type: application/json";
  if (!WinHttpSendRequest(request.get(), headers.c_str(), static_cast<DWORD>(-1),
                          const_cast<char*>(body.data()), static_cast<DWORD>(body.size()),
                          static_cast<DWORD>(body.size()), 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    return false;
  }
  const WinHttpResponse response = ReadWinHttpResponse(request.get());
  return response.status == 200 && response.body.size() == 256;
}


std::string SignatureRequestBody(const Setup& setup, const std::vector<uint8_t>& raw) {
  return "{\"digest_value\":\"" + EncodeBase64(raw) + "\",\"sign_identity_id\":\"" +
         setup.identity.id + "\",\"signature_algorithm\":\"rsa-sha256\"}";
}

// The provider's OpenKey and FreeKey through its function table, as CNG calls them.
void OpenAndFreeKey(const std::wstring& key_name) {
  using GetInterfaceFn = NTSTATUS(WINAPI*)(LPCWSTR, NCRYPT_KEY_STORAGE_FUNCTION_TABLE**, DWORD);
  HMODULE module = LoadLibraryW(L"murako_ksp.dll");
  auto entry = reinterpret_cast<GetInterfaceFn>(GetProcAddress(module, "GetKeyStorageInterface"));
  NCRYPT_KEY_STORAGE_FUNCTION_TABLE* table = nullptr;
  NCRYPT_PROV_HANDLE provider = 0;
  if (entry != nullptr && entry(L"Murako KSP", &table, 0) == 0 &&
      table->OpenProvider(&provider, L"Murako KSP", 0) == ERROR_SUCCESS) {
    NCRYPT_KEY_HANDLE key = 0;
    if (table->OpenKey(provider, &key, key_name.c_str(), 0, 0) == ERROR_SUCCESS) {
      table->FreeKey(provider, key);
    }
    table->FreeProvider(provider);
  }
  FreeLibrary(module);
}

// The certificate of `thumbprint` in the current user's personal store: open, find, close.
bool FindInPersonalStore(const std::string& thumbprint, std::vector<BYTE>* der) {
  std::vector<BYTE> hash;
  for (size_t i = 0; i + 1 < thumbprint.size(); i += 2) {
    hash.push_back(static_cast<BYTE>(std::stoul(thumbprint.substr(i, 2), nullptr, 16)));
  }
  HCERTSTORE store =
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY");
  if (store == nullptr) return false;
  CRYPT_HASH_BLOB blob{static_cast<DWORD>(hash.size()), hash.data()};
  PCCERT_CONTEXT found = CertFindCertificateInStore(
      store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, nullptr);
  if (found != nullptr && der != nullptr) der->assign(found->pbCertEncoded, found->pbCertEncoded + found->cbCertEncoded);
  if (found != nullptr) CertFreeCertificateContext(found);
  CertCloseStore(store, 0);
  return found != nullptr;
}

