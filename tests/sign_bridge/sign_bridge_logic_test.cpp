// The bridge's pure parts: hash classification, algorithm names, flags text, Base64, and the
// per-thread failure texts.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <thread>

#include "bridge_credentials.h"
#include "bridge_last_error.h"
#include "hash_classification.h"
#include "remote_signer.h"
#include "secure_storage.h"
#include "signing_road_support.h"

namespace {

TEST(ClassifyHash, RawHashesPassUnchanged) {
  for (size_t size : {32u, 48u, 64u}) {
    auto raw = TestDigest(size, 1);
    HashClassification result = ClassifyHash(raw.data(), static_cast<uint32_t>(size));
    ASSERT_TRUE(result.accepted);
    EXPECT_EQ(result.raw_hash, raw);
    EXPECT_EQ(result.log_line, "Received raw hash (" + std::to_string(size) + " bytes)");
  }
}

TEST(ClassifyHash, DigestInfoYieldsTheHashAfterThePrefix) {
  for (size_t size : {32u, 48u, 64u}) {
    auto raw = TestDigest(size, 2);
    auto info = DigestInfoOf(raw);
    HashClassification result = ClassifyHash(info.data(), static_cast<uint32_t>(info.size()));
    ASSERT_TRUE(result.accepted);
    EXPECT_EQ(result.raw_hash, raw);
    EXPECT_EQ(result.log_line, "DigestInfo detected (" + std::to_string(info.size()) +
                                   " bytes total), extracted " + std::to_string(size) +
                                   "-byte raw hash");
  }
}

TEST(ClassifyHash, RejectsOtherLengthsAndForeignPrefixes) {
  auto info = DigestInfoOf(TestDigest(32, 3));
  info[1] = 0x32;
  std::vector<uint8_t> sha384_prefix_in_51 = DigestInfoOf(TestDigest(48, 3));
  sha384_prefix_in_51.resize(51);
  for (const auto& bytes : {info, sha384_prefix_in_51, std::vector<uint8_t>(20, 1),
                            std::vector<uint8_t>(100, 1), std::vector<uint8_t>(1, 0x30)}) {
    HashClassification result = ClassifyHash(bytes.data(), static_cast<uint32_t>(bytes.size()));
    EXPECT_FALSE(result.accepted);
    EXPECT_EQ(result.error_text, "Unrecognized hash format: " + std::to_string(bytes.size()) +
                                     " bytes. Expected raw hash (32/48/64) or DigestInfo ASN.1 "
                                     "(51/67/83).");
  }
  uint8_t empty = 0;
  EXPECT_FALSE(ClassifyHash(&empty, 0).accepted);
  std::vector<uint8_t> tls10(36, 7);
  HashClassification tls = ClassifyHash(tls10.data(), 36);
  EXPECT_FALSE(tls.accepted);
  EXPECT_EQ(tls.error_text.rfind("TLS 1.0/1.1 MD5+SHA1 concatenation (36 bytes)", 0), 0u);
}

TEST(BridgeTexts, AlgorithmNamesFlagsAndTokenKeys) {
  EXPECT_EQ(SignatureAlgorithmName(32, 0), "rsa-sha256");
  EXPECT_EQ(SignatureAlgorithmName(48, 2), "rsa-sha384");
  EXPECT_EQ(SignatureAlgorithmName(64, 8), "rsa-pss-mgf1-sha512");
  EXPECT_EQ(SignatureAlgorithmName(32, 0x8 | 0x2), "rsa-pss-mgf1-sha256");
  EXPECT_EQ(DescribePaddingFlags(8), "0x8 (PSS)");
  EXPECT_EQ(DescribePaddingFlags(2), "0x2 (PKCS1)");
  SecureStorage::StoreToken("user_type_by_thumbprint_T", "Profesional");
  EXPECT_EQ(GetUserTypeByThumbprint("T"), UserType::kCitizen);
  SecureStorage::DeleteToken("user_type_by_thumbprint_T");
  EXPECT_EQ(KeyNameToNarrow(L"ABC0123"), "ABC0123");
}

// The thread-detach handler drops a thread's text under the loader lock: it must never wait for
// a log write. While a failure's line is being written, another thread's text is dropped at once.
HANDLE g_start_detach = nullptr;
HANDLE g_detached = nullptr;
int g_detach_waits = 0;  // -1: waited in vain; 1: the text was dropped during the log write

LONG CALLBACK DetachWhileTheLineIsWritten(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (g_detach_waits == 0 && record->ExceptionCode == DBG_PRINTEXCEPTION_C &&
      std::strstr(reinterpret_cast<const char*>(record->ExceptionInformation[1]),
                  "MurakoSignBridge: scripted failure") != nullptr) {
    SetEvent(g_start_detach);
    g_detach_waits = WaitForSingleObject(g_detached, 3000) == WAIT_OBJECT_0 ? 1 : -1;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

TEST(BridgeLastError, ThreadDetachNeverWaitsForAFailuresLogLine) {
  g_start_detach = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  g_detached = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread detaching([] {
    WaitForSingleObject(g_start_detach, INFINITE);
    ForgetBridgeErrorOfThread(GetCurrentThreadId() + 4);
    SetEvent(g_detached);
  });
  PVOID handler = AddVectoredExceptionHandler(1, &DetachWhileTheLineIsWritten);
  SetBridgeError("scripted failure");
  RemoveVectoredExceptionHandler(handler);
  SetEvent(g_start_detach);
  detaching.join();
  CloseHandle(g_start_detach);
  CloseHandle(g_detached);
  EXPECT_EQ(g_detach_waits, 1);
  EXPECT_STREQ(BridgeLastError(), "scripted failure");
}

}  // namespace
