// The engine library's C API: view controller, view and plugin registrar.
#include <flutter_windows.h>

#include <iostream>
#include <memory>
#include <vector>

#include "api_guard.h"
#include "engine_objects.h"
#include "script_runner.h"
#include "view_window.h"

namespace flutter_stand_in {

namespace {

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

}  // namespace

}  // namespace flutter_stand_in

using flutter_stand_in::Guarded;
using flutter_stand_in::GuardedVoid;

struct IDXGIAdapter;

// Defined with C linkage also where an older SDK header does not declare them.
extern "C" {

// View controller -------------------------------------------------------------------

// The newer form; exported also to programs built against an SDK without it.
FlutterDesktopViewControllerRef FlutterDesktopEngineCreateViewController(
    FlutterDesktopEngineRef engine,
    const flutter_stand_in::ViewControllerProperties* properties) {
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

// The view of a controller is the engine's implicit view, id 0.
flutter_stand_in::ViewId FlutterDesktopViewControllerGetViewId(
    FlutterDesktopViewControllerRef controller) {
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
    // A delegate may register or unregister delegates while it runs.
    std::vector<FlutterDesktopPluginRegistrar::WindowProcDelegate> delegates;
    for (auto& [name, registrar] : controller->engine->registrars) {
      delegates.insert(delegates.end(), registrar->window_proc_delegates.begin(),
                       registrar->window_proc_delegates.end());
    }
    for (const auto& delegate : delegates) {
      if (delegate.callback(hwnd, message, wparam, lparam, delegate.user_data, result)) {
        return true;
      }
    }
    return false;
  });
}

// View and registrar ---------------------------------------------------------------------

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  return view ? view->window : nullptr;
}

// The stand-in draws with GDI: there is no adapter to tell.
IDXGIAdapter* FlutterDesktopViewGetGraphicsAdapter(FlutterDesktopViewRef /*view*/) {
  return nullptr;
}

FlutterDesktopViewRef FlutterDesktopPluginRegistrarGetView(FlutterDesktopPluginRegistrarRef registrar) {
  if (!registrar || !registrar->engine->view_controller) {
    return nullptr;
  }
  return registrar->engine->view_controller->view.get();
}

FlutterDesktopViewRef FlutterDesktopPluginRegistrarGetViewById(
    FlutterDesktopPluginRegistrarRef registrar,
    flutter_stand_in::ViewId view_id) {
  return view_id == 0 ? FlutterDesktopPluginRegistrarGetView(registrar) : nullptr;
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

}  // extern "C"
