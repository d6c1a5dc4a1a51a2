#include "signature_service.h"

#include <gtest/gtest.h>

#include "fixture_files.h"
#include "test_environment.h"
#include "text_encoding.h"

namespace {

class SignatureServiceTest : public ::testing::Test {
 protected:
  bool Logged(const std::string& tag, const std::string& message) const {
    return LogHasLine(temp_.path(), tag, message);
  }

  ScopedTempDirectory temp_;
  ScopedTempPathOverride temp_path_{temp_.path()};
};

TEST(SignatureServiceNames, OnlyAllLowerOrAllUpperSpellingsSelectTheHash) {
  EXPECT_EQ(SignatureService::HashAlgorithmFromName("rsa-sha256"), 0);
  EXPECT_EQ(SignatureService::HashAlgorithmFromName("rsa-sha384"), 1);
  EXPECT_EQ(SignatureService::HashAlgorithmFromName("RSA-SHA384"), 1);
  EXPECT_EQ(SignatureService::HashAlgorithmFromName("rsa-pss-mgf1-sha512"), 2);
  EXPECT_EQ(SignatureService::HashAlgorithmFromName("RSA-PSS-MGF1-SHA512"), 2);
  EXPECT_EQ(SignatureService::HashAlgorithmFromName("rsa-pss-mgf1-Sha512"), 0);
  EXPECT_EQ(SignatureService::HashAlgorithmFromName("sha512"), 2);
  EXPECT_EQ(SignatureService::HashAlgorithmFromName("sha51"), 0) << "shorter than six characters";
  EXPECT_EQ(SignatureService::HashAlgorithmFromName("sha384-then-sha512"), 1);
  EXPECT_EQ(SignatureService::HashAlgorithmFromName("ecdsa-whatever"), 0);
}

TEST_F(SignatureServiceTest, HashesWithTheChosenAlgorithm) {
  SignatureService service;
  EXPECT_TRUE(Logged("INFO", "SignatureService initialized"));
  ValueOrReason<std::vector<uint8_t>> empty = service.CalculateHash({}, 0);
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(ToLowerHex(*empty), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_TRUE(Logged("INFO", "Hash calculated (32 bytes): e3b0c44298fc1c149afbf4c8996fb924..."));

  std::vector<uint8_t> abc = {'a', 'b', 'c'};
  EXPECT_EQ(ToLowerHex(service.CalculateHash(abc, 1).value()),
            "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed"
            "8086072ba1e7cc2358baeca134c825a7");
  EXPECT_EQ(service.CalculateHash(abc, 2).value().size(), 64u);
  EXPECT_EQ(service.CalculateHash(abc, 7).value().size(), 32u) << "unknown index means SHA-256";
  EXPECT_TRUE(Logged("INFO", "Calculating hash with algorithm: 7"));
  EXPECT_TRUE(Logged("INFO", "Data size: 3 bytes"));
}

TEST_F(SignatureServiceTest, RequestCarriesTheDigestAndTheNameUnchanged) {
  SignatureService service;
  ValueOrReason<SignatureRequest> request =
      service.PrepareSignatureRequest({'a', 'b', 'c'}, "ident-42", "RSA-PSS-MGF1-SHA512-custom");
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(request->sign_identity_id, "ident-42");
  EXPECT_EQ(request->signature_algorithm, "RSA-PSS-MGF1-SHA512-custom");
  EXPECT_EQ(request->data, "");
  EXPECT_EQ(request->digest_value.size(), 88u) << "Base64 of 64 bytes";
  EXPECT_TRUE(Logged("INFO", "Digest value (Base64): " + request->digest_value.substr(0, 32) + "..."));
  EXPECT_TRUE(Logged("INFO", "Signature request prepared successfully"));

  ValueOrReason<SignatureRequest> sha256 = service.PrepareSignatureRequest({}, "i", "rsa-sha256");
  EXPECT_EQ(sha256->digest_value, "47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=");
}

}  // namespace
