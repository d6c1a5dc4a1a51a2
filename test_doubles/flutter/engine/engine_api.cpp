// The engine library's C API: the engine and the process-wide helpers.
#include <flutter_windows.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>

#include "api_guard.h"
#include "engine_objects.h"
#include "engine_tasks.h"
#include "script_runner.h"

namespace flutter_stand_in {

void DestroyEngine(FlutterDesktopEngine* engine) {
  for (auto& [name, registrar] : engine->registrars) {
    if (registrar->destruction_handler) {
      registrar->destruction_handler(registrar.get());
    }
  }
  DetachMessenger(engine->messenger);  // it stays while others hold references
  if (engine->task_window) {
    DestroyWindow(engine->task_window);
  }
  delete engine;
}

namespace {

constexpr UINT kDefaultDpi = 96;

std::optional<UINT> DpiOverride() {
  const char* text = std::getenv("FLUTTER_STAND_IN_DPI");
  int dpi = text ? std::atoi(text) : 0;
  return dpi > 0 ? std::optional<UINT>(static_cast<UINT>(dpi)) : std::nullopt;
}

UINT ScreenDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen) {
    ReleaseDC(nullptr, screen);
  }
  return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

}  // namespace

}  // namespace flutter_stand_in

using flutter_stand_in::Guarded;
using flutter_stand_in::GuardedVoid;

// Defined with C linkage also where an older SDK header does not declare them.
extern "C" {

// Engine ------------------------------------------------------------------------------

FlutterDesktopEngineRef FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* properties) {
  return Guarded(__func__, FlutterDesktopEngineRef{nullptr}, [&]() -> FlutterDesktopEngineRef {
    if (!properties || properties->dart_entrypoint_argc < 0 ||
        (properties->dart_entrypoint_argc > 0 && !properties->dart_entrypoint_argv)) {
      return nullptr;
    }
    auto engine = std::make_unique<FlutterDesktopEngine>();
    for (int i = 0; i < properties->dart_entrypoint_argc; ++i) {
      const char* argument = properties->dart_entrypoint_argv[i];
      engine->entrypoint_arguments.emplace_back(argument ? argument : "");
    }
    engine->task_window = flutter_stand_in::CreateTaskWindow(engine.get());
    if (!engine->task_window) {
      std::cerr << "The engine's task window cannot be created: error " << GetLastError()
                << std::endl;
      return nullptr;
    }
    engine->messenger = new FlutterDesktopMessenger();
    engine->messenger->engine = engine.get();
    engine->script = flutter_stand_in::ScriptRunner::FromArguments(engine.get(),
                                                                    engine->entrypoint_arguments);
    return engine.release();
  });
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  return Guarded(__func__, false, [&] {
    if (!engine) {
      return false;
    }
    flutter_stand_in::DestroyEngine(engine);
    return true;
  });
}

bool FlutterDesktopEngineRun(FlutterDesktopEngineRef engine, const char* /*entry_point*/) {
  if (!engine || engine->running) {
    return false;
  }
  engine->running = true;
  return true;
}

uint64_t FlutterDesktopEngineProcessMessages(FlutterDesktopEngineRef engine) {
  return Guarded(__func__, uint64_t{0}, [&] {
    if (engine) {
      flutter_stand_in::RunPendingTasks(engine);
    }
    return uint64_t{0};
  });
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine) {
  if (engine && engine->view_controller && engine->view_controller->view) {
    InvalidateRect(engine->view_controller->view->window, nullptr, FALSE);
  }
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine,
    const char* plugin_name) {
  return Guarded(__func__, FlutterDesktopPluginRegistrarRef{nullptr},
                 [&]() -> FlutterDesktopPluginRegistrarRef {
                   if (!engine || !plugin_name) {
                     return nullptr;
                   }
                   auto& registrar = engine->registrars[plugin_name];
                   if (!registrar) {
                     registrar = std::make_unique<FlutterDesktopPluginRegistrar>();
                     registrar->engine = engine;
                   }
                   return registrar.get();
                 });
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine) {
  return engine ? engine->messenger : nullptr;
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine,
                                              VoidCallback callback,
                                              void* user_data) {
  if (engine) {
    engine->next_frame_callback = callback;
    engine->next_frame_user_data = user_data;
  }
}

bool FlutterDesktopEngineProcessExternalWindowMessage(FlutterDesktopEngineRef /*engine*/,
                                                      HWND /*hwnd*/,
                                                      UINT /*uMsg*/,
                                                      WPARAM /*wParam*/,
                                                      LPARAM /*lParam*/,
                                                      LRESULT* /*result*/) {
  return false;
}

// Process-wide helpers ----------------------------------------------------------------
// FLUTTER_STAND_IN_DPI in the environment overrides the DPI reported, so that scaling can
// be tested on a 96-DPI display.

UINT FlutterDesktopGetDpiForHWND(HWND hwnd) {
  if (std::optional<UINT> dpi = flutter_stand_in::DpiOverride()) {
    return *dpi;
  }
  UINT dpi = hwnd ? GetDpiForWindow(hwnd) : 0;
  return dpi > 0 ? dpi : flutter_stand_in::ScreenDpi();
}

UINT FlutterDesktopGetDpiForMonitor(HMONITOR /*monitor*/) {
  return flutter_stand_in::DpiOverride().value_or(flutter_stand_in::ScreenDpi());
}

void FlutterDesktopResyncOutputStreams() {
  // This library has a C runtime of its own: point its streams at the new console too.
  FILE* stream = nullptr;
  if (GetConsoleWindow()) {
    freopen_s(&stream, "CONOUT$", "w", stdout);
    freopen_s(&stream, "CONOUT$", "w", stderr);
  }
  std::ios::sync_with_stdio();
}

}  // extern "C"
