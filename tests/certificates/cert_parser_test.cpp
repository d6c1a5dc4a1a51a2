#include "cert_parser.h"

#include <gtest/gtest.h>

#include "fixture_files.h"
#include "test_environment.h"

namespace {

using std::chrono::seconds;
using std::chrono::system_clock;

class CertParserTest : public ::testing::Test {
 protected:
  bool Logged(const std::string& tag, const std::string& message) const {
    return LogHasLine(temp_.path(), tag, message);
  }
  std::string Log() const { return ReadFileBytes(temp_.path() + "murako_windows.log"); }

  ScopedTempDirectory temp_;
  ScopedTempPathOverride temp_path_{temp_.path()};
};

TEST_F(CertParserTest, CitizenCertificateYieldsNamesSerialValidityAndDni) {
  ValueOrReason<CertificateInfo> info =
      CertParser::ParseCertificateFromBase64(FixtureBase64("citizen"));
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->subjectCn, "12345678Z MU\xC3\x91OZ GARC\xC3\x8D" "A LUC\xC3\x8D" "A");
  // Windows and Wine differ in which values they quote; the parts themselves are fixed.
  EXPECT_EQ(info->subjectDn.find("C=ES, O="), 0u);
  EXPECT_NE(info->subjectDn.find("Sendaro Pruebas"), std::string::npos);
  EXPECT_NE(info->subjectDn.find(", CN=12345678Z MU\xC3\x91OZ GARC\xC3\x8D" "A LUC\xC3\x8D" "A"),
            std::string::npos);
  EXPECT_EQ(info->issuerCn, "Sendaro Test CA");
  EXPECT_NE(info->issuerDn.find("Sendaro Test CA"), std::string::npos);
  EXPECT_EQ(info->issuerDn.find("C=ES, O="), 0u);
  EXPECT_EQ(info->serialNumber, "0a01");
  EXPECT_EQ(info->notBefore, system_clock::time_point(seconds(1704164645)));
  EXPECT_EQ(info->notAfter, system_clock::time_point(seconds(2019783845)));
  EXPECT_EQ(info->derData, FixtureDer("citizen"));
  EXPECT_EQ(info->dni, "12345678Z");
  EXPECT_EQ(info->surnames, "MU\xC3\x91OZ GARC\xC3\x8D" "A");
  EXPECT_EQ(info->name, "LUC\xC3\x8D" "A");

  EXPECT_TRUE(Logged("INFO", "CertParser::ParseCertificateFromBase64"));
  EXPECT_TRUE(Logged("INFO", "CertParser::DecodeBase64 - Decoding 1048 chars"));
  EXPECT_TRUE(Logged("INFO", "Base64 decoded successfully: 784 bytes"));
  EXPECT_TRUE(Logged("INFO", "CertParser::ParseCertificateFromDER - Parsing 784 bytes"));
  EXPECT_TRUE(Logged("INFO", "Certificate parsed successfully"));
  EXPECT_TRUE(Logged("INFO", "  Serial: 0a01"));
  EXPECT_TRUE(Logged("INFO", "  DNI: 12345678Z"));
}

TEST_F(CertParserTest, OrganisationCertificateParsesWithoutDniAndKeepsLeadingZeroByte) {
  ValueOrReason<CertificateInfo> info = CertParser::ParseCertificateFromDER(FixtureDer("professional"));
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->subjectCn, "EMPRESA EJEMPLO SL");
  EXPECT_EQ(info->serialNumber, "008001");
  EXPECT_EQ(info->dni, "");
  EXPECT_EQ(info->name, "");
  EXPECT_EQ(info->surnames, "");
  EXPECT_TRUE(Logged("WARNING", "Could not extract DNI from subject CN: EMPRESA EJEMPLO SL"));
}

TEST_F(CertParserTest, CertificateOf64KilobytesParses) {
  ValueOrReason<CertificateInfo> info =
      CertParser::ParseCertificateFromBase64(FixtureBase64("large"));
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->derData.size(), 64810u);
  EXPECT_EQ(info->dni, "87654321X");
}

TEST_F(CertParserTest, MalformedInputGivesAbsentResultsWithTheReason) {
  EXPECT_FALSE(CertParser::ParseCertificateFromBase64("").has_value());
  EXPECT_TRUE(Logged("ERROR", "Base64 string is empty"));
  EXPECT_TRUE(Logged("ERROR", "Failed to decode Base64 certificate"));
  EXPECT_EQ(Log().find("CryptStringToBinaryW"), std::string::npos)
      << "the empty text never reaches the system decoder";

  EXPECT_FALSE(CertParser::DecodeBase64("@@@ not base64 !!!").has_value());
  EXPECT_NE(Log().find("[ERROR] CryptStringToBinaryW failed"), std::string::npos);

  EXPECT_FALSE(CertParser::ParseCertificateFromDER({}).has_value());
  EXPECT_TRUE(Logged("ERROR", "DER data is empty"));

  std::vector<uint8_t> truncated = FixtureDer("citizen");
  truncated.resize(truncated.size() / 2);
  EXPECT_FALSE(CertParser::ParseCertificateFromDER(truncated).has_value());
  EXPECT_NE(Log().find("[ERROR] CertCreateCertificateContext failed: "), std::string::npos);

  std::vector<uint8_t> garbage(64 * 1024, 0x5A);
  EXPECT_FALSE(CertParser::ParseCertificateFromDER(garbage).has_value());

  // Valid Base64 of something that is not a certificate.
  EXPECT_FALSE(CertParser::ParseCertificateFromBase64("aGVsbG8gd29ybGQ=").has_value());
}

TEST_F(CertParserTest, DniIsEightDigitsAndAnUpperCaseLetterAtTheStart) {
  EXPECT_EQ(CertParser::ExtractDni("12345678Z PEREZ"), "12345678Z");
  EXPECT_EQ(CertParser::ExtractDni("12345678z PEREZ"), "");
  EXPECT_TRUE(Logged("WARNING", "Could not extract DNI from subject CN: 12345678z PEREZ"));
  EXPECT_EQ(CertParser::ExtractDni("PEREZ 12345678Z"), "");
  EXPECT_EQ(CertParser::ExtractDni("1234567Z"), "");
  EXPECT_EQ(CertParser::ExtractDni(""), "");
}

TEST_F(CertParserTest, NameSplitsSurnamesFromTheLastWord) {
  std::string dni, surnames, name;
  CertParser::ParseName("12345678Z GARCIA LOPEZ JUAN", dni, surnames, name);
  EXPECT_EQ(dni, "12345678Z");
  EXPECT_EQ(surnames, "GARCIA LOPEZ");
  EXPECT_EQ(name, "JUAN");
  EXPECT_TRUE(Logged("INFO", "Extracted - DNI: 12345678Z, Surnames: GARCIA LOPEZ, Name: JUAN"));

  surnames = "old";
  CertParser::ParseName("12345678Z  JUAN", dni, surnames, name);
  EXPECT_EQ(surnames, "");
  EXPECT_EQ(name, "JUAN");

  CertParser::ParseName("12345678Z\tGARCIA   LOPEZ \t JUAN ", dni, surnames, name);
  EXPECT_EQ(surnames, "GARCIA LOPEZ");
  EXPECT_EQ(name, "JUAN");

  surnames = "kept";
  name = "kept too";
  CertParser::ParseName("12345678Z", dni, surnames, name);
  EXPECT_EQ(dni, "12345678Z");
  EXPECT_EQ(surnames, "kept");
  EXPECT_EQ(name, "kept too");

  CertParser::ParseName("SIN DNI", dni, surnames, name);
  EXPECT_EQ(dni, "");
  EXPECT_EQ(surnames, "kept");
}

}  // namespace
