#pragma once

#include <windows.h>
#include <winhttp.h>

#include <string>

// What test programs read back from a WinHTTP request once its response has been received.
struct WinHttpResponse {
  DWORD status = 0;  // 0 when the status line could not be read
  std::string body;
};

WinHttpResponse ReadWinHttpResponse(HINTERNET request);
