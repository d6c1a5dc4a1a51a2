#include "proxy_walk.h"

#include <utility>

#include "logger.h"
#include "winhttp_error_name.h"

namespace {

constexpr ProxyStrategy kProxyStrategies[] = {
    {ProxyAccessType::Automatic, "AUTOMATIC_PROXY", "AUTOMATIC_PROXY"},
    {ProxyAccessType::Default, "DEFAULT_PROXY", "DEFAULT_PROXY"},
    {ProxyAccessType::None, "NO_PROXY (direct)", "NO_PROXY"},
};
constexpr size_t kStrategyCount = sizeof(kProxyStrategies) / sizeof(kProxyStrategies[0]);

bool EndsTheWalk(const std::optional<uint32_t>& error) {
  return error && !IsRetryableWinHttpError(*error);
}

void LogNonRetryable(const ProxyWalkLines& lines, const ProxyStrategy& strategy, uint32_t error) {
  LogError(lines.verb + " failed with non-retryable error: " + WinHttpErrorName(error));
  if (strategy.access_type == ProxyAccessType::Default) LogError(DefaultProxyEndedLine(error));
}

}  // namespace

ProxyWalkResult WalkProxyStrategies(
    const std::function<ProxyAttemptOutcome(const ProxyStrategy&)>& attempt,
    const ProxyWalkLines& lines) {
  for (size_t step = 0; step < kStrategyCount; ++step) {
    const ProxyStrategy& strategy = kProxyStrategies[step];
    ProxyAttemptOutcome outcome = attempt(strategy);
    if (outcome.body) {
      LogInfo(lines.succeeded(strategy));
      return {std::move(outcome.body), false};
    }
    const bool last = step + 1 == kStrategyCount;
    if (last && !lines.last_failure_judged) break;
    if (EndsTheWalk(outcome.last_error)) {
      LogNonRetryable(lines, strategy, *outcome.last_error);
      return {};
    }
    if (last) break;
    const uint32_t error = outcome.last_error.value_or(0);
    LogWarning(lines.retrying(strategy, kProxyStrategies[step + 1], error));
  }
  LogError("All HTTP " + lines.verb + " strategies failed for " + lines.target +
           " - possible network/DNS issue (VPN disconnect, corporate proxy change)");
  return {std::nullopt, true};
}
