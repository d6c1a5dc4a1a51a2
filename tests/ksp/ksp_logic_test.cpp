// The provider's pure pieces, called directly: thumbprint parsing, key length judgement,
// hash diagnosis and the debug log's text handling.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hash_diagnosis.h"
#include "key_length.h"
#include "ksp_fixtures.h"
#include "ksp_log.h"
#include "thumbprint.h"

namespace {

TEST(KspLogic, ThumbprintNeedsExactlyFortyHexDigitsInEitherCase) {
  Thumbprint bytes{};
  ASSERT_TRUE(ParseThumbprint(L"00112233445566778899aabbccddeeffAABBCCDD", &bytes));
  EXPECT_EQ(bytes[0], 0x00);
  EXPECT_EQ(bytes[9], 0x99);
  EXPECT_EQ(bytes[10], 0xAA);
  EXPECT_EQ(bytes[19], 0xDD);
  EXPECT_EQ(FormatThumbprint(bytes.data()), L"00112233445566778899AABBCCDDEEFFAABBCCDD");
  EXPECT_FALSE(ParseThumbprint(L"00112233445566778899aabbccddeeffAABBCCD", &bytes));
  EXPECT_FALSE(ParseThumbprint(L"00112233445566778899aabbccddeeffAABBCCDDE", &bytes));
  EXPECT_FALSE(ParseThumbprint(L"00112233445566778899aabbccddeeffAABBCCDG", &bytes));
  EXPECT_FALSE(ParseThumbprint(L"0x112233445566778899aabbccddeeffAABBCCDD", &bytes));
  EXPECT_FALSE(ParseThumbprint(L"", &bytes));
  EXPECT_FALSE(ParseThumbprint(nullptr, &bytes));
}

TEST(KspLogic, KeyLengthBoundaries) {
  EXPECT_EQ(KeyLengthForPublicKeySize(140), 1024u);
  EXPECT_EQ(KeyLengthForPublicKeySize(270), 2048u);
  EXPECT_EQ(KeyLengthForPublicKeySize(398), 3072u);
  EXPECT_EQ(KeyLengthForPublicKeySize(526), 4096u);
  EXPECT_EQ(KeyLengthForPublicKeySize(509), 3072u);
  EXPECT_EQ(KeyLengthForPublicKeySize(510), 4096u);
  EXPECT_EQ(KeyLengthForPublicKeySize(379), 2048u);
  EXPECT_EQ(KeyLengthForPublicKeySize(380), 3072u);
  EXPECT_EQ(KeyLengthForPublicKeySize(250), 2048u);
  EXPECT_EQ(KeyLengthForPublicKeySize(249), 1024u);
  EXPECT_EQ(KeyLengthForPublicKeySize(125), 1024u);
  EXPECT_EQ(KeyLengthForPublicKeySize(124), 2048u);

  DebugLogCapture log;
  BYTE data[124] = {};
  CERT_PUBLIC_KEY_INFO info{};
  info.PublicKey.cbData = sizeof(data);
  info.PublicKey.pbData = data;
  EXPECT_EQ(KeyLengthFromPublicKey(&info), 2048u);
  EXPECT_TRUE(log.HasLine("    WARNING: Unexpected key size (cbData=124), using default 2048 bits"));
  info.PublicKey.cbData = 0;
  EXPECT_EQ(KeyLengthFromPublicKey(&info), 2048u);
  EXPECT_EQ(KeyLengthFromPublicKey(nullptr), 2048u);
  EXPECT_TRUE(log.HasLine("    WARNING: Invalid public key info, using default 2048 bits"));
}

TEST(KspLogic, HashDiagnosisNamesTheLikelyFormat) {
  std::vector<BYTE> hash(83, 0x11);
  EXPECT_TRUE(DiagnoseHashFormat(hash.data(), 32).empty());
  EXPECT_TRUE(DiagnoseHashFormat(hash.data(), 48).empty());
  EXPECT_TRUE(DiagnoseHashFormat(hash.data(), 64).empty());
  using Lines = std::vector<std::string>;
  const std::string warning =
      "    WARNING: Non-standard hash size %d (expected 32/48/64 for raw SHA-256/384/512)";
  auto warn = [&](int n) {
    std::string line = warning;
    line.replace(line.find("%d"), 2, std::to_string(n));
    return line;
  };
  EXPECT_EQ(DiagnoseHashFormat(hash.data(), 36),
            (Lines{warn(36), "    Likely TLS 1.0/1.1 MD5+SHA1 concatenation (16+20=36 bytes)"}));
  EXPECT_EQ(DiagnoseHashFormat(hash.data(), 19), (Lines{warn(19)}));
  EXPECT_EQ(DiagnoseHashFormat(hash.data(), 20),
            (Lines{warn(20), "    Unknown format (first byte: 0x11)"}));
  hash[0] = 0x30;
  hash[1] = 0x31;
  EXPECT_EQ(DiagnoseHashFormat(hash.data(), 51),
            (Lines{warn(51), "    Likely DigestInfo wrapping SHA-256 hash (51 bytes)"}));
  EXPECT_EQ(DiagnoseHashFormat(hash.data(), 67),
            (Lines{warn(67), "    Possible DigestInfo structure (starts with 0x30, total 67 bytes)"}));
  hash[1] = 0x41;
  EXPECT_EQ(DiagnoseHashFormat(hash.data(), 67),
            (Lines{warn(67), "    Likely DigestInfo wrapping SHA-384 hash (67 bytes)"}));
  hash[1] = 0x51;
  EXPECT_EQ(DiagnoseHashFormat(hash.data(), 83),
            (Lines{warn(83), "    Likely DigestInfo wrapping SHA-512 hash (83 bytes)"}));
  EXPECT_EQ(DiagnoseHashFormat(nullptr, 0), (Lines{warn(0)}));

  std::vector<BYTE> long_hash(100);
  for (size_t i = 0; i < long_hash.size(); ++i) long_hash[i] = static_cast<BYTE>(i);
  std::string dump = HashHexPrefix(long_hash.data(), 100);
  EXPECT_EQ(dump.size(), 64u * 3);
  EXPECT_EQ(dump.substr(0, 12), "00 01 02 03 ");
  EXPECT_EQ(dump.substr(dump.size() - 3), "3F ");
}

TEST(KspLogic, LogTextIsCutAtACharacterBoundaryAndLinesAtTheBufferSize) {
  EXPECT_EQ(KspLogText(nullptr), "NULL");
  EXPECT_EQ(KspLogText(L"PE\u00D1A"), "PE\xC3\x91" "A");
  // 255 one-byte characters and a two-byte one do not fit 256 bytes with the terminator.
  std::wstring text(254, L'a');
  text += L"\u00D1\u00D1";
  EXPECT_EQ(KspLogText(text.c_str(), 256), std::string(254, 'a'));
  EXPECT_EQ(KspLogText(text.c_str(), 258), std::string(254, 'a') + "\xC3\x91");

  DebugLogCapture log;
  std::string long_message(3000, 'm');
  KspLog("%s", long_message.c_str());
  KspLog("next");
  std::vector<std::string> messages = log.Messages();
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(messages[0], std::string(1023, 'm'));
  EXPECT_EQ(messages[1], "next");
  std::string text_file = log.Text();
  EXPECT_EQ(text_file.substr(0, 1), "[");
  EXPECT_EQ(text_file[13], ']');
}

// Key names, subjects and property names come from callers and certificates: none of them may
// start a line of its own or rewrite one on a terminal.
TEST(KspLogic, ControlCharactersAreEscapedInEveryLogLine) {
  DebugLogCapture log;
  KspLog(">>> MurakoOpenKey: keyName='%s'", "a\n[10:00:00.000] <<< forged\r\x1B[2J\x7F");
  KspLog("%s", "U+0085 \xC2\x85, U+2028 \xE2\x80\xA8, tab\tend");
  EXPECT_EQ(log.Messages(),
            (std::vector<std::string>{
                ">>> MurakoOpenKey: keyName='a\\x0A[10:00:00.000] <<< forged\\x0D\\x1B[2J\\x7F'",
                "U+0085 \\u0085, U+2028 \\u2028, tab\\x09end"}));

  // Escaping never takes a line past the message buffer.
  KspLog("%s\n\n", std::string(1020, 'm').c_str());
  EXPECT_EQ(log.Messages().size(), 3u);
  EXPECT_EQ(log.Messages().back().size(), 1023u);
}

TEST(KspLogic, LoggingLeavesTheLastErrorAlone) {
  DebugLogCapture log;
  SetLastError(12345);
  KspLog("a line");
  EXPECT_EQ(GetLastError(), 12345u);
}

}  // namespace
