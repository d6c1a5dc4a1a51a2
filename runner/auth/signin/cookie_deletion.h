#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct ICoreWebView2;

// The sign-in browser's cookies deleted, and the browser's word that they are gone. The
// runtime carries a deletion out after the call that asked for it returned: nothing that must
// follow the deletion (closing the browser, taking the profile's signed-out mark, the next
// navigation) may follow the call. `done` runs once, on the main thread, later: true once the
// browser confirmed the deletion, false when it failed or did not complete within `limit_ms`
// (each logged). False from the call itself (logged; `done` never runs) when the browser
// cannot be asked at all.
using CookieDeletionDone = std::function<void(bool deleted)>;

// Every cookie of the profile: ICoreWebView2Profile2::ClearBrowsingData where the runtime has
// it, else the cookie manager's deletions, confirmed as below.
bool DeleteAllBrowserCookies(ICoreWebView2* webview, uint32_t limit_ms, CookieDeletionDone done);

// The cookies a request to one of `hosts` carries (one account's sign-out; the other
// account's server session stays): listed, each deleted, and listed again; confirmed when
// none of them is left.
bool DeleteBrowserCookiesOfHosts(ICoreWebView2* webview, std::vector<std::string> hosts,
                                 uint32_t limit_ms, CookieDeletionDone done);

// Whether a cookie of `domain` (as the browser reports it: a domain cookie with a leading dot)
// is sent to `host`, by the cookie rules: a host-only cookie to its host alone, a domain cookie
// to its domain and every host below it. Letters compared without case.
bool CookieDomainMatchesHost(const std::string& domain, const std::string& host);
