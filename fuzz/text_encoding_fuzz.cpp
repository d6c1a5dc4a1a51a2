// Base64 and hex: every byte string round-trips, and a text that decodes is exactly the text
// the encoder writes for its bytes (one spelling per value: the decoders are strict).
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>

#include "fuzz_check.h"
#include "text_encoding.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

void CheckBytes(const std::vector<uint8_t>& bytes) {
  const std::string base64 = EncodeBase64(bytes);
  FUZZ_CHECK(base64.size() == (bytes.size() + 2) / 3 * 4);
  FUZZ_CHECK(DecodeBase64(base64) == bytes);

  const std::string upper = ToUpperHex(bytes);
  const std::string lower = ToLowerHex(bytes);
  FUZZ_CHECK(upper.size() == 2 * bytes.size() && Lower(upper) == lower);
  if (!bytes.empty()) FUZZ_CHECK(ParseHexBytes(upper) == bytes && ParseHexBytes(lower) == bytes);
  FUZZ_CHECK(ToUpperHex(bytes, ":").size() == 3 * bytes.size());
  const size_t count = bytes.empty() ? 0 : bytes[0] % 40;
  FUZZ_CHECK(UpperHexPreview(bytes, count).size() == 3 * std::min(count, bytes.size()) + 3);
}

void CheckText(const std::string& text) {
  if (const auto bytes = DecodeBase64(text)) FUZZ_CHECK(EncodeBase64(*bytes) == text);
  if (const auto bytes = ParseHexBytes(text)) FUZZ_CHECK(ToLowerHex(*bytes) == Lower(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckBytes(std::vector<uint8_t>(data, data + size));
  CheckText(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
