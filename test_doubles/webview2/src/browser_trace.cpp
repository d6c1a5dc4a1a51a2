#include "browser_trace.h"

#include <windows.h>

#include <fstream>
#include <iterator>

void Trace(const std::string& line) {
  wchar_t path[MAX_PATH * 2];
  const DWORD length = GetEnvironmentVariableW(L"SENDARO_WEBVIEW_LOG", path,
                                               static_cast<DWORD>(std::size(path)));
  if (length == 0 || length >= std::size(path)) return;
  std::ofstream(path, std::ios::app | std::ios::binary) << line << "\n";
}
