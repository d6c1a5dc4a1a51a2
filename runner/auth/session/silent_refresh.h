#pragma once

#include <cstdint>
#include <functional>
#include <memory>
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

// The refresh-token grant of one user type.
using TokenRefresher = std::function<std::optional<murako::OAuthToken>(
    const std::string& refresh_token, UserType type)>;

// The grant through `manager`, which the refresher keeps alive.
TokenRefresher TokenRefresherOf(std::shared_ptr<const OAuthManager> manager);

// One started renewal: which one it is, and the refresh-token grant of the OAuth manager it
// started with (the fallback uses that one even if the manager was replaced meanwhile).
struct SilentRenewal {
  uint64_t id = 0;
  TokenRefresher refresh;
};

struct SilentRefreshSeams {
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
// new ones after SilentRefreshStaleAfterMs(); if it still continues later, it does not clear
// the guard of the renewal that replaced it. Runs on the main thread; never throws.
class SilentRefresh {
 public:
  // `session_expired` shows the session-expired notice.
  explicit SilentRefresh(std::function<void()> session_expired, SilentRefreshSeams seams = {});

  // Logs the start of a renewal request. The "already in progress" answer when a renewal is
  // pending or an interactive sign-in is (`interactive_pending`: its visible window is left
  // alone); nothing when a new one may start.
  std::optional<SilentRefreshResult> CheckCanStart(bool interactive_pending = false);
  // The answer when there is no sign-in browser to renew through.
  static SilentRefreshResult WebViewUnavailable();
  // Marks a renewal of `type` started, just before the browser navigates; `refresh` is its
  // fallback.
  SilentRenewal MarkStarted(TokenRefresher refresh, std::optional<UserType> type = std::nullopt);
  bool IsInProgress() const;
  // Sign-out of `type` (none: of both accounts): every renewal started so far is disarmed,
  // unless the latest is the other account's, which goes on. A disarmed renewal's
  // continuation, when it comes, answers the failure and makes no request, no grant and no
  // store; the guard is cleared.
  void Disarm(std::optional<UserType> type = std::nullopt);

  // The continuation for the account `type`; an empty token is a renewal through the browser
  // that failed.
  SilentRefreshResult OnSilentRefreshTokenReceived(const SilentRenewal& renewal, UserType type,
                                                   const std::optional<murako::OAuthToken>& token);

 private:
  bool StartedTooLongAgo() const;
  void EndRenewal(const SilentRenewal& renewal);
  SilentRefreshResult Continue(const SilentRenewal& renewal, UserType type,
                               const std::optional<murako::OAuthToken>& token);
  SilentRefreshResult StoreRenewedToken(UserType type, const murako::OAuthToken& token);
  std::optional<SilentRefreshResult> TryRefreshTokenFallback(const TokenRefresher& refresh,
                                                             UserType type);
  enum class Stored { kTokens, kNoAccessToken, kWithdrawn };
  Stored StoreTokens(UserType type, const murako::OAuthToken& token, bool narrate);
  void StoreExpiry(UserType type, int32_t expires_in);
  SilentRefreshResult SessionExpired();

  std::function<void()> session_expired_;
  SilentRefreshSeams seams_;
  bool in_progress_ = false;
  uint64_t last_renewal_ = 0;
  std::optional<UserType> last_renewal_type_;
  uint64_t disarmed_through_ = 0;  // renewals up to this one were disarmed by a sign-out
  int64_t started_at_ms_ = 0;
};
