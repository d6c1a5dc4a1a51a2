#include <gtest/gtest.h>

#include <string>
#include <vector>

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

std::vector<FixtureEntry> FixtureEntries() {
  return {
      {"rsa1024", L"Murako - Test RSA 1024", L"#"},
      {"rsa2048", L"Murako - Test RSA 2048", L"#"},
      {"rsa3072", L"Murako - Test RSA 3072", L"#"},
      {"rsa4096", L"Murako - Test RSA 4096", L"#"},
      {"dni_accents", L"Murako - Jos\u00E9 Mar\u00EDa Pe\u00F1a", L"#"},
      {"twin_small", L"Murako - Twin Signer", L"#"},
      {"twin_large", L"Murako - Twin Signer", L"#"},
      {"not_murako", L"Foreign Vendor - Signer", L""},
      {"container", L"Murako - Container Holder", kContainerName},
  };
}

// The program run as another process by ChangeStoreInAnotherProcess: "--store-change install
// NAME" or "--store-change remove NAME"; 0 when done.
int ChangeStore(const std::string& action, const std::string& name) {
  for (const FixtureEntry& entry : FixtureEntries()) {
    if (entry.file != name) continue;
    const std::vector<BYTE> der = ReadBinaryFile(FixtureFolder() + entry.file + ".der");
    if (der.empty()) return 2;
    const bool done = action == "remove"
                          ? RemoveCertificate(der)
                          : InstallCertificate(der, entry.friendly_name, entry.container_name);
    return done ? 0 : 1;
  }
  return 2;
}

class PersonalStoreEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    Fixtures().Install(FixtureEntries());
  }
  void TearDown() override { Fixtures().RemoveAll(); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == kStoreChangeSwitch) return ChangeStore(argv[2], argv[3]);
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new PersonalStoreEnvironment);
  return RUN_ALL_TESTS();
}
