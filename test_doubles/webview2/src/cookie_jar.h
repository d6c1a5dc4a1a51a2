#pragma once

#include <string>
#include <vector>

#include "web_address.h"

// A browser profile's cookies: what Set-Cookie answers store, what a request sends back, and
// the text kept in the profile folder. Times are seconds since 1970 (UTC); session cookies
// have expires -1 and are never written to the profile.
struct BrowserCookie {
  std::string name;
  std::string value;
  std::string domain;  // without a leading dot
  std::string path = "/";
  double expires = -1;
  bool secure = false;
  bool http_only = false;
  bool host_only = true;
  int same_site = 0;  // COREWEBVIEW2_COOKIE_SAME_SITE_KIND: none, lax, strict

  bool IsSession() const { return expires < 0; }
  // As the browser reports it: a domain cookie with its leading dot.
  std::string ReportedDomain() const { return host_only ? domain : "." + domain; }
};

class CookieJar {
 public:
  // One Set-Cookie header received from `from`; refused cookies are ignored, as browsers do.
  void Store(const WebAddress& from, const std::string& set_cookie, double now);
  // The Cookie header for a request to `to` ("" when nothing matches).
  std::string HeaderFor(const WebAddress& to, double now) const;
  // Every live cookie, or those a request to `to` would carry.
  std::vector<BrowserCookie> All(double now) const;
  std::vector<BrowserCookie> For(const WebAddress& to, double now) const;
  void Clear() { cookies_.clear(); }
  // The cookie of that name, domain (as reported, a leading dot for a domain cookie) and path.
  void Remove(const std::string& name, const std::string& reported_domain,
              const std::string& path);

  std::string PersistentText(double now) const;
  void LoadPersistentText(const std::string& text, double now);

 private:
  std::vector<BrowserCookie> cookies_;
};

// "Tue, 08 Dec 2026 16:25:52 GMT" (and the other forms servers send) as seconds since 1970;
// negative when the text is not a date.
double ParseCookieDate(const std::string& text);
