// murako_sign_bridge.dll loaded by name, as the provider loads it, against the signing
// service double (scripts/service-double.sh starts it).
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "secure_storage.h"
#include "service_double_control.h"
#include "service_endpoints.h"
#include "signing_road_support.h"
#include "string_conversion.h"
#include "text_encoding.h"

namespace {

constexpr DWORD kPss = 0x8;

// The double's accounts with their tokens and certificate mappings stored as the application
// stores them.
class SignBridgeAccounts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(control_.IsRunning()) << "signing service double not running";
    // Production checks the server's certificate. A process reads the trusted roots once, at
    // its first TLS connection, so the double's CA is trusted before any request.
    ASSERT_TRUE(control_.SetTestAuthorityTrusted(true));
    auto accounts = control_.Accounts();
    citizen_ = IdentityOf(accounts, "cit-rsa2048");
    professional_ = IdentityOf(accounts, "pro-rsa2048");
    citizen_token_ = control_.NewToken("ciudadano");
    professional_token_ = control_.NewToken("profesional");
    SecureStorage::DeleteToken(kEnvironmentKey);
    StoreAccessToken("ciudadano", citizen_token_);
    StoreAccessToken("profesional", professional_token_);
    StoreCertificateMapping(citizen_.thumbprint, "ciudadano", citizen_.id);
    StoreCertificateMapping(professional_.thumbprint, "profesional", professional_.id);
  }
  void TearDown() override {
    control_.ClearFaults(citizen_token_);
    ForgetCertificateMapping(citizen_.thumbprint);
    ForgetCertificateMapping(professional_.thumbprint);
    ForgetAccessToken("ciudadano");
    ForgetAccessToken("profesional");
    SecureStorage::DeleteToken(kEnvironmentKey);
  }
  std::wstring Key(const DoubleIdentity& identity) const { return Utf8ToWide(identity.thumbprint); }

  ServiceDoubleControl control_;
  DoubleIdentity citizen_, professional_;
  std::string citizen_token_, professional_token_;
};

// The bridge held loaded for the whole test.
class SignBridge : public SignBridgeAccounts {
 protected:
  void SetUp() override {
    ASSERT_TRUE(bridge_.loaded()) << "murako_sign_bridge.dll missing or incomplete";
    SignBridgeAccounts::SetUp();
  }
  SignBridgeLibrary bridge_;
};

// The provider loads the bridge for one signature and unloads it right after, so whatever a
// load, a call or an unload keeps would pile up in the host program.
using SignBridgeReloaded = SignBridgeAccounts;

TEST_F(SignBridge, NullArgumentsAreInvalidAndLeaveOutputsAlone) {
  auto hash = TestDigest(32, 1);
  BYTE* signature = reinterpret_cast<BYTE*>(0x1);
  DWORD length = 77;
  std::wstring key = Key(citizen_);
  EXPECT_EQ(bridge_.sign_(nullptr, hash.data(), 32, 0, &signature, &length), E_INVALIDARG);
  EXPECT_EQ(bridge_.sign_(key.c_str(), nullptr, 32, 0, &signature, &length), E_INVALIDARG);
  EXPECT_EQ(bridge_.sign_(key.c_str(), hash.data(), 32, 0, nullptr, &length), E_INVALIDARG);
  EXPECT_EQ(bridge_.sign_(key.c_str(), hash.data(), 32, 0, &signature, nullptr), E_INVALIDARG);
  EXPECT_EQ(bridge_.LastError(), "Invalid parameters");
  EXPECT_EQ(signature, reinterpret_cast<BYTE*>(0x1));
  EXPECT_EQ(length, 77u);
  bridge_.free_(nullptr);
}

TEST_F(SignBridge, UnusableHashesAreRejectedBeforeAnyRequest) {
  auto wrong_prefix = DigestInfoOf(TestDigest(32, 2));
  wrong_prefix[1] = 0x32;
  std::vector<uint8_t> signature;
  for (const auto& hash : {std::vector<uint8_t>(), std::vector<uint8_t>(20, 1), wrong_prefix,
                           std::vector<uint8_t>(100, 1)}) {
    EXPECT_EQ(bridge_.Sign(Key(citizen_), hash, 0, signature), E_INVALIDARG);
    EXPECT_EQ(bridge_.LastError().rfind("Unrecognized hash format: " + std::to_string(hash.size()), 0), 0u);
  }
  EXPECT_EQ(bridge_.Sign(Key(citizen_), std::vector<uint8_t>(36, 1), 0, signature), E_INVALIDARG);
  EXPECT_EQ(bridge_.LastError().rfind("TLS 1.0/1.1 MD5+SHA1", 0), 0u);
  EXPECT_TRUE(control_.Requests(citizen_token_).empty());
}

TEST_F(SignBridge, RawHashesAndDigestInfosVerifyWithBothPaddings) {
  for (size_t size : {32u, 48u, 64u}) {
    for (bool digest_info : {false, true}) {
      for (DWORD flags : {DWORD{0}, DWORD{0x2}, kPss}) {
        auto raw = TestDigest(size, static_cast<uint32_t>(size + flags));
        std::vector<uint8_t> signature;
        ASSERT_EQ(bridge_.Sign(Key(citizen_), digest_info ? DigestInfoOf(raw) : raw, flags, signature),
                  S_OK) << bridge_.LastError();
        EXPECT_EQ(signature.size(), 256u);
        EXPECT_TRUE(control_.Verify(citizen_.id, AlgorithmFor(size, flags == kPss), raw, signature))
            << size << " bytes, DigestInfo " << digest_info << ", flags " << flags;
      }
    }
  }
  // The service sees only the raw hash, as "digest_value".
  auto seen = control_.Requests(citizen_token_);
  ASSERT_EQ(seen.size(), 18u);
  auto body = nlohmann::json::parse(seen[3]["body"].get<std::string>());
  EXPECT_FALSE(body.contains("data"));
  EXPECT_EQ(DecodeBase64(body["digest_value"]).value_or(std::vector<uint8_t>()).size(), 32u);
  EXPECT_EQ(seen[0]["host"], "citizen-development");
}

TEST_F(SignBridge, MissingTokenNamesTheAccount) {
  std::vector<uint8_t> signature;
  SecureStorage::DeleteToken("oauth_access_token_ciudadano");
  EXPECT_EQ(bridge_.Sign(Key(citizen_), TestDigest(32, 4), 0, signature), E_FAIL);
  EXPECT_EQ(bridge_.LastError(), "No OAuth token available for ciudadano user type");
  SecureStorage::DeleteToken("oauth_access_token_profesional");
  EXPECT_EQ(bridge_.Sign(Key(professional_), TestDigest(32, 4), 0, signature), E_FAIL);
  EXPECT_EQ(bridge_.LastError(), "No OAuth token available for profesional user type");
}

TEST_F(SignBridge, KeyNameThatIsNoThumbprintFindsNoIdentity) {
  std::vector<uint8_t> signature;
  EXPECT_EQ(bridge_.Sign(L"12345678Z FERNANDEZ MORENO LUCIA", TestDigest(32, 5), 0, signature), E_FAIL);
  EXPECT_EQ(bridge_.LastError(), "Failed to get sign_identity_id from cache for thumbprint");
}

TEST_F(SignBridge, ServiceFailuresLeaveNoSignature) {
  std::vector<uint8_t> signature;
  for (nlohmann::json fault : {nlohmann::json{{"kind", "status"}, {"status", 500}},
                               nlohmann::json{{"kind", "empty"}}}) {
    fault["token"] = citizen_token_;
    control_.AddFault(fault);
    EXPECT_EQ(bridge_.Sign(Key(citizen_), TestDigest(32, 6), 0, signature), E_FAIL) << fault.dump();
    EXPECT_EQ(bridge_.LastError(), "Failed to get signature from Murako API");
  }
  control_.RevokeToken(citizen_token_);
  EXPECT_EQ(bridge_.Sign(Key(citizen_), TestDigest(32, 6), 0, signature), E_FAIL);
  EXPECT_TRUE(signature.empty());
}

// A renewal in the application revoked the token a signature went out with; the signature
// goes again, once, with the token the application stores meanwhile.
TEST_F(SignBridge, SignatureRefusedForARevokedTokenGoesAgainWithTheRenewedOne) {
  const std::string renewed = control_.NewToken("ciudadano");
  control_.RevokeToken(citizen_token_);
  std::thread application([&] {
    Sleep(600);
    SecureStorage::StoreToken("oauth_access_token_ciudadano", renewed);
  });
  std::vector<uint8_t> signature;
  const auto raw = TestDigest(32, 10);
  const HRESULT result = bridge_.Sign(Key(citizen_), raw, 0, signature);
  application.join();
  ASSERT_EQ(result, S_OK) << bridge_.LastError();
  EXPECT_TRUE(control_.Verify(citizen_.id, "rsa-sha256", raw, signature));
  EXPECT_EQ(control_.Requests(citizen_token_).size(), 1u);
  EXPECT_EQ(control_.Requests(renewed).size(), 1u);
}

// The user switches to production and signs in there while a signature refused with 401 waits
// for a renewed token: the production token never goes to the development host.
TEST_F(SignBridge, ATokenStoredAfterAnEnvironmentChangeIsNotSentAgainToTheOldHost) {
  const std::string production = control_.NewToken("ciudadano");
  control_.RevokeToken(citizen_token_);
  std::thread application([&] {
    Sleep(600);
    SecureStorage::DeleteToken("oauth_access_token_ciudadano");
    SecureStorage::StoreToken(kEnvironmentKey, "prod");
    SecureStorage::StoreToken("oauth_access_token_ciudadano", production);
    SecureStorage::StoreToken("oauth_token_environment_ciudadano", "prod");
  });
  std::vector<uint8_t> signature;
  const HRESULT result = bridge_.Sign(Key(citizen_), TestDigest(32, 11), 0, signature);
  application.join();
  EXPECT_EQ(result, E_FAIL);
  EXPECT_EQ(control_.Requests(citizen_token_).size(), 1u);
  EXPECT_TRUE(control_.Requests(production).empty()) << "the production token left the machine";
}

TEST_F(SignBridge, ProfessionalCertificateWithoutUserTypeGoesAsCitizenAndIsRefused) {
  SecureStorage::DeleteToken("user_type_by_thumbprint_" + professional_.thumbprint);
  std::vector<uint8_t> signature;
  EXPECT_EQ(bridge_.Sign(Key(professional_), TestDigest(32, 7), 0, signature), E_FAIL);
  auto seen = control_.Requests(citizen_token_);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0]["host"], "citizen-development");
}

TEST_F(SignBridge, ProfessionalHostsAndEnvironmentSwitchTakeEffectAtNextSignature) {
  std::vector<uint8_t> signature;
  auto raw = TestDigest(32, 8);
  ASSERT_EQ(bridge_.Sign(Key(professional_), raw, 0, signature), S_OK) << bridge_.LastError();
  EXPECT_TRUE(control_.Verify(professional_.id, "rsa-sha256", raw, signature));
  SecureStorage::StoreToken(kEnvironmentKey, "prod");
  SecureStorage::StoreToken("oauth_token_environment_profesional", "prod");
  ASSERT_EQ(bridge_.Sign(Key(professional_), raw, kPss, signature), S_OK) << bridge_.LastError();
  EXPECT_TRUE(control_.Verify(professional_.id, "rsa-pss-mgf1-sha256", raw, signature));
  auto seen = control_.Requests(professional_token_);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0]["host"], "professional-development");
  EXPECT_EQ(seen[1]["host"], "professional-production");

  // Tokens recorded as obtained in one environment never go to the other's hosts.
  for (const char* obtained_in : {"desa", "prod"}) {
    SCOPED_TRACE(obtained_in);
    SecureStorage::StoreToken(kEnvironmentKey, obtained_in == std::string("desa") ? "prod" : "desa");
    SecureStorage::StoreToken("oauth_token_environment_profesional", obtained_in);
    EXPECT_EQ(bridge_.Sign(Key(professional_), raw, 0, signature), E_FAIL);
    EXPECT_EQ(bridge_.LastError(),
              "The OAuth token was obtained in another environment. Sign in again.");
    EXPECT_EQ(control_.Requests(professional_token_).size(), 2u) << "no host saw the token";
  }
  // Tokens stored without a record (by an earlier version) go nowhere: the user signs in again.
  SecureStorage::DeleteToken("oauth_token_environment_profesional");
  EXPECT_EQ(bridge_.Sign(Key(professional_), raw, 0, signature), E_FAIL);
  EXPECT_EQ(bridge_.LastError(),
            "The OAuth token has no recorded environment. Sign in again.");
  EXPECT_EQ(control_.Requests(professional_token_).size(), 2u);
}

TEST_F(SignBridge, LastErrorIsPerThreadAndSurvivesSuccess) {
  std::vector<uint8_t> signature;
  EXPECT_EQ(bridge_.Sign(Key(citizen_), std::vector<uint8_t>(20, 1), 0, signature), E_INVALIDARG);
  std::string other_thread_error;
  std::thread other([&] {
    std::vector<uint8_t> own;
    bridge_.Sign(Key(citizen_), std::vector<uint8_t>(36, 1), 0, own);
    other_thread_error = bridge_.LastError();
  });
  other.join();
  EXPECT_EQ(other_thread_error.rfind("TLS 1.0/1.1", 0), 0u);
  EXPECT_EQ(bridge_.LastError().rfind("Unrecognized hash format: 20 bytes", 0), 0u);
  ASSERT_EQ(bridge_.Sign(Key(citizen_), TestDigest(32, 9), 0, signature), S_OK);
  EXPECT_EQ(bridge_.LastError().rfind("Unrecognized hash format: 20 bytes", 0), 0u);
  std::string fresh_thread_error = "unset";
  std::thread fresh([&] { fresh_thread_error = bridge_.LastError(); });
  fresh.join();
  EXPECT_EQ(fresh_thread_error, "");
}

// A cycle that signs, one whose hash is refused, and one whose stored sign identity is not text
// (it cannot be written into the request).
TEST_F(SignBridgeReloaded, LoadSignUnloadCyclesKeepNoHandlesOrMemory) {
  // Stored, because under Wine every read of an absent credential leaves a registry handle open.
  SecureStorage::StoreToken(kEnvironmentKey, "desa");
  auto cycle = [&](uint32_t seed) {
    SignBridgeLibrary bridge;
    ASSERT_TRUE(bridge.loaded());
    std::vector<uint8_t> signature;
    EXPECT_EQ(bridge.Sign(Key(citizen_), TestDigest(32, seed), 0, signature), S_OK)
        << bridge.LastError();
    EXPECT_EQ(bridge.Sign(Key(citizen_), std::vector<uint8_t>(20, 1), 0, signature), E_INVALIDARG);
  };
  auto failing_cycle = [&](uint32_t seed) {
    SignBridgeLibrary bridge;
    ASSERT_TRUE(bridge.loaded());
    std::vector<uint8_t> signature;
    EXPECT_EQ(bridge.Sign(Key(professional_), TestDigest(32, seed), 0, signature), E_FAIL);
    EXPECT_EQ(bridge.LastError(), "Failed to get sign_identity_id from cache for thumbprint");
  };
  StoreCertificateMapping(professional_.thumbprint, "profesional", "\xff\xfe");
  for (uint32_t seed = 0; seed < 3; ++seed) {
    cycle(seed);
    failing_cycle(seed);
  }
  constexpr int kCycles = 25;
  const ProcessFootprint before = MeasureProcessFootprint();
  for (uint32_t seed = 0; seed < kCycles; ++seed) {
    cycle(100 + seed);
    failing_cycle(100 + seed);
  }
  const ProcessFootprint after = MeasureProcessFootprint();
  // Fewer than one handle per cycle, and far less memory than one C++ runtime pool (73 KB).
  EXPECT_LT(after.handles, before.handles + kCycles)
      << "handles before " << before.handles << ", after " << after.handles;
  EXPECT_LT(after.private_bytes, before.private_bytes + kCycles * 16 * 1024ull)
      << "private bytes before " << before.private_bytes << ", after " << after.private_bytes;
}

}  // namespace
