#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pending_reply.h"
#include "sign_in_results.h"

struct ICoreWebView2;
struct ICoreWebView2Cookie;
struct ICoreWebView2CookieList;

// The sign-in browser's cookies listed: every cookie of the profile, whatever the domain; the
// citizen production host only names the place in the texts. Their deletion is
// cookie_deletion.h.

// The answer when there is no sign-in browser yet (a success with no cookies).
CookieListing CookieListingWithoutBrowser();
// The answer for the cookies the browser returned, with its message; logs the count.
CookieListing CookieListingOf(std::vector<BrowserCookie> cookies, const std::string& host);

// The properties the browser gives for one cookie; failed reads are left out.
BrowserCookie ReadBrowserCookie(ICoreWebView2Cookie* cookie);
std::vector<BrowserCookie> ReadBrowserCookies(ICoreWebView2CookieList* list);

// Calls `visit` with each cookie of the list that can be read; false when the list cannot be.
bool ForEachBrowserCookie(ICoreWebView2CookieList* list,
                          const std::function<void(ICoreWebView2Cookie*)>& visit);

// Asks the browser for its cookies; the completion answers `reply`. Interface failures, and a
// request that cannot be issued, answer the error path.
void RequestBrowserCookies(ICoreWebView2* webview,
                           const std::shared_ptr<PendingReply<CookieListing>>& reply);
