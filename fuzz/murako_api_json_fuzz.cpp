// REST answers of the signing service: any body is read or refused with a JSON exception, a
// signature request reads back as the request it was built from.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_check.h"
#include "murako_api_json.h"
#include "untrusted_json.h"

namespace {

// Only the JSON library's exceptions and the nesting limit's may leave the parsers.
template <typename Parse>
void CheckParser(Parse parse, const std::string& body) {
  try {
    parse(body);
  } catch (const nlohmann::json::exception&) {
  } catch (const JsonNestingError&) {
  }
}

bool IsUtf8(const std::string& text) {
  try {
    (void)nlohmann::json(text).dump();
    return true;
  } catch (const nlohmann::json::type_error&) {
    return false;
  }
}

void CheckSignatureRequest(FuzzedDataProvider& input) {
  SignatureRequest request;
  request.sign_identity_id = input.ConsumeRandomLengthString(64);
  request.digest_value = input.ConsumeRandomLengthString(128);
  request.data = input.ConsumeRandomLengthString(128);
  request.signature_algorithm = input.ConsumeRandomLengthString(32);
  // Only one of "data" and "digest_value" is written.
  const bool utf8 = IsUtf8(request.sign_identity_id) && IsUtf8(request.signature_algorithm) &&
                    IsUtf8(request.data.empty() ? request.digest_value : request.data);
  std::string body;
  try {
    body = BuildSignatureRequestJson(request);
  } catch (const nlohmann::json::type_error&) {
    FUZZ_CHECK(!utf8);
    return;
  }
  FUZZ_CHECK(utf8);
  const nlohmann::json read = nlohmann::json::parse(body);
  FUZZ_CHECK(read.size() == 3);
  FUZZ_CHECK(read.at("sign_identity_id") == request.sign_identity_id);
  FUZZ_CHECK(read.at("signature_algorithm") == request.signature_algorithm);
  if (request.data.empty()) {
    FUZZ_CHECK(read.at("digest_value") == request.digest_value && !read.contains("data"));
  } else {
    FUZZ_CHECK(read.at("data") == request.data && !read.contains("digest_value"));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  CheckParser(ParseUserInfoJson, body);
  CheckParser(ParseIdentityDetailsJson, body);
  FuzzedDataProvider input(data, size);
  CheckSignatureRequest(input);
  return 0;
}
