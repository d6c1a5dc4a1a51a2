#pragma once

struct ICoreWebView2;

// What the sign-in browser may do besides navigating its own window. A frame goes only to https
// addresses (an external scheme or the redirect URI in a frame is cancelled). A request for a
// new window (a link with a target, window.open) is taken over: an https address opens in the
// sign-in window itself, anything else is refused, so no window escapes the application and no
// address reaches the system's protocol handlers; a launch of an external scheme the runtime
// still reports (ICoreWebView2_18) is cancelled too. Downloads are refused. Registered once per
// browser; a runtime without the download event (before ICoreWebView2_4) downloads nothing the
// sign-in pages offer, and is logged.
void GuardFramesWindowsAndDownloads(ICoreWebView2* webview);
