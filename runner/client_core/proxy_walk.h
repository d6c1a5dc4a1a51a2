#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "https_exchange.h"

// The WinHTTP access strategies a request to the service tries in turn (automatic proxy
// detection, the default proxy, no proxy), and the walk over them that the REST client and
// the sign-in's form POST share. Only network-path failures (IsRetryableWinHttpError) move a
// request on to the next strategy; any other failure ends it.

struct ProxyStrategy {
  ProxyAccessType access_type;
  const char* name;        // the attempt's strategy name: "NO_PROXY (direct)" for the last
  const char* short_name;  // "NO_PROXY" for the last
};

// What one attempt gave: the body, or the WinHTTP error of its failure. A failure without an
// error moves on like a network-path failure.
struct ProxyAttemptOutcome {
  std::optional<std::string> body;
  std::optional<uint32_t> last_error;
};

// The lines a transport writes around the walk's own ones. The walk writes "<verb> failed with
// non-retryable error: <error name>" (followed by DefaultProxyEndedLine when the default proxy
// ended it) and "All HTTP <verb> strategies failed for <target> - possible network/DNS issue
// (VPN disconnect, corporate proxy change)".
struct ProxyWalkLines {
  std::string verb;
  std::string target;
  // The Info line of the strategy that got a body.
  std::function<std::string(const ProxyStrategy& used)> succeeded;
  // The Warning line before the next strategy is tried.
  std::function<std::string(const ProxyStrategy& failed, const ProxyStrategy& next,
                            uint32_t error)>
      retrying;
  // Whether a non-retryable failure of the last strategy ends with the non-retryable line
  // instead of the all-failed line.
  bool last_failure_judged = false;
};

struct ProxyWalkResult {
  std::optional<std::string> body;  // the first body an attempt gave
  bool exhausted = false;           // every strategy failed (the all-failed line was written)
};

// Tries each strategy in turn until one gives a body or a failure ends the walk (logged).
ProxyWalkResult WalkProxyStrategies(
    const std::function<ProxyAttemptOutcome(const ProxyStrategy&)>& attempt,
    const ProxyWalkLines& lines);
