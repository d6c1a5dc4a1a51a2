// Signing through the signing bridge, played by the scripted stand-in, and the refused
// Encrypt and Decrypt.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ksp_fixtures.h"
#include "unique_handle.h"

namespace {

std::vector<BYTE> Hash(size_t length, BYTE seed = 0x10) {
  std::vector<BYTE> hash(length);
  for (size_t i = 0; i < length; ++i) hash[i] = static_cast<BYTE>(seed + i * 7);
  return hash;
}

class KspSigning : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(key_.Open(provider_.get(), Fixtures()["rsa2048"].thumbprint), ERROR_SUCCESS);
  }

  SECURITY_STATUS Sign(const std::vector<BYTE>& hash, std::vector<BYTE>* signature,
                       DWORD* result, DWORD flags = 0, void* padding = nullptr) {
    return Ksp().SignHash(provider_.get(), key_.get(), padding,
                          const_cast<BYTE*>(hash.data()), static_cast<DWORD>(hash.size()),
                          signature->data(), static_cast<DWORD>(signature->size()), result, flags);
  }

  ScopedProvider provider_;
  ScopedKey key_;
};

TEST_F(KspSigning, SizeQueryAndShortBufferNeverLoadTheBridge) {
  BridgeFolder folder("bridge_double");
  BridgeScript script("sign");
  long loads = BridgeCounter("TEST_SIGN_BRIDGE_LOADS");
  std::vector<BYTE> hash = Hash(32);
  DWORD size = 0;
  EXPECT_EQ(Ksp().SignHash(provider_.get(), key_.get(), nullptr, hash.data(), 32, nullptr, 0,
                           &size, 0),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 256u);
  std::vector<BYTE> short_buffer(255);
  size = 0;
  EXPECT_EQ(Sign(hash, &short_buffer, &size), NTE_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 256u);
  EXPECT_EQ(BridgeCounter("TEST_SIGN_BRIDGE_LOADS"), loads);
  EXPECT_EQ(Ksp().SignHash(provider_.get(), key_.get(), nullptr, hash.data(), 32, nullptr, 0,
                           nullptr, 0),
            NTE_INVALID_PARAMETER);
  EXPECT_EQ(Ksp().SignHash(provider_.get(), key_.get(), nullptr, nullptr, 32,
                           short_buffer.data(), 256, &size, 0),
            NTE_INVALID_PARAMETER);
  EXPECT_EQ(BridgeCounter("TEST_SIGN_BRIDGE_LOADS"), loads);
}

// The service's PSS salt is as long as the hash (inside a DigestInfo, the hash it wraps): a
// signature with another salt would not verify under the caller's parameters.
TEST_F(KspSigning, PssWithAnotherSaltIsRefusedBeforeTheBridgeIsLoaded) {
  BridgeFolder folder("bridge_double");
  BridgeScript script("sign");
  DebugLogCapture log;
  const long loads = BridgeCounter("TEST_SIGN_BRIDGE_LOADS");
  std::vector<BYTE> raw = Hash(32);
  std::vector<BYTE> signature(256);
  for (DWORD salt : {0u, 20u, 222u}) {
    BCRYPT_PSS_PADDING_INFO pss{BCRYPT_SHA256_ALGORITHM, salt};
    DWORD size = 0;
    EXPECT_EQ(Sign(raw, &signature, &size, BCRYPT_PAD_PSS, &pss), NTE_NOT_SUPPORTED) << salt;
    EXPECT_EQ(Ksp().SignHash(provider_.get(), key_.get(), &pss, raw.data(), 32, nullptr, 0, &size,
                             BCRYPT_PAD_PSS),
              NTE_NOT_SUPPORTED);
  }
  EXPECT_TRUE(log.HasLine(
      "<<< MurakoSignHash: NTE_NOT_SUPPORTED (PSS salt of 222 bytes requested, the service signs "
      "with a salt of the hash length, 32 bytes)"));
  EXPECT_EQ(BridgeCounter("TEST_SIGN_BRIDGE_LOADS"), loads);

  std::vector<BYTE> digest_info = {0x30, 0x41, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                   0x65, 0x03, 0x04, 0x02, 0x02, 0x05, 0x00, 0x04, 0x30};
  std::vector<BYTE> raw384 = Hash(48);
  digest_info.insert(digest_info.end(), raw384.begin(), raw384.end());
  BCRYPT_PSS_PADDING_INFO pss{BCRYPT_SHA384_ALGORITHM, 48};
  DWORD size = 0;
  ASSERT_EQ(Sign(digest_info, &signature, &size, BCRYPT_PAD_PSS, &pss), ERROR_SUCCESS);
  EXPECT_TRUE(VerifiesWith(Fixtures()["rsa2048"], raw384, signature.data(), 256, true));
}

// PKCS #1 without a hash algorithm pads the bytes themselves: the service, which always signs a
// DigestInfo, can do that only when they already are one. Raw RSA it never does.
TEST_F(KspSigning, RequestsTheServiceCannotSignAsAskedAreRefusedBeforeTheBridgeIsLoaded) {
  BridgeFolder folder("bridge_double");
  BridgeScript script("sign");
  DebugLogCapture log;
  const long loads = BridgeCounter("TEST_SIGN_BRIDGE_LOADS");
  BCRYPT_PKCS1_PADDING_INFO no_algorithm{nullptr};
  std::vector<BYTE> raw = Hash(32);
  std::vector<BYTE> signature(256, 0xEE);
  DWORD size = 0;
  EXPECT_EQ(Sign(raw, &signature, &size, BCRYPT_PAD_PKCS1, &no_algorithm), NTE_NOT_SUPPORTED);
  EXPECT_EQ(Ksp().SignHash(provider_.get(), key_.get(), &no_algorithm, raw.data(), 32, nullptr, 0,
                           &size, BCRYPT_PAD_PKCS1),
            NTE_NOT_SUPPORTED);
  EXPECT_TRUE(log.HasLine("<<< MurakoSignHash: NTE_NOT_SUPPORTED (PKCS #1 without a hash "
                          "algorithm over 32 bytes that are not a DigestInfo the service signs)"))
      << log.Text();
  EXPECT_EQ(Sign(raw, &signature, &size, NCRYPT_NO_PADDING_FLAG, &no_algorithm),
            NTE_NOT_SUPPORTED);
  EXPECT_TRUE(log.HasLine("<<< MurakoSignHash: NTE_NOT_SUPPORTED (signing without padding)"));
  EXPECT_EQ(signature, std::vector<BYTE>(256, 0xEE));
  EXPECT_EQ(BridgeCounter("TEST_SIGN_BRIDGE_LOADS"), loads);

  // A size query without padding information is answered, as before.
  size = 0;
  EXPECT_EQ(Ksp().SignHash(provider_.get(), key_.get(), nullptr, raw.data(), 32, nullptr, 0, &size,
                           0),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 256u);

  std::vector<BYTE> digest_info = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                   0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
  digest_info.insert(digest_info.end(), raw.begin(), raw.end());
  ASSERT_EQ(Sign(digest_info, &signature, &size, BCRYPT_PAD_PKCS1, &no_algorithm), ERROR_SUCCESS)
      << log.Text();
  EXPECT_TRUE(VerifiesWith(Fixtures()["rsa2048"], raw, signature.data(), 256, false));
}

TEST_F(KspSigning, SignatureComesFromTheBridgeWhichIsUnloadedAfterwards) {
  ScopedTempDirectory record_folder;
  const std::string record = record_folder.path() + "calls.txt";
  BridgeFolder folder("bridge_double");
  BridgeScript script("sign");
  script.RecordTo(record);
  long loads = BridgeCounter("TEST_SIGN_BRIDGE_LOADS");
  long frees = BridgeCounter("TEST_SIGN_BRIDGE_FREES");
  DebugLogCapture log;

  // A SHA-256 DigestInfo goes to the bridge unchanged, with the caller's flags.
  std::vector<BYTE> digest_info = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                   0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
  std::vector<BYTE> raw = Hash(32);
  digest_info.insert(digest_info.end(), raw.begin(), raw.end());
  BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA256_ALGORITHM};
  std::vector<BYTE> signature(300, 0xEE);
  DWORD size = 0;
  ASSERT_EQ(Sign(digest_info, &signature, &size, BCRYPT_PAD_PKCS1, &padding), ERROR_SUCCESS)
      << log.Text();
  EXPECT_EQ(size, 256u);
  EXPECT_TRUE(VerifiesWith(Fixtures()["rsa2048"], raw, signature.data(), 256, false));
  EXPECT_EQ(signature[256], 0xEE);
  EXPECT_FALSE(BridgeIsLoaded());
  EXPECT_EQ(BridgeCounter("TEST_SIGN_BRIDGE_LOADS"), loads + 1);
  EXPECT_EQ(BridgeCounter("TEST_SIGN_BRIDGE_FREES"), frees + 1);

  std::string hex;
  for (BYTE b : digest_info) {
    char digits[3];
    snprintf(digits, sizeof(digits), "%02X", b);
    hex += digits;
  }
  EXPECT_EQ(ReadFileBytes(record), WideToUtf8(Fixtures()["rsa2048"].thumbprint) + "|" + hex + "|2\n");
  EXPECT_TRUE(log.HasLine(">>> MurakoSignHash: keyName='" +
                          WideToUtf8(Fixtures()["rsa2048"].thumbprint) + "' hashSize=51"));
  EXPECT_TRUE(log.HasLine("    PaddingInfo: algorithm='SHA256'"));
  EXPECT_TRUE(log.HasLine("    Flags: 0x00000002"));
  EXPECT_TRUE(log.HasLine("    Likely DigestInfo wrapping SHA-256 hash (51 bytes)"));
  EXPECT_TRUE(log.HasLine("<<< MurakoSignHash: SUCCESS sigSize=256 (HSM real signature)"));
}

// The bridge's mappings are keyed by the upper-case thumbprint: a key opened by its common name
// or a lower-case thumbprint is signed for under that thumbprint, while the log keeps its name.
TEST_F(KspSigning, KeysOpenedByNameSignUnderTheirCertificatesThumbprint) {
  ScopedTempDirectory record_folder;
  BridgeFolder folder("bridge_double");
  BridgeScript script("sign");
  const std::vector<BYTE> hash = Hash(32);
  const std::pair<std::wstring, const char*> named[] = {
      {kAccentedCommonName, "dni_accents"},
      {Lowercase(Fixtures()["rsa2048"].thumbprint), "rsa2048"}};
  for (const auto& name : named) {
    const std::string record = record_folder.path() + name.second + ".txt";
    script.RecordTo(record);
    ScopedKey key;
    ASSERT_EQ(key.Open(provider_.get(), name.first), ERROR_SUCCESS);
    DebugLogCapture log;
    std::vector<BYTE> signature(256);
    DWORD size = 0;
    ASSERT_EQ(Ksp().SignHash(provider_.get(), key.get(), nullptr, const_cast<BYTE*>(hash.data()),
                             32, signature.data(), 256, &size, BCRYPT_PAD_PKCS1),
              ERROR_SUCCESS)
        << log.Text();
    EXPECT_TRUE(VerifiesWith(Fixtures()[name.second], hash, signature.data(), size, false));
    EXPECT_EQ(ReadFileBytes(record).substr(0, 41),
              WideToUtf8(Fixtures()[name.second].thumbprint) + "|");
    EXPECT_TRUE(log.HasLine(">>> MurakoSignHash: keyName='" + WideToUtf8(name.first) +
                            "' hashSize=32"));
  }
}

TEST_F(KspSigning, OnlyASignatureOfTheModulusLengthThatVerifiesReachesTheCaller) {
  BridgeFolder folder("bridge_double");
  std::vector<BYTE> hash = Hash(48);
  {
    BridgeScript script("sign");
    DebugLogCapture log;
    std::vector<BYTE> signature(256, 0xEE);
    DWORD size = 0;
    ASSERT_EQ(Sign(hash, &signature, &size, BCRYPT_PAD_PSS), ERROR_SUCCESS);
    EXPECT_TRUE(VerifiesWith(Fixtures()["rsa2048"], hash, signature.data(), 256, true));
    EXPECT_TRUE(log.HasLine("    PSS padding detected - forwarding to HSM"));
    EXPECT_TRUE(log.HasLine("    Expected signature size: 256 bytes (key size)"));
    EXPECT_TRUE(log.HasLine("    PaddingInfo: NULL (no padding info provided)"));
  }
  {
    // Sent without its leading zero bytes: padded back to the key's length, then verified.
    BridgeScript script("strip_zeros");
    DebugLogCapture log;
    std::vector<BYTE> signature(256, 0xEE);
    DWORD size = 0;
    ASSERT_EQ(Sign(hash, &signature, &size, BCRYPT_PAD_PSS), ERROR_SUCCESS) << log.Text();
    EXPECT_EQ(signature[0], 0);
    EXPECT_TRUE(VerifiesWith(Fixtures()["rsa2048"], hash, signature.data(), 256, true));
    EXPECT_TRUE(log.HasLine("<<< MurakoSignHash: SUCCESS sigSize=256 (HSM real signature)"));
  }
  struct Case {
    const char* mode;
    int bytes;
    DWORD flags;
    std::string reason;
  };
  const Case cases[] = {
      {"sign", 100, 0,
       "signature does not verify with the certificate's public key (status=0xC000A000)"},
      {"sign", 600, BCRYPT_PAD_PSS, "signature is 600 bytes, the key's length 256"},
      {"corrupt", 0, 0,
       "signature does not verify with the certificate's public key (status=0xC000A000)"},
      {"corrupt", 0, BCRYPT_PAD_PSS,
       "signature does not verify with the certificate's public key (status=0xC000A000)"},
  };
  for (const Case& bad : cases) {
    BridgeScript script(bad.mode, bad.bytes);
    DebugLogCapture log;
    long frees = BridgeCounter("TEST_SIGN_BRIDGE_FREES");
    std::vector<BYTE> signature(1024, 0xEE);
    DWORD size = 0;
    EXPECT_EQ(Sign(hash, &signature, &size, bad.flags), NTE_INTERNAL_ERROR) << bad.reason;
    EXPECT_EQ(signature, std::vector<BYTE>(1024, 0xEE)) << bad.reason;
    EXPECT_TRUE(log.HasLine("    Bridge signature refused: " + bad.reason)) << log.Text();
    EXPECT_TRUE(log.HasLine("<<< MurakoSignHash: NTE_INTERNAL_ERROR (signature refused)"));
    EXPECT_EQ(BridgeCounter("TEST_SIGN_BRIDGE_FREES"), frees + 1);
  }
  EXPECT_FALSE(BridgeIsLoaded());
}

TEST_F(KspSigning, BridgeFailureTextReachesTheDebugLogOnly) {
  BridgeFolder folder("bridge_double");
  std::vector<BYTE> hash = Hash(36);
  {
    BridgeScript script("fail", 256, "No OAuth token available for ciudadano user type");
    DebugLogCapture log;
    std::vector<BYTE> signature(256, 0xEE);
    DWORD size = 0;
    EXPECT_EQ(Sign(hash, &signature, &size), NTE_INTERNAL_ERROR);
    EXPECT_EQ(signature[0], 0xEE);
    EXPECT_TRUE(log.HasLine(
        "    HSM signature failed (hr=0x80004005, pSig=" + std::string(sizeof(void*) == 8 ? "0000000000000000" : "00000000") +
        ", size=0): No OAuth token available for ciudadano user type"));
    EXPECT_TRUE(log.HasLine("<<< MurakoSignHash: NTE_INTERNAL_ERROR (HSM failed)"));
    EXPECT_TRUE(log.HasLine("    Likely TLS 1.0/1.1 MD5+SHA1 concatenation (16+20=36 bytes)"));
  }
  {
    // A buffer handed back along with a failure still goes back to the bridge.
    BridgeScript script("fail_with_buffer", 256, "partial answer");
    long frees = BridgeCounter("TEST_SIGN_BRIDGE_FREES");
    std::vector<BYTE> signature(256);
    DWORD size = 0;
    EXPECT_EQ(Sign(hash, &signature, &size), NTE_INTERNAL_ERROR);
    EXPECT_EQ(BridgeCounter("TEST_SIGN_BRIDGE_FREES"), frees + 1);
  }
  {
    BridgeScript script("empty");
    std::vector<BYTE> signature(256);
    DWORD size = 0;
    EXPECT_EQ(Sign(hash, &signature, &size), NTE_INTERNAL_ERROR);
  }
  EXPECT_FALSE(BridgeIsLoaded());
}

// A 32-bit host built with the GNU toolchain's shared runtime has libgcc_s_dw2-1.dll loaded
// before the provider loads the bridge (the test folder holds a copy in 32-bit GNU builds
// only). A failure the bridge throws and catches inside itself still comes back as a failure.
TEST_F(KspSigning, ExceptionsCaughtInsideTheBridgeStayThereWhenTheHostHasTheGnuRuntime) {
  const std::wstring runtime = Utf8ToWide(ProgramDirectory()) + L"gnu_runtime\\libgcc_s_dw2-1.dll";
  if (GetFileAttributesW(runtime.c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "only 32-bit x86 builds of the GNU toolchain register unwind tables";
  }
  UniqueModule host_runtime(LoadLibraryExW(runtime.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  ASSERT_TRUE(host_runtime);
  BridgeFolder folder("bridge_double");
  BridgeScript script("throw");
  DebugLogCapture log;
  std::vector<BYTE> signature(256);
  DWORD size = 0;
  EXPECT_EQ(Sign(Hash(32), &signature, &size), NTE_INTERNAL_ERROR);
  EXPECT_TRUE(log.Contains("Exception: scripted exception")) << log.Text();
}

TEST_F(KspSigning, MissingBridgeOrMissingExportsFailAsInternalError) {
  std::vector<BYTE> hash = Hash(32);
  std::vector<BYTE> signature(256);
  DWORD size = 0;
  {
    // A working bridge planted next to the program is what a bare-name load would find.
    BridgeFolder folder("bridge_absent");
    BridgeScript script("sign");
    HMODULE planted = LoadLibraryW(L"murako_sign_bridge.dll");
    ASSERT_NE(planted, nullptr) << "no bridge planted next to the test program";
    FreeLibrary(planted);
    long loads = BridgeCounter("TEST_SIGN_BRIDGE_LOADS");
    DebugLogCapture log;
    EXPECT_EQ(Sign(hash, &signature, &size), NTE_INTERNAL_ERROR);
    EXPECT_EQ(BridgeCounter("TEST_SIGN_BRIDGE_LOADS"), loads);
    EXPECT_TRUE(log.HasLine("    Bridge DLL not found"));
    EXPECT_TRUE(log.HasLine("<<< MurakoSignHash: NTE_INTERNAL_ERROR (bridge DLL not found)"));
  }
  {
    BridgeFolder folder("bridge_partial");
    BridgeScript script("sign");
    long loads = BridgeCounter("TEST_SIGN_BRIDGE_LOADS");
    DebugLogCapture log;
    EXPECT_EQ(Sign(hash, &signature, &size), NTE_INTERNAL_ERROR);
    EXPECT_EQ(BridgeCounter("TEST_SIGN_BRIDGE_LOADS"), loads + 1);
    EXPECT_TRUE(log.HasLine("    Bridge DLL loaded but functions not found"));
    EXPECT_TRUE(log.HasLine("<<< MurakoSignHash: NTE_INTERNAL_ERROR (bridge functions missing)"));
    EXPECT_FALSE(BridgeIsLoaded());
  }
}

// The bridge gets any hash; a signature of one the service never signs cannot be checked, so
// it is refused.
TEST_F(KspSigning, HashesOfAnyLengthAreForwardedAndOnlyShortOnesDumped) {
  ScopedTempDirectory record_folder;
  BridgeFolder folder("bridge_double");
  BridgeScript script("sign");
  script.RecordTo(record_folder.path() + "calls.txt");
  DebugLogCapture log;
  std::vector<BYTE> signature(256);
  DWORD size = 0;
  std::vector<BYTE> hundred = Hash(100, 0);
  EXPECT_EQ(Sign(hundred, &signature, &size), NTE_INTERNAL_ERROR);
  EXPECT_TRUE(log.HasLine("    Bridge signature refused: the hash is not one the service signs"));
  std::string dump;
  for (int i = 0; i < 64; ++i) {
    char digits[4];
    snprintf(digits, sizeof(digits), "%02X ", hundred[i]);
    dump += digits;
  }
  EXPECT_TRUE(log.HasLine("    Hash bytes (first 64): " + dump));

  std::vector<BYTE> huge = Hash(70000);
  EXPECT_EQ(Sign(huge, &signature, &size), NTE_INTERNAL_ERROR);
  std::vector<BYTE> empty;
  EXPECT_EQ(Sign(empty, &signature, &size), NTE_INTERNAL_ERROR);
  const std::string calls = ReadFileBytes(record_folder.path() + "calls.txt");
  EXPECT_EQ(std::count(calls.begin(), calls.end(), '\n'), 3);
  for (const std::string& message : log.Messages()) {
    EXPECT_EQ(message.find("Hash bytes (first 64): 10 "), std::string::npos);
  }
}

// The service only signs: no key operation can encrypt or decrypt, so neither call hands out
// anything, not even a size.
TEST_F(KspSigning, EncryptAndDecryptRefuseEveryCallAndWriteNothing) {
  DebugLogCapture log;
  std::vector<BYTE> input(245, 0x61);
  BYTE padded_block[] = {0, 2, 9, 9, 9, 9, 9, 9, 9, 9, 0, 'a', 'b', 'c'};
  const std::pair<NCryptEncryptFn, const char*> operations[] = {
      {Ksp().Encrypt, "MurakoEncrypt"}, {Ksp().Decrypt, "MurakoDecrypt"}};
  for (const auto& operation : operations) {
    for (NCRYPT_KEY_HANDLE key : {key_.get(), NCRYPT_KEY_HANDLE(0)}) {
      for (DWORD capacity : {0u, 256u}) {
        std::vector<BYTE> output(256, 0xEE);
        DWORD size = 77;
        EXPECT_EQ(operation.first(0, key, capacity == 0 ? input.data() : padded_block,
                                  capacity == 0 ? 245 : sizeof(padded_block), nullptr,
                                  capacity == 0 ? nullptr : output.data(), capacity, &size, 0),
                  NTE_NOT_SUPPORTED)
            << operation.second;
        EXPECT_EQ(output, std::vector<BYTE>(256, 0xEE));
        EXPECT_EQ(size, 77u);
      }
    }
    EXPECT_TRUE(log.HasLine(std::string(">>> ") + operation.second + ": cbInput=245, cbOutput=0"));
    EXPECT_TRUE(log.HasLine(std::string("<<< ") + operation.second +
                            ": NTE_NOT_SUPPORTED (the key only signs)"))
        << log.Text();
  }
}

TEST(KspConcurrency, ThreadsSignAndEnumerateAtOnceOnTheirOwnHandles) {
  BridgeFolder folder("bridge_double");
  BridgeScript script("sign");
  ScopedProvider provider;
  DebugLogCapture log;
  const char* keys[] = {"rsa1024", "rsa2048", "rsa3072", "rsa4096"};
  const size_t expected_keys = EnumerateKeyNames(provider.get()).size();
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      ScopedKey key;
      const InstalledFixture& fixture = Fixtures()[keys[t % 4]];
      if (key.Open(provider.get(), fixture.thumbprint) != ERROR_SUCCESS) {
        ++failures;
        return;
      }
      const DWORD key_bytes = KeyDwordProperty(key.get(), NCRYPT_BLOCK_LENGTH_PROPERTY);
      for (int round = 0; round < 15; ++round) {
        std::vector<BYTE> hash = Hash(32, static_cast<BYTE>(t * 31 + round));
        std::vector<BYTE> signature(key_bytes);
        DWORD size = 0;
        if (Ksp().SignHash(0, key.get(), nullptr, hash.data(), 32, signature.data(), key_bytes,
                           &size, 0) != ERROR_SUCCESS ||
            !VerifiesWith(fixture, hash, signature.data(), key_bytes, false)) {
          ++failures;
        }
        if (t % 2 == 0 && EnumerateKeyNames(provider.get()).size() != expected_keys) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_FALSE(BridgeIsLoaded());

  // Every thread's log lines arrive whole: none lost or written over by another thread.
  int signatures = 0;
  const std::string text = log.Text();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    std::string line = text.substr(start, end - start);
    EXPECT_TRUE(line.size() > 15 && line[0] == '[' && line[13] == ']' && line[14] == ' ') << line;
    if (line.find("] <<< MurakoSignHash: SUCCESS sigSize=") != std::string::npos) ++signatures;
    start = end + 1;
  }
  EXPECT_EQ(signatures, 8 * 15);
}

}  // namespace
