// The URL parser: any text gives parts or no result, never a wrong port; an address written
// from parts reads back as those parts.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_check.h"
#include "url_parser.h"

namespace {

// The harness's text conversion widens each byte (support/string_conversion_posix.cpp).
std::wstring Wide(const std::string& text) {
  std::wstring wide;
  for (char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

void CheckAnyText(const std::string& url) {
  const std::optional<UrlParts> parts = ParseUrl(url);
  if (url.size() < 3 || url.find("://") == std::string::npos) {
    FUZZ_CHECK(parts && parts->host == Wide(url) && parts->port == 443 && parts->path == L"/");
    return;
  }
  if (parts) FUZZ_CHECK(!parts->path.empty() && parts->path[0] == L'/');
}

void CheckWrittenAddress(FuzzedDataProvider& input) {
  const std::string scheme = input.ConsumeBool() ? "https" : input.ConsumeRandomLengthString(8);
  std::string host = input.ConsumeRandomLengthString(40);
  host = host.substr(0, host.find_first_of(":/"));
  const bool explicit_port = input.ConsumeBool();
  const uint16_t port = input.ConsumeIntegral<uint16_t>();
  std::string path = input.ConsumeRandomLengthString(80);
  if (scheme.find("://") != std::string::npos) return;
  if (!path.empty()) path = "/" + path;
  const std::string url =
      scheme + "://" + host + (explicit_port ? ":" + std::to_string(port) : "") + path;
  const std::optional<UrlParts> parts = ParseUrl(url);
  FUZZ_CHECK(parts.has_value());
  FUZZ_CHECK(parts->host == Wide(host));
  FUZZ_CHECK(parts->port == (explicit_port ? port : scheme == "https" ? 443 : 80));
  FUZZ_CHECK(parts->path == (path.empty() ? L"/" : Wide(path)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckAnyText(std::string(reinterpret_cast<const char*>(data), size));
  FuzzedDataProvider input(data, size);
  CheckWrittenAddress(input);
  return 0;
}
