// End to end: the provider's SignHash slot -> the real signing bridge -> the signing service
// double over TLS. Only what the provider adds to the bridge's own tests: the caller's padding
// information and hash forms through the slot, the signature sized by the key, the service's
// refusal as an internal error, a signature of another key refused, and a host that loads the
// provider for each signature keeping nothing on either path.
#include <gtest/gtest.h>

#include "provider_road.h"
#include "secure_storage.h"
#include "service_double_control.h"
#include "service_endpoints.h"
#include "signing_road_support.h"
#include "storage_keys.h"
#include "string_conversion.h"

namespace {

constexpr SECURITY_STATUS kInternalError = static_cast<SECURITY_STATUS>(0x8009002D);

class SigningRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(control_.IsRunning()) << "signing service double not running";
    ASSERT_TRUE(road_.ready()) << "murako_ksp.dll missing or the provider does not open";
    // Production checks the server's certificate. A process reads the trusted roots once, at
    // its first TLS connection, so the double's CA is trusted before any request.
    ASSERT_TRUE(control_.SetTestAuthorityTrusted(true));
    accounts_ = control_.Accounts();
    SecureStorage::DeleteToken(kEnvironmentKey);
    citizen_token_ = control_.NewToken("ciudadano");
    professional_token_ = control_.NewToken("profesional");
    StoreAccessToken("ciudadano", citizen_token_);
    StoreAccessToken("profesional", professional_token_);
  }
  void TearDown() override {
    for (const DoubleIdentity& identity : installed_) {
      RemoveProviderCertificate(identity.certificate_der);
      ForgetCertificateMapping(identity.thumbprint);
    }
    ForgetAccessToken("ciudadano");
    ForgetAccessToken("profesional");
    SecureStorage::DeleteToken(kEnvironmentKey);
  }
  // What linking the account leaves behind: the certificate bound to the provider and the
  // thumbprint mappings.
  DoubleIdentity Install(const std::string& identity_id, const std::string& user_type) {
    DoubleIdentity identity = IdentityOf(accounts_, identity_id);
    EXPECT_TRUE(InstallProviderCertificate(identity.certificate_der, Utf8ToWide(identity.thumbprint)));
    StoreCertificateMapping(identity.thumbprint, user_type, identity_id);
    installed_.push_back(identity);
    return identity;
  }
  SECURITY_STATUS Sign(const DoubleIdentity& identity, const std::vector<BYTE>& hash,
                       size_t raw_length, bool pss, std::vector<BYTE>& signature) {
    return road_.Sign(Utf8ToWide(identity.thumbprint), hash, raw_length, pss, signature);
  }

  ServiceDoubleControl control_;
  ProviderRoad road_;
  nlohmann::json accounts_;
  std::string citizen_token_, professional_token_;
  std::vector<DoubleIdentity> installed_;
};

TEST_F(SigningRoad, CitizenSignaturesVerifyForEveryHashFormAndPadding) {
  DoubleIdentity citizen = Install("cit-rsa2048", "ciudadano");
  struct Case { size_t raw; bool digest_info; };
  for (Case form : {Case{32, false}, Case{48, false}, Case{64, false}, Case{32, true}}) {
    for (bool pss : {false, true}) {
      auto raw = TestDigest(form.raw, static_cast<uint32_t>(form.raw * 2 + pss));
      std::vector<BYTE> signature;
      ASSERT_EQ(Sign(citizen, form.digest_info ? DigestInfoOf(raw) : raw, form.raw, pss, signature),
                ERROR_SUCCESS) << form.raw << " pss " << pss;
      ASSERT_EQ(signature.size(), 256u);
      EXPECT_TRUE(control_.Verify(citizen.id, AlgorithmFor(form.raw, pss), raw, signature))
          << form.raw << " bytes, DigestInfo " << form.digest_info << ", PSS " << pss;
    }
  }
  EXPECT_EQ(control_.Requests(citizen_token_).size(), 8u);
}

TEST_F(SigningRoad, LargerKeysGiveSignaturesOfTheirLength) {
  DoubleIdentity citizen = Install("cit-rsa4096", "ciudadano");
  auto raw = TestDigest(48, 11);
  std::vector<BYTE> signature;
  ASSERT_EQ(Sign(citizen, raw, 48, true, signature), ERROR_SUCCESS);
  EXPECT_EQ(signature.size(), 512u);
  EXPECT_TRUE(control_.Verify(citizen.id, "rsa-pss-mgf1-sha384", raw, signature));
}

TEST_F(SigningRoad, ServiceRefusalIsAnInternalError) {
  DoubleIdentity citizen = Install("cit-rsa2048", "ciudadano");
  std::vector<BYTE> signature;
  control_.RevokeToken(citizen_token_);
  EXPECT_EQ(Sign(citizen, TestDigest(32, 13), 32, false, signature), kInternalError);
  EXPECT_EQ(control_.Requests(citizen_token_).size(), 1u);  // answered 401
}

// A mapping that names another identity: the service signs, with a key that is not the
// certificate's, and the provider refuses to hand that over as the certificate's signature.
TEST_F(SigningRoad, SignatureOfAnotherKeyIsRefused) {
  DoubleIdentity citizen = Install("cit-rsa2048", "ciudadano");
  StoreCertificateMapping(citizen.thumbprint, "profesional", "pro-rsa2048");
  std::vector<BYTE> signature;
  EXPECT_EQ(Sign(citizen, TestDigest(32, 15), 32, true, signature), kInternalError);
  EXPECT_EQ(control_.Requests(professional_token_).size(), 1u);
}

// Stored, because under Wine every read of an absent credential leaves a registry handle open.
TEST_F(SigningRoad, LoadSignUnloadCyclesOfTheProviderKeepNoHandlesOrMemory) {
  DoubleIdentity citizen = Install("cit-rsa2048", "ciudadano");
  DoubleIdentity other = Install("cit-rsa3072", "ciudadano");
  StoreCertificateMapping(other.thumbprint, "profesional", "pro-rsa3072");
  SecureStorage::StoreToken(kEnvironmentKey, "desa");
  auto cycle = [&](uint32_t seed) {
    ProviderRoad road;
    ASSERT_TRUE(road.ready());
    std::vector<BYTE> signature;
    EXPECT_EQ(road.Sign(Utf8ToWide(citizen.thumbprint), TestDigest(32, seed), 32, false, signature),
              ERROR_SUCCESS);
    EXPECT_EQ(road.Sign(Utf8ToWide(other.thumbprint), TestDigest(32, seed), 32, true, signature),
              kInternalError);
  };
  for (uint32_t seed = 0; seed < 3; ++seed) cycle(seed);
  constexpr int kCycles = 25;
  const ProcessFootprint before = MeasureProcessFootprint();
  for (uint32_t seed = 0; seed < kCycles; ++seed) cycle(100 + seed);
  const ProcessFootprint after = MeasureProcessFootprint();
  EXPECT_LT(after.handles, before.handles + kCycles)
      << "handles before " << before.handles << ", after " << after.handles;
  EXPECT_LT(after.private_bytes, before.private_bytes + kCycles * 16 * 1024ull)
      << "private bytes before " << before.private_bytes << ", after " << after.private_bytes;
}

}  // namespace
