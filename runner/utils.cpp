#include "utils.h"

#include <windows.h>
#include <flutter_windows.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <iostream>

namespace {

void ReopenOnConsole(FILE* stream, int descriptor) {
  FILE* reopened = nullptr;
  if (freopen_s(&reopened, "CONOUT$", "w", stream) != 0) _dup2(_fileno(stdout), descriptor);
}

}  // namespace

void CreateAndAttachConsole() {
  if (AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!IsDebuggerPresent() || !AllocConsole()) return;
  ReopenOnConsole(stdout, 1);
  ReopenOnConsole(stderr, 2);
  std::ios::sync_with_stdio();
  FlutterDesktopResyncOutputStreams();
}

std::vector<std::string> GetCommandLineArguments() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr) return {};
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(Utf8FromUtf16(argv[i]));
  LocalFree(argv);
  return arguments;
}

std::string Utf8FromUtf16(const wchar_t* utf16_string) {
  if (utf16_string == nullptr) return std::string();
  const int length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16_string, -1, nullptr,
                                         0, nullptr, nullptr);
  if (length <= 1) return std::string();
  std::string utf8(static_cast<size_t>(length - 1), '\0');
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16_string, -1, utf8.data(), length,
                          nullptr, nullptr) == 0) {
    return std::string();
  }
  return utf8;
}
