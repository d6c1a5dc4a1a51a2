#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct ICoreWebView2;

// The sign-in browser's cookies and site data deleted, and the browser's word that they are
// gone. The
// runtime carries a deletion out after the call that asked for it returned: nothing that must
// follow the deletion (closing the browser, taking the profile's signed-out mark, the next
// navigation) may follow the call. `done` runs once, on the main thread, later: true once the
// browser confirmed the deletion, false when it failed or did not complete within `limit_ms`
// (each logged). False from the call itself (logged; `done` never runs) when the browser
// cannot be asked at all.
using CookieDeletionDone = std::function<void(bool deleted)>;

// All site data of the profile, cookies, web storage and the HTTP cache:
// ICoreWebView2Profile2::ClearBrowsingData with the site-data kinds where the runtime has it;
// before that interface only the cookie manager's deletions are possible (logged), the cookies
// alone, confirmed as below.
bool DeleteAllSiteData(ICoreWebView2* webview, uint32_t limit_ms, CookieDeletionDone done);

// One account's sign-out, the other account's server session staying: the cookies a request to
// one of `hosts` carries (listed, each deleted, and listed again; gone when none is left), and
// the web storage of each of `origins` ("https://host[:port]") through the DevTools protocol's
// Storage.clearDataForOrigin. What the runtime cannot clear for one origin stays: the HTTP
// cache (the profile's whole cache only), and a domain cookie also sent to the other account's
// hosts goes with this account's. A runtime that refuses the protocol call fails the
// deletion, so the caller marks the profile signed out and the next browser clears it all.
bool DeleteSiteDataOfHosts(ICoreWebView2* webview, std::vector<std::string> hosts,
                           const std::vector<std::string>& origins, uint32_t limit_ms,
                           CookieDeletionDone done);

// Whether a cookie of `domain` (as the browser reports it: a domain cookie with a leading dot)
// is sent to `host`, by the cookie rules: a host-only cookie to its host alone, a domain cookie
// to its domain and every host below it. Letters compared without case.
bool CookieDomainMatchesHost(const std::string& domain, const std::string& host);
