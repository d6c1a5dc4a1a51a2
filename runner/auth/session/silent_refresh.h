#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "auth_vocabulary.h"

class OAuthManager;

// The answer of a silent renewal; the channel layer turns it into "success", "message" and
// "newToken".
struct SilentRefreshResult {
  bool success = false;
  std::string message;
  std::string newToken;  // empty on failure
};

// The refresh-token grant: (refresh token, user type 0 citizen / 1 professional).
using TokenRefresher =
    std::function<std::optional<murako::OAuthToken>(const std::string& refresh_token, int user_type)>;

TokenRefresher TokenRefresherOf(const OAuthManager& manager);

struct SilentRefreshSeams {
  TokenRefresher refresh;                 // empty: no fallback can succeed
  std::function<void()> session_expired;  // shows the session-expired notice
  std::function<int64_t()> token_clock;   // 100-nanosecond units since 1970; empty: system clock
  std::function<int64_t()> elapsed_ms;    // a monotonic millisecond clock; empty: steady clock
  std::function<bool(const std::string& key, const std::string& value)>
      store_token;                         // empty: SecureStorage::StoreToken
};

// How long a started renewal may stay without its continuation before a new one is allowed:
// the three proxy strategies of the code exchange, each within the WinHTTP time-outs, plus
// time for the hidden browser's navigation.
int64_t SilentRefreshStaleAfterMs();

// One silent renewal at a time. A renewal is started through the hidden sign-in browser; its
// continuation stores the new tokens, or falls back to the stored refresh token, and reports
// an expired session when both fail. A renewal whose continuation never comes stops blocking
// new ones after SilentRefreshStaleAfterMs(). Runs on the main thread; never throws.
class SilentRefresh {
 public:
  explicit SilentRefresh(SilentRefreshSeams seams = {});

  // Logs the start of a renewal request. The "already in progress" answer when a renewal is
  // pending; nothing when a new one may start.
  std::optional<SilentRefreshResult> CheckCanStart();
  // The answer when there is no sign-in browser to renew through.
  static SilentRefreshResult WebViewUnavailable();
  // Marks the renewal started, just before the browser navigates.
  void MarkStarted();
  bool IsInProgress() const;

  // The continuation: `user_type` is "ciudadano" or "profesional"; an empty token is a
  // renewal through the browser that failed.
  SilentRefreshResult OnSilentRefreshTokenReceived(const std::string& user_type,
                                                   const std::optional<murako::OAuthToken>& token);

 private:
  bool StartedTooLongAgo() const;
  SilentRefreshResult Continue(const std::string& user_type,
                               const std::optional<murako::OAuthToken>& token);
  SilentRefreshResult StoreRenewedToken(const std::string& user_type,
                                        const murako::OAuthToken& token);
  std::optional<SilentRefreshResult> TryRefreshTokenFallback(const std::string& user_type);
  bool StoreTokens(const std::string& user_type, const murako::OAuthToken& token, bool narrate);
  void StoreExpiry(const std::string& user_type, int32_t expires_in);
  SilentRefreshResult SessionExpired();

  SilentRefreshSeams seams_;
  bool in_progress_ = false;
  int64_t started_at_ms_ = 0;
};
