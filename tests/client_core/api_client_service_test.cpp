// The REST client against the signing service double over real TLS (scripts/service-double.sh
// starts it): the three operations, service failures, network failures and time-outs, and
// server-certificate checks by environment in fresh processes.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include "debug_output_capture.h"
#include "murako_api_client.h"
#include "secure_storage.h"
#include "service_double_control.h"
#include "service_endpoints.h"
#include "test_environment.h"

namespace {

bool Logged(const DebugOutputCapture& capture, const std::string& text) {
  for (const std::string& line : capture.Lines()) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

class ApiClientService : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(control_.IsRunning()) << "signing service double not running "
                                         "(scripts/service-double.sh start)";
    SecureStorage::DeleteToken(kEnvironmentKey);
    token_ = control_.NewToken("ciudadano");
    ASSERT_FALSE(token_.empty());
  }
  void TearDown() override {
    control_.ClearFaults(token_);
    SecureStorage::DeleteToken(kEnvironmentKey);
  }
  MurakoApiClient CitizenClient() const {
    return MurakoApiClient(GetApiBaseUrl("ciudadano"), token_);
  }

  ServiceDoubleControl control_;
  std::string token_;
};

TEST_F(ApiClientService, UserInfoAndIdentityDetailsOfTheCitizen) {
  auto info = CitizenClient().GetUserInfo();
  ASSERT_TRUE(info);
  EXPECT_EQ(info->dni, "12345678Z");
  ASSERT_FALSE(info->sign_identities.empty());
  EXPECT_EQ(info->sign_identities[0].labels, std::vector<std::string>{"vexo"});

  auto details = CitizenClient().GetIdentityDetails("cit-rsa2048");
  ASSERT_TRUE(details);
  EXPECT_EQ(details->status, "enabled");
  auto expected = control_.Accounts()["identities"]["cit-rsa2048"]["certificate"];
  EXPECT_EQ(details->certificate, expected.get<std::string>());

  auto seen = control_.Requests(token_);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0]["host"], "citizen-development");
  EXPECT_EQ(seen[0]["headers"]["User-Agent"], "Murako Windows Client/1.0");
  EXPECT_EQ(seen[1]["path"], "/trustedx-resources/esigp/v1/sign_identities/cit-rsa2048");
}

TEST_F(ApiClientService, SignHashGivesAVerifyingSignatureForEachPadding) {
  std::vector<uint8_t> digest(32, 0x5A);
  for (const char* algorithm : {"rsa-sha256", "rsa-pss-mgf1-sha256"}) {
    auto result = CitizenClient().SignHash({"cit-rsa2048", EncodeBase64(digest), "", algorithm});
    ASSERT_TRUE(result) << algorithm;
    EXPECT_EQ(result->signature.size(), 256u);
    EXPECT_TRUE(control_.Verify("cit-rsa2048", algorithm, digest, result->signature));
  }
  auto seen = control_.Requests(token_);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0]["method"], "POST");
  EXPECT_EQ(seen[0]["headers"]["Content-Type"], "application/json");
  EXPECT_EQ(seen[0]["headers"]["Authorization"], "Bearer " + token_);
}

TEST_F(ApiClientService, ServiceRefusalsAreAbsentAfterOneAttempt) {
  DebugOutputCapture capture;
  EXPECT_FALSE(CitizenClient().GetIdentityDetails("no-such-identity"));   // 404
  EXPECT_FALSE(CitizenClient().GetIdentityDetails("pro-rsa2048"));        // 403
  EXPECT_FALSE(CitizenClient().SignHash({"cit-rsa2048", "not base64!", "", "rsa-sha256"}));  // 400
  control_.RevokeToken(token_);
  EXPECT_FALSE(CitizenClient().GetUserInfo());                             // 401
  EXPECT_EQ(control_.Requests(token_).size(), 4u);
  EXPECT_TRUE(Logged(capture, "  HTTP request failed with status: 404"));
  EXPECT_TRUE(Logged(capture, "  HTTP request failed with status: 403"));
  EXPECT_TRUE(Logged(capture, "  HTTP request failed with status: 400"));
  EXPECT_TRUE(Logged(capture, "  HTTP request failed with status: 401"));
  EXPECT_TRUE(Logged(capture, "GET failed with non-retryable error: UNKNOWN(0)"));
}

TEST_F(ApiClientService, InjectedStatusEmptyBodyAndReset) {
  control_.AddFault({{"kind", "status"}, {"status", 500}, {"token", token_}});
  EXPECT_FALSE(CitizenClient().GetUserInfo());

  control_.AddFault({{"kind", "empty"}, {"token", token_}});
  auto empty = CitizenClient().Get(kUserInfoPath);
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());

  // Windows reports a reset as CONNECTION_ERROR and the next strategy gets the answer; Wine
  // passes the socket's 10054 through, which ends the request. Both fail the attempt cleanly.
  DebugOutputCapture capture;
  control_.AddFault({{"kind", "reset"}, {"token", token_}});
  bool answered = CitizenClient().GetUserInfo().has_value();
  EXPECT_TRUE(Logged(capture, "  WinHttpReceiveResponse failed: "));
  if (answered) {
    EXPECT_TRUE(Logged(capture, "HTTP GET succeeded with DEFAULT_PROXY"));
  }
}

TEST_F(ApiClientService, UnresolvableHostAndClosedPortWalkAllStrategies) {
  for (const char* base_url : {"https://no-such-host.invalid", "https://127.0.0.41:1"}) {
    DebugOutputCapture capture;
    EXPECT_FALSE(MurakoApiClient(base_url, token_).Get(kUserInfoPath)) << base_url;
    EXPECT_TRUE(Logged(capture, "[ApiClient] Attempting GET with access type: NO_PROXY (direct)"));
    EXPECT_TRUE(Logged(capture, std::string("All HTTP GET strategies failed for ") + base_url));
  }
}

TEST_F(ApiClientService, ServiceThatNeverAnswersTimesOutWithoutRetry) {
  DebugOutputCapture capture;
  control_.AddFault({{"kind", "delay"}, {"seconds", 40}, {"token", token_}});
  EXPECT_FALSE(CitizenClient().Get(kUserInfoPath));
  // Windows reports TIMEOUT (12002); Wine passes the socket's 10060 through. Either way the
  // wait is bounded and the request is not retried.
  EXPECT_TRUE(Logged(capture, "WinHttpReceiveResponse failed: "));
  EXPECT_TRUE(Logged(capture, "GET failed with non-retryable error: "));
  EXPECT_FALSE(Logged(capture, "Attempting GET with access type: DEFAULT_PROXY"));
}

// Server-certificate checks run in fresh processes: WinHTTP reuses pooled connections that
// were accepted earlier under the relaxed flags.
class CertificateChecks : public ApiClientService {
 protected:
  ProcessResult Probe(const std::string& base_url) {
    return RunProgram("transport_probe.exe", {base_url, token_});
  }
};

TEST_F(CertificateChecks, DevelopmentAcceptsTheTestAuthorityProductionRejectsIt) {
  const std::string production = CitizenApiBaseUrl(DeploymentServiceHosts(), true);
  ASSERT_TRUE(control_.SetTestAuthorityTrusted(false));
  ProcessResult development = Probe(production);
  EXPECT_EQ(development.exit_code, 0u) << development.standard_output;

  ASSERT_TRUE(SecureStorage::StoreToken(kEnvironmentKey, "prod"));
  ProcessResult strict = Probe(production);
  EXPECT_NE(strict.exit_code, 0u);
  EXPECT_NE(strict.standard_output.find("WinHttpSendRequest failed: "), std::string::npos)
      << strict.standard_output;
  EXPECT_NE(strict.standard_output.find("GET failed with non-retryable error: "),
            std::string::npos);
}

TEST_F(CertificateChecks, ProductionAcceptsTheServiceOnceItsAuthorityIsTrusted) {
  ASSERT_TRUE(control_.SetTestAuthorityTrusted(true));
  ASSERT_TRUE(SecureStorage::StoreToken(kEnvironmentKey, "prod"));
  ProcessResult trusted = Probe(CitizenApiBaseUrl(DeploymentServiceHosts(), true));
  EXPECT_EQ(trusted.exit_code, 0u) << trusted.standard_output;
}

}  // namespace
