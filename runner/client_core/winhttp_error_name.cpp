#include "winhttp_error_name.h"

std::string WinHttpErrorName(uint32_t code) {
  switch (code) {
    case 12001: return "OUT_OF_HANDLES";
    case 12002: return "TIMEOUT";
    case 12004: return "INTERNAL_ERROR";
    case 12005: return "INVALID_URL";
    case 12006: return "UNRECOGNIZED_SCHEME";
    case 12007: return "NAME_NOT_RESOLVED (DNS failure)";
    case 12009: return "INVALID_OPTION";
    case 12029: return "CANNOT_CONNECT";
    case 12030: return "CONNECTION_ERROR";
    case 12031: return "CONNECTION_RESET";
    case 12032: return "FORCE_RETRY";
    // The TLS failures a server or an intercepting proxy causes, by their WinHTTP names.
    case 12037: return "SECURE_CERT_DATE_INVALID";
    case 12038: return "SECURE_CERT_CN_INVALID";
    case 12044: return "CLIENT_AUTH_CERT_NEEDED";
    case 12045: return "INVALID_CA";
    case 12157: return "SECURE_CHANNEL_ERROR";
    case 12169: return "SECURE_INVALID_CERT";
    case 12175: return "SECURE_FAILURE";
    case 12179: return "SECURE_CERT_WRONG_USAGE";
    default: return "UNKNOWN(" + std::to_string(code) + ")";
  }
}

std::string DefaultProxyEndedLine(uint32_t code) {
  return "DEFAULT_PROXY ended the request with " + WinHttpErrorName(code) +
         ": the proxy refused the connection or asks for credentials (or TLS through it "
         "failed); no direct connection is tried";
}

bool IsRetryableWinHttpError(uint32_t code) {
  return code == 12007 || code == 12029 || code == 12030 || code == 12031;
}
