// The REST client against the signing service double over real TLS (scripts/service-double.sh
// starts it): the three operations, service failures, network failures and time-outs, and
// redirects, oversized and dripping answers, and server-certificate checks by host in fresh
// processes.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <chrono>

#include "debug_output_capture.h"
#include "murako_api_client.h"
#include "secure_storage.h"
#include "service_double_control.h"
#include "service_endpoints.h"
#include "test_environment.h"
#include "text_encoding.h"

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
    return MurakoApiClient(GetApiBaseUrl(UserType::kCitizen), token_);
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

TEST_F(ApiClientService, RedirectIsAFailureAndItsTargetIsNeverContacted) {
  auto listener_connections = [this] {
    return nlohmann::json::parse(control_.Call("GET", "/listener").value_or("{}"))
        .value("connections", -1);
  };
  const int before = listener_connections();
  ASSERT_GE(before, 0);
  DebugOutputCapture capture;
  control_.AddFault({{"kind", "redirect"}, {"status", 307}, {"token", token_}});
  EXPECT_FALSE(CitizenClient().SignHash({"cit-rsa2048", EncodeBase64(std::vector<uint8_t>(32, 1)),
                                         "", "rsa-sha256"}));
  control_.AddFault({{"kind", "redirect"}, {"status", 302}, {"token", token_}});
  EXPECT_FALSE(CitizenClient().Get(kUserInfoPath));
  EXPECT_EQ(listener_connections(), before);
  EXPECT_EQ(control_.Requests(token_).size(), 2u);
  EXPECT_TRUE(Logged(capture, "  Redirect not followed (HTTP status 307)"));
  EXPECT_TRUE(Logged(capture, "  Redirect not followed (HTTP status 302)"));
  EXPECT_TRUE(Logged(capture, "POST failed with non-retryable error: UNKNOWN(0)"));
}

TEST_F(ApiClientService, OversizedAnswerIsAFailure) {
  DebugOutputCapture capture;
  control_.AddFault({{"kind", "oversize"}, {"bytes", 1024 * 1024 + 1}, {"token", token_}});
  EXPECT_FALSE(CitizenClient().Get(kUserInfoPath));
  EXPECT_TRUE(Logged(capture, "  Response body exceeds the limit of 1048576 bytes"));
  control_.AddFault({{"kind", "oversize"}, {"bytes", 1024 * 1024}, {"token", token_}});
  auto at_limit = CitizenClient().Get(kUserInfoPath);
  ASSERT_TRUE(at_limit);
  EXPECT_EQ(at_limit->size(), 1024u * 1024u);
}

TEST_F(ApiClientService, DrippingAnswerEndsAtTheTotalTimeLimit) {
  DebugOutputCapture capture;
  control_.AddFault({{"kind", "drip"}, {"bytes", 40}, {"interval", 0.25}, {"token", token_}});
  const std::string host = DeploymentServiceHosts().citizen_development;
  RequestAttempt attempt{"GET", std::wstring(host.begin(), host.end()),
                         L"/trustedx-resources/openid/v1/users/me", "", kDevelopmentPort,
                         ProxyAccessType::Automatic, "AUTOMATIC_PROXY", token_, 2000};
  uint32_t last_error = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(MurakoApiClient::TryWinHttpRequest(attempt, last_error));
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 6) << "the drip lasts 10 s";
  EXPECT_EQ(last_error, 12002u);
  EXPECT_TRUE(Logged(capture, "  Request exceeded its total time limit of 2000 ms"));
}

// Server-certificate checks run in fresh processes: WinHTTP reuses pooled connections that
// were accepted earlier under the relaxed flags. Only the build's development hosts are
// contacted with relaxed checks; the stored environment has no say in it.
class CertificateChecks : public ApiClientService {
 protected:
  ProcessResult Probe(const std::string& base_url) {
    return RunProgram("transport_probe.exe", {base_url, token_});
  }
};

TEST_F(CertificateChecks, ProductionHostRejectsAnUnknownAuthorityWhateverIsStored) {
  const std::string production = CitizenApiBaseUrl(DeploymentServiceHosts(), true);
  ASSERT_TRUE(control_.SetTestAuthorityTrusted(false));
  for (const char* stored : {"", "desa", "prod"}) {
    if (*stored != '\0') {
      ASSERT_TRUE(SecureStorage::StoreToken(kEnvironmentKey, stored));
    }
    ProcessResult strict = Probe(production);
    EXPECT_NE(strict.exit_code, 0u) << stored;
    // A TLS failure by its name (Wine reports 12157, SECURE_CHANNEL_ERROR), never UNKNOWN(...).
    EXPECT_NE(strict.standard_output.find("WinHttpSendRequest failed: SECURE_"), std::string::npos)
        << strict.standard_output;
    EXPECT_NE(strict.standard_output.find("GET failed with non-retryable error: "),
              std::string::npos);
  }
}

TEST_F(CertificateChecks, DevelopmentHostAcceptsTheTestAuthorityEvenWithProdStored) {
  ASSERT_TRUE(control_.SetTestAuthorityTrusted(false));
  ASSERT_TRUE(SecureStorage::StoreToken(kEnvironmentKey, "prod"));
  ProcessResult relaxed = Probe(CitizenApiBaseUrl(DeploymentServiceHosts(), false));
  EXPECT_EQ(relaxed.exit_code, 0u) << relaxed.standard_output;
}

TEST_F(CertificateChecks, ProductionAcceptsTheServiceOnceItsAuthorityIsTrusted) {
  ASSERT_TRUE(control_.SetTestAuthorityTrusted(true));
  ProcessResult trusted = Probe(CitizenApiBaseUrl(DeploymentServiceHosts(), true));
  EXPECT_EQ(trusted.exit_code, 0u) << trusted.standard_output;
}

}  // namespace
