// Addresses the sign-in window meets: a redirect is recognised only as the redirect URI, its
// state decides whose answer it is, and the logged address never shows its code.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_check.h"
#include "log_redaction.h"
#include "sign_in_urls.h"

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

// A code written plainly (nothing percent- or plus-encoded), once in the address and longer
// than the mask, is nowhere in the logged address.
void CheckCodeHidden(const std::string& uri, const RedirectParameters& parameters) {
  if (!parameters.code || parameters.code->size() <= 10) return;
  const std::string& code = *parameters.code;
  if (uri.find_first_of("%+") != std::string::npos) return;
  if (code.find_first_of("[]") != std::string::npos) return;
  if (uri.find(code) != uri.rfind(code)) return;
  FUZZ_CHECK(RedactAddressForLog(uri).find(code) == std::string::npos);
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
