#include <gtest/gtest.h>

#include "ksp_fixtures.h"

const wchar_t kAccentedCommonName[] =
    L"JOS\u00C9 MAR\u00CDA PE\u00D1A \u00C1LVAREZ - DNI 12345678Z";
const wchar_t kTwinCommonName[] = L"Murako Twin Signer";
const wchar_t kForeignCommonName[] = L"Foreign Vendor Signer";
const wchar_t kContainerName[] = L"Murako-Test-Container-01";

FixtureSet& Fixtures() {
  static FixtureSet fixtures;
  return fixtures;
}

namespace {

class PersonalStoreEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    Fixtures().Install({
        {"rsa1024", L"Murako - Test RSA 1024", L"#"},
        {"rsa2048", L"Murako - Test RSA 2048", L"#"},
        {"rsa3072", L"Murako - Test RSA 3072", L"#"},
        {"rsa4096", L"Murako - Test RSA 4096", L"#"},
        {"dni_accents", L"Murako - Jos\u00E9 Mar\u00EDa Pe\u00F1a", L"#"},
        {"twin_small", L"Murako - Twin Signer", L"#"},
        {"twin_large", L"Murako - Twin Signer", L"#"},
        {"not_murako", L"Foreign Vendor - Signer", L""},
        {"container", L"Murako - Container Holder", kContainerName},
    });
  }
  void TearDown() override { Fixtures().RemoveAll(); }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new PersonalStoreEnvironment);
  return RUN_ALL_TESTS();
}
