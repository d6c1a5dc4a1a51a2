// Addresses the sign-in window meets: the authorization code read from a redirect is the one
// the log line masks, and the masked line never shows it.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_check.h"
#include "sign_in_urls.h"

namespace {

void CheckCode(const std::string& uri) {
  const std::string code = ExtractAuthorizationCode(uri);
  const std::string logged = RedactAuthorizationCode(uri);
  if (code.empty()) {
    FUZZ_CHECK(logged == uri);
    return;
  }
  FUZZ_CHECK(code.find('&') == std::string::npos);
  FUZZ_CHECK(logged.find("code=[REDACTED]") != std::string::npos);
  // A code that occurs once in the address and is longer than the mask, without brackets
  // (so no occurrence can straddle the mask), is nowhere in the logged line.
  const bool unique = uri.find(code) == uri.rfind(code);
  if (unique && code.size() > 10 && code.find_first_of("[]") == std::string::npos) {
    FUZZ_CHECK(logged.find(code) == std::string::npos);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string redirect = input.ConsumeRandomLengthString(64);
  const int64_t milliseconds = input.ConsumeIntegral<int64_t>();
  const std::string uri = input.ConsumeRemainingBytesAsString();
  FUZZ_CHECK(IsOAuthRedirect(uri, redirect) ==
             (!redirect.empty() && uri.compare(0, redirect.size(), redirect) == 0));
  FUZZ_CHECK(IsOAuthRedirect(redirect + uri, redirect) == !redirect.empty());
  CheckCode(uri);
  FUZZ_CHECK(WithCacheBuster(uri, milliseconds) == uri + "&_t=" + std::to_string(milliseconds));
  FUZZ_CHECK(!SignInWindowTitle(uri).empty());
  return 0;
}
