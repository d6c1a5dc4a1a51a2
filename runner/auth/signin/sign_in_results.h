#pragma once

#include <optional>
#include <string>
#include <vector>

#include "linking_texts.h"
#include "auth_vocabulary.h"
#include "silent_refresh.h"

// How the sign-in flows hand their outcomes to whoever asked for them. The application answers
// its method-channel calls by implementing SignInReply<T> for each kind of outcome; the flows
// never see the channels. Every reply is given on the main thread, at most once: Success or
// Error. A reply destroyed without either was released unanswered.

// One cookie of the sign-in browser's profile. A property the browser did not give (a failed
// read, or a string that came back null) is absent.
struct BrowserCookie {
  std::optional<std::string> name;
  std::optional<std::string> value;
  std::optional<std::string> domain;
  std::optional<std::string> path;
  std::optional<double> expiresAt;  // seconds since 1970 as the browser reports it; -1: session
  std::optional<bool> secure;
  std::optional<bool> httpOnly;
};

// The answer of a cookie listing: "count", "cookies" (one map per cookie) and "message".
struct CookieListing {
  int count = 0;
  std::vector<BrowserCookie> cookies;
  std::string message;
};

// Error codes a flow may answer through the error path.
constexpr char kOAuthFailedCode[] = "OAUTH_FAILED";
constexpr char kOAuthFailedMessage[] = "Failed to complete OAuth flow";
constexpr char kInterfaceErrorCode[] = "INTERFACE_ERROR";
constexpr char kInterfaceErrorMessage[] = "Failed to get WebView2_2 interface";
constexpr char kCookieManagerErrorCode[] = "COOKIE_MANAGER_ERROR";
constexpr char kCookieManagerErrorMessage[] = "Failed to get Cookie Manager";
constexpr char kGetCookiesFailedCode[] = "GET_COOKIES_FAILED";
constexpr char kGetCookiesFailedMessage[] = "Failed to retrieve cookies";

template <typename Value>
class SignInReply {
 public:
  virtual ~SignInReply() = default;
  virtual void Success(const Value& value) = 0;
  virtual void Error(const std::string& code, const std::string& message) = 0;
};

// "vincularCertificadoCiudadano" / "vincularCertificadoProfesional": always Success, with the
// map "success", "installed", "message" and, when something was installed, "userInfo".
using LinkingReply = SignInReply<AccountLinkingResult>;
// "startOAuth": Success with the map "access_token", "refresh_token", "token_type",
// "expires_in"; Error OAUTH_FAILED when no token came back.
using StartOAuthReply = SignInReply<murako::OAuthToken>;
// "refreshTokenWithCookies": always Success, with the map "success", "message", "newToken".
using SilentRefreshReply = SignInReply<SilentRefreshResult>;
// "getCookiesInfo": Success with "count", "cookies", "message"; Error with the codes above.
using CookiesReply = SignInReply<CookieListing>;
