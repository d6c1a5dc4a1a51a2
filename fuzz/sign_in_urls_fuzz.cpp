// Addresses the sign-in window meets: a redirect is recognised only as the redirect URI, its
// state decides whose answer it is, and the logged address never shows its code.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_check.h"
#include "log_redaction.h"
#include "sign_in_urls.h"
#include "url_parser.h"

#include <algorithm>

namespace {

void CheckRedirectUri(const std::string& redirect, const std::string& tail) {
  if (!IsUsableRedirectUri(redirect)) return;
  const std::string answer = redirect + "?" + tail;
  FUZZ_CHECK(IsOAuthRedirect(redirect, redirect));
  FUZZ_CHECK(IsOAuthRedirect(answer, redirect));
  FUZZ_CHECK(JudgeNavigation(answer, redirect) == NavigationVerdict::kRedirect);
}

void CheckState(const RedirectParameters& parameters) {
  FUZZ_CHECK(JudgeRedirect(parameters, "") != RedirectOutcome::kStateMismatch);
  if (!parameters.state) return;
  FUZZ_CHECK(JudgeRedirect(parameters, *parameters.state) != RedirectOutcome::kStateMismatch);
  FUZZ_CHECK(JudgeRedirect(parameters, *parameters.state + "x") ==
             RedirectOutcome::kStateMismatch);
}

// Once in the address: otherwise another field may spell the code's text.
bool WrittenOnce(const std::string& address, const std::string& value) {
  return address.find(value) == address.rfind(value);
}

// The field that carries the code the flow reads, under whatever spelling of its name, does not
// show its value in the logged address (when that value is longer than the mask and written
// once in the address as logged).
void CheckCodeHidden(const std::string& uri, const RedirectParameters& parameters) {
  if (!parameters.code || parameters.code->size() <= 10) return;
  const size_t start = uri.find_first_of("?#");
  if (start == std::string::npos) return;
  const std::string redacted = RedactAddressForLog(uri);
  size_t at = start + 1;
  while (at <= uri.size()) {
    const size_t end = std::min(uri.find_first_of("&#", at), uri.size());
    const std::string field = uri.substr(at, end - at);
    const size_t equals = field.find('=');
    if (equals != std::string::npos) {
      const std::string value = field.substr(equals + 1);
      if (PercentDecode(field.substr(0, equals)) == "code" &&
          PercentDecode(value) == *parameters.code && value.size() > 10 &&
          value.find_first_of("[]") == std::string::npos &&
          WrittenOnce(uri, value)) {
        FUZZ_CHECK(redacted.find(value) == std::string::npos);
      }
    }
    at = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string redirect = input.ConsumeRandomLengthString(64);
  const std::string tail = input.ConsumeRandomLengthString(64);
  const int64_t milliseconds = input.ConsumeIntegral<int64_t>();
  const std::string uri = input.ConsumeRemainingBytesAsString();
  if (IsOAuthRedirect(uri, redirect)) FUZZ_CHECK(ReadAddress(uri).has_value());
  CheckRedirectUri(redirect, tail);
  const RedirectParameters parameters = ReadRedirectParameters(uri);
  CheckState(parameters);
  CheckCodeHidden(uri, parameters);
  FUZZ_CHECK(WithCacheBuster(uri, milliseconds) == uri + "&_t=" + std::to_string(milliseconds));
  FUZZ_CHECK(!SignInWindowTitle(uri).empty());
  return 0;
}
