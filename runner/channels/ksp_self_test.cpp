#include "ksp_self_test.h"

#include <string>
#include <vector>

#include "channel_values.h"
#include "diagnostics_text.h"
#include "logger.h"
#include "string_conversion.h"
#include "text_encoding.h"
#include "provider_name.h"
#include "unique_handle.h"

using flutter::EncodableValue;

namespace {

constexpr char kSeparator[] = "========================================";

struct SelfTest {
  std::vector<std::string> logs;
  std::vector<std::string> certificates;
  bool failed = false;
  int key_length = -1;

  void Fail(const std::string& line) {
    logs.push_back(line);
    failed = true;
  }
};

void EnumerateKeys(const NCryptObject& provider, SelfTest& test) {
  test.logs.push_back("[2/5] Enumerating certificates...");
  UniqueNCryptBuffer<void> state;
  for (;;) {
    UniqueNCryptBuffer<NCryptKeyName> name;
    PVOID next = state.release();  // handed back: the enumeration goes on
    const SECURITY_STATUS status = NCryptEnumKeys(provider.get(), nullptr, name.put(), &next, 0);
    state.reset(next);
    if (status == NTE_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || !name) {
      test.Fail("  ❌ NCryptEnumKeys failed: " + StatusHex(status));
      break;
    }
    const std::string key =
        WideToUtf8(name.get()->pszName != nullptr ? name.get()->pszName : L"");
    test.certificates.push_back(key);
    test.logs.push_back("  - Certificate " + std::to_string(test.certificates.size()) + ": " + key);
  }
}

void ReadKeyLength(const NCryptObject& key, SelfTest& test) {
  test.logs.push_back("[4/5] Getting key properties...");
  DWORD size = 0;
  if (NCryptGetProperty(key.get(), NCRYPT_LENGTH_PROPERTY, nullptr, 0, &size, 0) != ERROR_SUCCESS ||
      size < sizeof(DWORD)) {
    return;
  }
  std::vector<BYTE> value(size);
  DWORD written = 0;
  if (NCryptGetProperty(key.get(), NCRYPT_LENGTH_PROPERTY, value.data(), size, &written, 0) !=
          ERROR_SUCCESS ||
      written < sizeof(DWORD)) {
    return;
  }
  const DWORD bits =
      value[0] | (value[1] << 8) | (value[2] << 16) | (static_cast<DWORD>(value[3]) << 24);
  test.key_length = static_cast<int>(bits);
  test.logs.push_back("  ✅ Key Length: " + std::to_string(bits) + " bits");
}

void SignDummyHash(const NCryptObject& key, SelfTest& test) {
  test.logs.push_back("[5/5] Testing signature generation...");
  std::vector<uint8_t> hash = DummyHash();
  DWORD size = 0;
  SECURITY_STATUS status = NCryptSignHash(key.get(), nullptr, hash.data(),
                                          static_cast<DWORD>(hash.size()), nullptr, 0, &size, 0);
  if (status != ERROR_SUCCESS) {
    test.Fail("  ❌ Failed to get signature size: " + StatusHex(status));
    return;
  }
  std::vector<uint8_t> signature(size);
  status = NCryptSignHash(key.get(), nullptr, hash.data(), static_cast<DWORD>(hash.size()),
                          signature.data(), size, &size, 0);
  if (status != ERROR_SUCCESS) {
    test.Fail("  ❌ Failed to sign hash: " + StatusHex(status));
    return;
  }
  signature.resize(size);
  test.logs.push_back("  ✅ Signature generated: " + std::to_string(size) + " bytes");
  test.logs.push_back("    First 16 bytes: " + UpperHexPreview(signature, 16));
}

void TestFirstKey(const NCryptObject& provider, SelfTest& test) {
  test.logs.push_back("[3/5] Opening first certificate...");
  NCryptObject key;
  const std::wstring name = Utf8ToWide(test.certificates.front());
  const SECURITY_STATUS status = NCryptOpenKey(provider.get(), key.put(), name.c_str(), 0, 0);
  if (status != ERROR_SUCCESS) {
    test.Fail("  ❌ Failed to open key: " + StatusHex(status));
    return;
  }
  test.logs.push_back("  ✅ Key opened successfully");
  ReadKeyLength(key, test);
  SignDummyHash(key, test);
}

EncodableValue Answer(const SelfTest& test) {
  EncodableValue answer =
      MapOf({{"success", Flag(!test.failed)},
             {"certificateCount", EncodableValue(static_cast<int32_t>(test.certificates.size()))},
             {"logs", TextList(test.logs)}});
  if (!test.certificates.empty()) Put(answer, "certificates", TextList(test.certificates));
  if (test.key_length >= 0) Put(answer, "keyLength", EncodableValue(test.key_length));
  return answer;
}

}  // namespace

EncodableValue RunKspSelfTest() {
  LogInfo(kSeparator);
  LogInfo("Testing Murako KSP with Dummy Data");
  LogInfo(kSeparator);
  SelfTest test;
  test.logs.push_back("[1/5] Opening Provider 'Murako KSP'...");
  NCryptObject provider;
  const SECURITY_STATUS status = NCryptOpenStorageProvider(provider.put(), kMurakoProviderName, 0);
  if (status != ERROR_SUCCESS) {
    test.logs.push_back("  ❌ Failed to open provider: " + StatusHex(status));
    LogError("NCryptOpenStorageProvider failed: " + StatusHex(status));
    return MapOf({{"success", Flag(false)},
                  {"error", Text("Failed to open KSP provider")},
                  {"logs", TextList(test.logs)}});
  }
  test.logs.push_back("  ✅ Provider opened successfully");
  LogInfo("Provider opened: " + std::to_string(provider.get()));

  EnumerateKeys(provider, test);
  if (test.certificates.empty()) {
    test.Fail("  ❌ No certificates found");
  } else {
    test.logs.push_back("  ✅ Found " + std::to_string(test.certificates.size()) + " certificates");
    TestFirstKey(provider, test);
  }
  provider.reset();
  test.logs.insert(test.logs.end(),
                   {"", kSeparator,
                    test.failed ? "⚠️ SOME TESTS FAILED" : "✅ ALL TESTS PASSED!", kSeparator});
  LogInfo(std::string("KSP Test completed. Success: ") + (test.failed ? "false" : "true"));
  return Answer(test);
}
