#pragma once

#include <functional>
#include <string>

struct ICoreWebView2;

// What the sign-in browser may do besides navigating its own window. A frame goes only to https
// addresses and to the browser's own about:blank and about:srcdoc (an external scheme, or the
// current flow's redirect URI as `redirect_uri` gives it, in a frame is cancelled). A request for a
// new window (a link with a target, window.open) is taken over: from the main frame, an https
// address opens in the sign-in window itself and anything else is refused; from any other frame, or
// where the runtime cannot tell (before ICoreWebView2NewWindowRequestedEventArgs3), nothing opens:
// a frame's navigation never moves the sign-in window, nor does its request for a window. So no
// window escapes the application and no address reaches the system's protocol handlers; a launch of
// an external scheme the runtime still reports (ICoreWebView2_18) is cancelled too. Downloads are
// refused. A server's request for a TLS client certificate (ICoreWebView2_5) or for basic
// credentials (ICoreWebView2_10) is cancelled with a log line: the runtime would otherwise offer
// the user's certificates, those of this system among them, to any server a sign-in page reaches.
// The flow keeps waiting. Registered once per browser; a runtime without one of these events is
// logged (without the download event, before ICoreWebView2_4, it downloads nothing the sign-in
// pages offer; without the others it shows its own prompts).
void GuardFramesWindowsAndDownloads(ICoreWebView2* webview,
                                    std::function<std::string()> redirect_uri);
