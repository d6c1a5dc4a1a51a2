// The signing road behind a corporate proxy (corporate_proxy.sh): the service's host names
// resolve only at the proxy, so the automatic proxy step (which under Wine always connects
// directly) cannot resolve them and the default proxy carries the request. The provider loads a
// bridge built with those host names (proxy_road_endpoints.cpp), and this program's OAuth client
// uses them too.
//
// Under Wine, WinHTTP reads the default proxy only from WinHttpSettings in its older layout
// (version 0x18, counter 0) or from the http_proxy variable, not from the layout
// `netsh winhttp set proxy` writes on Windows; inside the tunnel it sends the request target in
// absolute form; and a proxy answering 403 or 407 to CONNECT shows up as 12157
// (SECURE_CHANNEL_ERROR) at the send.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "auth_vocabulary.h"
#include "debug_output_capture.h"
#include "oauth_manager.h"
#include "oauth_protocol.h"
#include "provider_road.h"
#include "secure_storage.h"
#include "service_double_control.h"
#include "service_endpoints.h"
#include "signing_road_support.h"
#include "string_conversion.h"

namespace {

constexpr SECURITY_STATUS kInternalError = static_cast<SECURITY_STATUS>(0x8009002D);
constexpr wchar_t kConnections[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

std::string Environment(const char* name) {
  char value[512] = {};
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
  return length > 0 && length < sizeof(value) ? std::string(value, length) : std::string();
}

void AppendDword(std::vector<BYTE>& bytes, DWORD value) {
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<BYTE>(value >> shift));
}

// WinHTTP's default proxy in the layout Wine reads: version 0x18, counter 0, flags 2 (a named
// proxy), the proxy's length and text, an empty bypass list.
bool SetDefaultProxy(const std::string& proxy) {
  std::vector<BYTE> settings;
  const DWORD header[] = {0x18, 0, 2, static_cast<DWORD>(proxy.size())};
  for (DWORD value : header) AppendDword(settings, value);
  settings.insert(settings.end(), proxy.begin(), proxy.end());
  AppendDword(settings, 0);
  return RegSetKeyValueW(HKEY_LOCAL_MACHINE, kConnections, L"WinHttpSettings", REG_BINARY,
                         settings.data(), static_cast<DWORD>(settings.size())) == ERROR_SUCCESS;
}

void ClearDefaultProxy() { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kConnections, L"WinHttpSettings"); }

// squid's access log lines that mention `text`.
size_t ProxyLogLines(const std::string& text) {
  std::ifstream log(Environment("SENDARO_TEST_PROXY_LOG"));
  size_t count = 0;
  for (std::string line; std::getline(log, line);) count += line.find(text) != std::string::npos;
  return count;
}

// The captured log as one text: the logger sends a call's lines to the debugger channel in
// messages of several lines.
std::string Joined(const DebugOutputCapture& capture) {
  std::string text;
  for (const std::string& message : capture.Lines()) text += message;
  return text;
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

class ProxyRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(control_.IsRunning()) << "signing service double not running";
    ASSERT_TRUE(road_.ready()) << "murako_ksp.dll missing or the provider does not open";
    ASSERT_FALSE(Environment("SENDARO_TEST_PROXY").empty());
    SecureStorage::DeleteToken(kEnvironmentKey);
    citizen_ = IdentityOf(control_.Accounts(), "cit-rsa2048");
    ASSERT_TRUE(InstallProviderCertificate(citizen_.certificate_der,
                                           Utf8ToWide(citizen_.thumbprint)));
    StoreCertificateMapping(citizen_.thumbprint, "ciudadano", citizen_.id);
    token_ = control_.NewToken("ciudadano");
    StoreAccessToken("ciudadano", token_);
  }
  void TearDown() override {
    ClearDefaultProxy();
    RemoveProviderCertificate(citizen_.certificate_der);
    ForgetCertificateMapping(citizen_.thumbprint);
    ForgetAccessToken("ciudadano");
  }
  bool UseProxyPort(int port) {
    return SetDefaultProxy(Environment("SENDARO_TEST_PROXY") + ":" + std::to_string(port));
  }
  SECURITY_STATUS Sign(std::vector<BYTE>& signature) {
    return road_.Sign(Utf8ToWide(citizen_.thumbprint), TestDigest(32, 7), 32, false, signature);
  }
  std::optional<murako::OAuthToken> ExchangeCode() {
    const std::string code = control_.NewAuthorizationCode("ciudadano");
    return OAuthManager("", kOAuthClientId, kDevelopmentClientSecret)
        .ExchangeCodeForToken(code, kOAuthRedirectUri, kOAuthCitizen);
  }

  ServiceDoubleControl control_;
  ProviderRoad road_;
  DoubleIdentity citizen_;
  std::string token_;
};

TEST_F(ProxyRoad, SignatureAndTokenExchangeReachTheServiceThroughTheDefaultProxy) {
  ASSERT_TRUE(UseProxyPort(3128));
  const size_t tunnels_before = ProxyLogLines("TCP_TUNNEL/200");
  DebugOutputCapture capture;
  std::vector<BYTE> signature;
  ASSERT_EQ(Sign(signature), ERROR_SUCCESS);
  EXPECT_TRUE(control_.Verify(citizen_.id, AlgorithmFor(32, false), TestDigest(32, 7), signature));
  const std::string signing_log = Joined(capture);
  const size_t fell_back = signing_log.find(
      "AUTOMATIC_PROXY failed with NAME_NOT_RESOLVED (DNS failure), retrying with DEFAULT_PROXY...");
  EXPECT_NE(fell_back, std::string::npos) << signing_log;
  EXPECT_NE(signing_log.find("HTTP POST succeeded with DEFAULT_PROXY", fell_back), std::string::npos);
  const std::optional<murako::OAuthToken> token = ExchangeCode();
  ASSERT_TRUE(token);
  EXPECT_FALSE(token->access_token.empty());
  const std::string log = Joined(capture);
  EXPECT_EQ(Occurrences(log, "HTTP POST succeeded with DEFAULT_PROXY"), 2u) << log;
  EXPECT_EQ(Occurrences(log, "NO_PROXY (direct)"), 0u);
  EXPECT_EQ(ProxyLogLines("TCP_TUNNEL/200") - tunnels_before, 2u);
  EXPECT_GE(ProxyLogLines("CONNECT citizen-development.proxy-road.test:8082"), 2u);
}

// A proxy that refuses the tunnel (403) or asks for credentials (407) ends the request: the
// service is never tried directly, and the log says why the request stopped there.
TEST_F(ProxyRoad, RefusingAndAuthenticatingProxiesEndTheRequestWithoutADirectAttempt) {
  for (int port : {3129, 3130}) {
    ASSERT_TRUE(UseProxyPort(port));
    const char* status = port == 3129 ? "TCP_DENIED/403" : "TCP_DENIED/407";
    const size_t denied_before = ProxyLogLines(status);
    DebugOutputCapture capture;
    std::vector<BYTE> signature;
    EXPECT_EQ(Sign(signature), kInternalError) << port;
    EXPECT_FALSE(ExchangeCode()) << port;
    const std::string log = Joined(capture);
    EXPECT_EQ(Occurrences(log, "DEFAULT_PROXY ended the request with SECURE_CHANNEL_ERROR"), 2u)
        << log;
    EXPECT_EQ(Occurrences(log, "NO_PROXY (direct)"), 0u) << port;
    EXPECT_EQ(Occurrences(log, "succeeded with"), 0u) << port;
    EXPECT_EQ(ProxyLogLines(status) - denied_before, 2u) << port;
  }
  EXPECT_TRUE(control_.Requests(token_).empty());
}

}  // namespace
