#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pending_reply.h"
#include "sign_in_results.h"

struct ICoreWebView2;
struct ICoreWebView2Cookie;
struct ICoreWebView2CookieList;

// The sign-in browser's cookies: their listing (every cookie of the profile, whatever the
// domain; the citizen production host only names the place in the texts) and their deletion.

// The answer when there is no sign-in browser yet (a success with no cookies).
CookieListing CookieListingWithoutBrowser();
// The answer for the cookies the browser returned, with its message; logs the count.
CookieListing CookieListingOf(std::vector<BrowserCookie> cookies, const std::string& host);

// The properties the browser gives for one cookie; failed reads are left out.
BrowserCookie ReadBrowserCookie(ICoreWebView2Cookie* cookie);
std::vector<BrowserCookie> ReadBrowserCookies(ICoreWebView2CookieList* list);

// Deletes every cookie of the browser's profile (sign-out). False, logged, when the browser
// refused or could not be asked.
bool DeleteBrowserCookies(ICoreWebView2* webview);

// Whether a cookie's domain (as the browser reports it, a domain cookie with a leading dot) is
// one of `hosts`; letters compared without case.
bool CookieDomainIsOneOf(const std::string& domain, const std::vector<std::string>& hosts);

// Deletes only the cookies of `hosts` (one account's sign-out; the other account's server
// session stays). The browser lists its cookies first and the deletion follows on the main
// thread. False, logged, when the browser could not be asked.
bool DeleteBrowserCookiesOfHosts(ICoreWebView2* webview, std::vector<std::string> hosts);

// Asks the browser for its cookies; the completion answers `reply`. Interface failures, and a
// request that cannot be issued, answer the error path.
void RequestBrowserCookies(ICoreWebView2* webview,
                           const std::shared_ptr<PendingReply<CookieListing>>& reply);
