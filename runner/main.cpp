#include <windows.h>
#include <objbase.h>
#include <flutter/dart_project.h>
#include <flutter/flutter_view_controller.h>

#include <cstdio>
#include <memory>
#include <string>

#include "flutter_window.h"
#include "logger.h"
#include "single_instance.h"
#include "utils.h"

namespace {

// An installer that closes the program to replace its files (Restart Manager) starts it again
// afterwards, without the arguments of this run: a restarted program starts as the user's would.
void RegisterForRestartAfterInstall() {
  const HRESULT result = RegisterApplicationRestart(nullptr, RESTART_NO_CRASH | RESTART_NO_HANG);
  if (FAILED(result)) {
    char code[16];
    snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(result));
    LogWarning(std::string("RegisterApplicationRestart failed (") + code + ")");
  }
}

}  // namespace

int APIENTRY wWinMain(_In_ HINSTANCE, _In_opt_ HINSTANCE, _In_ wchar_t*, _In_ int) {
  SingleInstanceMutex instance;
  if (instance.AlreadyRunning()) {
    ActivateRunningInstance();
    instance.Release();
    return 0;
  }

  CreateAndAttachConsole();
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  OutputDebugStringW(L"[Murako] Iniciando aplicación Windows\n");
  RegisterForRestartAfterInstall();

  flutter::DartProject project(L"data");
  project.set_dart_entrypoint_arguments(GetCommandLineArguments());

  auto window = std::make_unique<FlutterWindow>(project);
  if (!window->Create(L"Sendaro", Win32Window::Point(10, 10), Win32Window::Size(550, 680))) {
    return 1;
  }
  window->SetQuitOnClose(true);

  MSG message;
  while (GetMessage(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessage(&message);
  }

  // Through its application the window owns COM objects: they go before the apartment does.
  window.reset();
  CoUninitialize();
  instance.Release();
  return 0;
}
