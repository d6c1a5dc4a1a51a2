#pragma once

#include <cstdint>
#include <string>

// The names every WinHTTP user of the system writes into its log lines for an error code.
std::string WinHttpErrorName(uint32_t code);

// Network-path failures (name resolution, connection) that move a request on to the next
// proxy strategy; every other code ends the request.
bool IsRetryableWinHttpError(uint32_t code);

// The line a request logs when the default proxy's attempt ends it: a proxy that refuses the
// tunnel (403) or asks for credentials (407) is answered at once, never by going round it.
std::string DefaultProxyEndedLine(uint32_t code);
