#pragma once

#include <string>
#include <vector>

#include "web_address.h"

// One HTTP(S) exchange of the stand-in browser over WinHTTP, redirects and cookies left to the
// browser. When SENDARO_WEBVIEW_TRUSTED_CA names a certificate file (PEM or DER), a server
// certificate issued by it is accepted whatever its host names and trust anchors; a server
// certificate from anyone else is then refused. Without it, WinHTTP's own checks apply.
struct PageRequest {
  WebAddress address;
  std::string method = "GET";
  std::string body;
  std::string content_type;
  std::string cookie_header;
};

struct PageResponse {
  bool received = false;
  int web_error_status = 0;   // COREWEBVIEW2_WEB_ERROR_STATUS when not received
  unsigned long error = 0;    // the WinHTTP error behind it
  unsigned status = 0;
  std::string location;
  std::string www_authenticate;  // the first challenge of a 401
  std::vector<std::string> set_cookies;
  bool attachment = false;  // Content-Disposition: attachment, a download
  std::string body;

  bool IsRedirect() const { return status >= 300 && status < 400 && !location.empty(); }
};

// Blocking; meant for a worker thread.
PageResponse FetchPage(const PageRequest& request);
