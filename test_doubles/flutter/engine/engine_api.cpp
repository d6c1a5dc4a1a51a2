// The engine library's C API: engine, view controller, view, plugin registrar and the
// process-wide helpers.
#include <flutter_windows.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "api_guard.h"
#include "engine_objects.h"
#include "engine_tasks.h"
#include "script_runner.h"
#include "view_window.h"

namespace flutter_stand_in {

namespace {

constexpr UINT kDefaultDpi = 96;

// Every drawn frame fires the pending next-frame callback; the first one starts the script.
void DrawFrame(FlutterDesktopEngine* engine) {
  if (engine->view_controller && engine->view_controller->view) {
    InvalidateRect(engine->view_controller->view->window, nullptr, FALSE);
  }
  std::weak_ptr<int> alive = engine->lifetime;
  if (VoidCallback callback = engine->next_frame_callback) {
    engine->next_frame_callback = nullptr;
    callback(engine->next_frame_user_data);
    if (alive.expired()) {
      return;
    }
  }
  if (!engine->first_frame_drawn) {
    engine->first_frame_drawn = true;
    if (engine->script) {
      engine->script->Start();
    }
  }
}

void ScheduleFrame(FlutterDesktopEngine* engine) {
  PostTask(engine, [engine] { DrawFrame(engine); });
}

void DestroyEngine(FlutterDesktopEngine* engine) {
  for (auto& [name, registrar] : engine->registrars) {
    if (registrar->destruction_handler) {
      registrar->destruction_handler(registrar.get());
    }
  }
  DetachMessenger(engine->messenger);  // the messenger stays for late answers
  if (engine->task_window) {
    DestroyWindow(engine->task_window);
  }
  delete engine;
}

FlutterDesktopViewControllerRef CreateController(FlutterDesktopEngine* engine,
                                                 int width,
                                                 int height,
                                                 bool owns_engine) {
  if (!engine || (!engine->running && !FlutterDesktopEngineRun(engine, nullptr))) {
    return nullptr;
  }
  auto controller = std::make_unique<FlutterDesktopViewController>();
  controller->engine = engine;
  controller->owns_engine = owns_engine;
  controller->view = std::make_unique<FlutterDesktopView>();
  controller->view->engine = engine;
  controller->view->window = CreateViewWindow(controller->view.get(), width, height);
  if (!controller->view->window) {
    std::cerr << "The view window cannot be created: error " << GetLastError() << std::endl;
    return nullptr;
  }
  engine->view_controller = controller.get();
  ScheduleFrame(engine);
  return controller.release();
}

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

// View controller -------------------------------------------------------------------

FlutterDesktopViewControllerRef FlutterDesktopEngineCreateViewController(
    FlutterDesktopEngineRef engine,
    const FlutterDesktopViewControllerProperties* properties) {
  return Guarded(__func__, FlutterDesktopViewControllerRef{nullptr}, [&] {
    if (!properties || (engine && engine->view_controller)) {
      return FlutterDesktopViewControllerRef{nullptr};
    }
    return flutter_stand_in::CreateController(engine, properties->width, properties->height,
                                              false);
  });
}

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(int width,
                                                                   int height,
                                                                   FlutterDesktopEngineRef engine) {
  return Guarded(__func__, FlutterDesktopViewControllerRef{nullptr}, [&] {
    if (engine && engine->view_controller) {
      return FlutterDesktopViewControllerRef{nullptr};
    }
    return flutter_stand_in::CreateController(engine, width, height, true);
  });
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller) {
  GuardedVoid(__func__, [&] {
    if (!controller) {
      return;
    }
    std::unique_ptr<FlutterDesktopViewController> owned(controller);
    FlutterDesktopEngine* engine = owned->engine;
    engine->view_controller = nullptr;
    DestroyWindow(owned->view->window);
    if (owned->owns_engine) {
      flutter_stand_in::DestroyEngine(engine);
    }
  });
}

FlutterDesktopViewId FlutterDesktopViewControllerGetViewId(FlutterDesktopViewControllerRef controller) {
  return controller ? 0 : -1;
}

FlutterDesktopEngineRef FlutterDesktopViewControllerGetEngine(FlutterDesktopViewControllerRef controller) {
  return controller ? controller->engine : nullptr;
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(FlutterDesktopViewControllerRef controller) {
  return controller ? controller->view.get() : nullptr;
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller) {
  GuardedVoid(__func__, [&] {
    if (controller) {
      flutter_stand_in::ScheduleFrame(controller->engine);
    }
  });
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(FlutterDesktopViewControllerRef controller,
                                                          HWND hwnd,
                                                          UINT message,
                                                          WPARAM wparam,
                                                          LPARAM lparam,
                                                          LRESULT* result) {
  return Guarded(__func__, false, [&] {
    if (!controller || !result) {
      return false;
    }
    for (auto& [name, registrar] : controller->engine->registrars) {
      for (const auto& delegate : registrar->window_proc_delegates) {
        if (delegate.callback(hwnd, message, wparam, lparam, delegate.user_data, result)) {
          return true;
        }
      }
    }
    return false;
  });
}

// View and registrar ---------------------------------------------------------------------

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  return view ? view->window : nullptr;
}

FlutterDesktopViewRef FlutterDesktopPluginRegistrarGetView(FlutterDesktopPluginRegistrarRef registrar) {
  if (!registrar || !registrar->engine->view_controller) {
    return nullptr;
  }
  return registrar->engine->view_controller->view.get();
}

void FlutterDesktopPluginRegistrarRegisterTopLevelWindowProcDelegate(
    FlutterDesktopPluginRegistrarRef registrar,
    FlutterDesktopWindowProcCallback delegate,
    void* user_data) {
  GuardedVoid(__func__, [&] {
    if (registrar && delegate) {
      registrar->window_proc_delegates.push_back({delegate, user_data});
    }
  });
}

void FlutterDesktopPluginRegistrarUnregisterTopLevelWindowProcDelegate(
    FlutterDesktopPluginRegistrarRef registrar,
    FlutterDesktopWindowProcCallback delegate) {
  GuardedVoid(__func__, [&] {
    if (!registrar) {
      return;
    }
    auto& delegates = registrar->window_proc_delegates;
    for (auto it = delegates.begin(); it != delegates.end();) {
      it = it->callback == delegate ? delegates.erase(it) : it + 1;
    }
  });
}

FlutterDesktopMessengerRef FlutterDesktopPluginRegistrarGetMessenger(
    FlutterDesktopPluginRegistrarRef registrar) {
  return registrar ? registrar->engine->messenger : nullptr;
}

void FlutterDesktopPluginRegistrarSetDestructionHandler(
    FlutterDesktopPluginRegistrarRef registrar,
    FlutterDesktopOnPluginRegistrarDestroyed callback) {
  if (registrar) {
    registrar->destruction_handler = callback;
  }
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
