#include "utils.h"

#include <windows.h>
#include <flutter_windows.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <iostream>

#include "string_conversion.h"
#include "unique_handle.h"

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
  const UniqueLocalMemory argv_block(argv);
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(WideToUtf8(argv[i]));
  return arguments;
}
