#pragma once

#include <string>

// Whether the runtime of the embedded browser (the WebView2 Runtime) that the sign-in window
// needs is installed: the version value "pv" of the runtime's client key, machine-wide in the
// 64-bit and the 32-bit registry view and for the installing user. An absent value, an empty
// one or "0.0.0.0" means not installed there.
struct WebView2Versions {
  std::wstring machine64;
  std::wstring machine32;
  std::wstring user;
};

WebView2Versions ReadWebView2Versions();

// The installation log's line: every version found with its place, or that none was found
// and what the machine needs.
std::wstring DescribeWebView2Runtime(const WebView2Versions& versions);
