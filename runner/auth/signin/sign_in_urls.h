#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What the sign-in window reads from the addresses its browser navigates to.

// The parts of an address that decide where it leads. The scheme and the authority are lower
// case; the path runs to "?" or "#" (empty for "scheme://host"); query and fragment are
// without their marks.
struct AddressParts {
  std::string scheme;
  std::string authority;
  std::string path;
  std::string query;
  std::string fragment;
};

// "scheme://authority/path?query#fragment"; nothing for text without a scheme and "//".
std::optional<AddressParts> ReadAddress(const std::string& address);

// A redirect URI a flow can recognise: "scheme://authority[/path]" without query or fragment.
bool IsUsableRedirectUri(const std::string& redirect_uri);

// True when `uri` leads to the redirect URI: equal scheme, authority and path ("" and "/"
// alike), whatever the query. A prefix, or the redirect URI inside another address, is not.
bool IsOAuthRedirect(const std::string& uri, const std::string& redirect_uri);

// The redirect's query parameters that end a flow, percent-decoded; the first of each.
struct RedirectParameters {
  std::optional<std::string> code;
  std::optional<std::string> state;
  std::optional<std::string> error;
};
RedirectParameters ReadRedirectParameters(const std::string& uri);

enum class RedirectOutcome {
  kCode,           // a code for this flow
  kError,          // the server ended the flow with "error"
  kNoCode,         // neither a code nor an error
  kStateMismatch,  // "state" missing or not the flow's: not this flow's redirect
};
// What a redirect means to the flow that sent `expected_state` (an empty expected state
// accepts any). The state is checked first: an error for another flow is no answer either.
RedirectOutcome JudgeRedirect(const RedirectParameters& redirect,
                              const std::string& expected_state);

enum class NavigationVerdict {
  kAllow,     // https
  kRedirect,  // the redirect URI: cancelled, then read
  kRefuse,    // any other scheme: cancelled (never fetched, never handed to the system)
};
NavigationVerdict JudgeNavigation(const std::string& uri, const std::string& redirect_uri);
// A frame's: https, or one of the documents the browser makes itself ("about:blank",
// "about:srcdoc"), which sign-in pages script; never the flow's redirect URI, whatever its
// scheme (kRefuse for it).
NavigationVerdict JudgeFrameNavigation(const std::string& uri, const std::string& redirect_uri);

// The authorization URL with "&_t=" + milliseconds, so a renewal is never served from a cache.
std::string WithCacheBuster(const std::string& authorization_url, int64_t unix_milliseconds);

// "Sendaroa - Autentifikazioa" for locale "eu" (exactly), "Sendaro - Autenticación" otherwise.
std::wstring SignInWindowTitle(const std::string& locale);
