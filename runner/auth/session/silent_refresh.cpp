#include "silent_refresh.h"

#include <chrono>
#include <utility>

#include "guarded_entry.h"
#include "logger.h"
#include "oauth_manager.h"
#include "secure_storage.h"
#include "service_endpoints.h"
#include "winhttp_settings.h"

namespace {

constexpr char kRefreshMarker[] = "\xF0\x9F\x94\x84";  // U+1F504
constexpr char kCheckMarker[] = "\xE2\x9C\x85";        // U+2705
constexpr char kSessionMayHaveExpired[] = "Silent refresh failed. Session may have expired.";
constexpr int kProxyStrategies = 3;
constexpr int64_t kNavigationAllowanceMs = 30000;

int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

SilentRefreshResult Answer(bool success, const char* message, std::string new_token = {}) {
  SilentRefreshResult result;
  result.success = success;
  result.message = message;
  result.newToken = std::move(new_token);
  return result;
}

SilentRefreshResult Failed(const char* message) { return Answer(false, message); }

}  // namespace

TokenRefresher TokenRefresherOf(std::shared_ptr<const OAuthManager> manager) {
  return [manager](const std::string& refresh_token, UserType type) {
    return manager ? manager->RefreshAccessToken(refresh_token, OAuthUserTypeNumber(type))
                   : std::optional<murako::OAuthToken>();
  };
}

int64_t SilentRefreshStaleAfterMs() {
  const int64_t one_attempt =
      kResolveTimeoutMs + kConnectTimeoutMs + kSendTimeoutMs + kReceiveTimeoutMs;
  return kProxyStrategies * one_attempt + kNavigationAllowanceMs;
}

SilentRefresh::SilentRefresh(std::function<void()> session_expired, SilentRefreshSeams seams)
    : session_expired_(std::move(session_expired)), seams_(std::move(seams)) {
  if (!seams_.token_clock) seams_.token_clock = CurrentTokenTime;
  if (!seams_.elapsed_ms) seams_.elapsed_ms = SteadyMilliseconds;
  if (!seams_.store_token) seams_.store_token = SecureStorage::StoreToken;
}

std::optional<SilentRefreshResult> SilentRefresh::CheckCanStart(bool interactive_pending) {
  LogInfo(std::string(kRefreshMarker) + " [POC] Refreshing token silently with OAuth flow...");
  if (in_progress_ && StartedTooLongAgo()) {
    LogWarning("Previous silent refresh never completed - flag reset after " +
               std::to_string(SilentRefreshStaleAfterMs() / 1000) + "s");
    in_progress_ = false;
  }
  if (!in_progress_ && !interactive_pending) return std::nullopt;
  LogWarning("OAuth flow already in progress - rejecting concurrent request");
  return Failed("Token refresh already in progress. Please wait.");
}

SilentRefreshResult SilentRefresh::WebViewUnavailable() {
  LogError("OAuth WebView not available - user must login first");
  return Failed("WebView not available. Please login first.");
}

SilentRenewal SilentRefresh::MarkStarted(TokenRefresher refresh, std::optional<UserType> type) {
  in_progress_ = true;
  started_at_ms_ = seams_.elapsed_ms();
  last_renewal_type_ = type;
  LogInfo("OAuth flow started - flag set to prevent concurrency");
  return SilentRenewal{++last_renewal_, std::move(refresh)};
}

// Renewals before the latest one have been answered already: only the latest is still to come.
void SilentRefresh::Disarm(std::optional<UserType> type) {
  if (type && last_renewal_type_ && *type != *last_renewal_type_) return;
  disarmed_through_ = last_renewal_;
  in_progress_ = false;
}

bool SilentRefresh::IsInProgress() const { return in_progress_ && !StartedTooLongAgo(); }

bool SilentRefresh::StartedTooLongAgo() const {
  return seams_.elapsed_ms() - started_at_ms_ >= SilentRefreshStaleAfterMs();
}

SilentRefreshResult SilentRefresh::OnSilentRefreshTokenReceived(
    const SilentRenewal& renewal, UserType type, const std::optional<murako::OAuthToken>& token) {
  return GuardEntry("Silent refresh failed: ", Failed(kSessionMayHaveExpired), [&] {
    if (renewal.id <= disarmed_through_) {
      LogWarning("Silent refresh ended by a sign-out - nothing renewed or stored");
      return Failed(kSessionMayHaveExpired);
    }
    EndRenewal(renewal);
    return Continue(renewal, type, token);
  });
}

// Only the latest renewal clears the guard: an abandoned one that continues late leaves the
// guard of the renewal that replaced it in place.
void SilentRefresh::EndRenewal(const SilentRenewal& renewal) {
  if (renewal.id != last_renewal_) {
    LogWarning("Late completion of an abandoned silent refresh - the newer one stays in progress");
    return;
  }
  in_progress_ = false;
  LogInfo("OAuth flow completed - flag reset");
}

SilentRefreshResult SilentRefresh::Continue(const SilentRenewal& renewal, UserType type,
                                            const std::optional<murako::OAuthToken>& token) {
  if (token) {
    LogInfo(std::string(kCheckMarker) + " Silent OAuth refresh successful!");
    SilentRefreshResult result = StoreRenewedToken(type, *token);
    LogInfo("DEBUG: WebView kept VISIBLE after token renewal");
    return result;
  }
  LogError("Silent OAuth refresh via WebView failed - no token received");
  std::optional<SilentRefreshResult> fallback = TryRefreshTokenFallback(renewal.refresh, type);
  if (fallback) return *fallback;
  return SessionExpired();
}

SilentRefreshResult SilentRefresh::StoreRenewedToken(UserType type,
                                                     const murako::OAuthToken& token) {
  if (StoreTokens(type, token, true) == Stored::kWithdrawn) return SessionExpired();
  return Answer(true, "Token refreshed successfully", token.access_token);
}

// Stores the renewed access token, a new refresh token and, once the access token is stored,
// its expiry and environment: a new expiry next to the old access token would make a stale
// token look valid. Tokens whose environment cannot be recorded are withdrawn. `narrate`
// writes the step lines and the success notice of a renewal through the browser; failures are
// logged either way.
SilentRefresh::Stored SilentRefresh::StoreTokens(UserType type, const murako::OAuthToken& token,
                                                 bool narrate) {
  const LinkingStorageKeys keys = LinkingStorageKeysFor(type);
  if (narrate) LogInfo("Storing refreshed access token in Credential Manager...");
  const bool access_stored = seams_.store_token(keys.access_token, token.access_token);
  if (!access_stored) {
    LogError("Failed to store refreshed access token");
    LogOAuthNotice("Error guardando token renovado", false);
  } else if (narrate) {
    LogInfo("Refreshed access token stored successfully");
    LogOAuthNotice("Token renovado (" + UserTypeWord(type) + ")", true);
  }
  if (!token.refresh_token.empty()) {
    if (narrate) LogInfo("Storing refreshed refresh token in Credential Manager...");
    if (!seams_.store_token(keys.refresh_token, token.refresh_token)) {
      LogError("Failed to store refreshed refresh token");
    } else if (narrate) {
      LogInfo("Refreshed refresh token stored successfully");
    }
  }
  if (!access_stored) return Stored::kNoAccessToken;
  StoreExpiry(type, token.expires_in);
  return RecordTokenEnvironment(type, seams_.store_token) ? Stored::kTokens : Stored::kWithdrawn;
}

std::optional<SilentRefreshResult> SilentRefresh::TryRefreshTokenFallback(
    const TokenRefresher& refresh, UserType type) {
  const std::optional<std::string> refresh_token =
      SecureStorage::GetToken(LinkingStorageKeysFor(type).refresh_token);
  if (!refresh_token || refresh_token->empty()) {
    LogWarning("No stored refresh_token available for fallback");
    return std::nullopt;
  }
  if (!TokensBelongToStoredEnvironment(type)) return std::nullopt;
  LogInfo("Attempting HTTP-based refresh_token fallback...");
  // A grant that throws is a failed fallback: the session-expired path still runs.
  const std::optional<murako::OAuthToken> token = GuardEntry(
      "Token refresh failed: ", std::nullopt, [&]() -> std::optional<murako::OAuthToken> {
        if (!refresh) return std::nullopt;
        return refresh(*refresh_token, type);
      });
  if (!token || token->access_token.empty()) {
    LogError("HTTP-based refresh_token fallback also failed");
    return std::nullopt;
  }
  LogInfo("HTTP-based refresh_token fallback SUCCEEDED!");
  const Stored stored = StoreTokens(type, *token, false);
  if (stored == Stored::kWithdrawn) return SessionExpired();
  if (stored == Stored::kTokens) {
    LogOAuthNotice("Token renovado via refresh_token (" + UserTypeWord(type) + ")", true);
  }
  return Answer(true, "Token refreshed via refresh_token fallback", token->access_token);
}

void SilentRefresh::StoreExpiry(UserType type, int32_t expires_in) {
  const int64_t expiry = TokenExpirySeconds(seams_.token_clock(), expires_in);
  seams_.store_token(LinkingStorageKeysFor(type).token_expiry, std::to_string(expiry));
  LogInfo("Token expiry updated (expires in " + std::to_string(expires_in) + " seconds)");
}

SilentRefreshResult SilentRefresh::SessionExpired() {
  GuardEntry(
      [&] {
        if (session_expired_) session_expired_();
      },
      [](const CaughtFailure&) { LogError("Session-expired notice failed"); });
  return Failed(kSessionMayHaveExpired);
}
