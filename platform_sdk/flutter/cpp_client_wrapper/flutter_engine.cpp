#include "include/flutter/flutter_engine.h"

#include <iostream>
#include <vector>

#include "binary_messenger_impl.h"

namespace flutter {

FlutterEngine::FlutterEngine(const DartProject& project) {
  FlutterDesktopEngineProperties properties = {};
  properties.assets_path = project.assets_path().c_str();
  properties.icu_data_path = project.icu_data_path().c_str();
  properties.aot_library_path = project.aot_library_path().c_str();
  properties.dart_entrypoint = project.dart_entrypoint().c_str();

  std::vector<const char*> arguments;
  for (const std::string& argument : project.dart_entrypoint_arguments()) {
    arguments.push_back(argument.c_str());
  }
  properties.dart_entrypoint_argc = static_cast<int>(arguments.size());
  properties.dart_entrypoint_argv = arguments.empty() ? nullptr : arguments.data();

  engine_ = FlutterDesktopEngineCreate(&properties);
  if (engine_) {
    messenger_ = std::make_unique<BinaryMessengerImpl>(FlutterDesktopEngineGetMessenger(engine_));
  }
}

FlutterEngine::~FlutterEngine() {
  ShutDown();
}

bool FlutterEngine::Run() {
  return Run(nullptr);
}

bool FlutterEngine::Run(const char* entry_point) {
  if (!engine_) {
    std::cerr << "Cannot run an engine that failed creation." << std::endl;
    return false;
  }
  if (has_been_run_) {
    std::cerr << "Cannot run an engine more than once." << std::endl;
    return false;
  }
  has_been_run_ = FlutterDesktopEngineRun(engine_, entry_point);
  if (!has_been_run_) {
    std::cerr << "Failed to start engine." << std::endl;
  }
  return has_been_run_;
}

void FlutterEngine::ShutDown() {
  if (engine_ && owns_engine_) {
    FlutterDesktopEngineDestroy(engine_);
  }
  engine_ = nullptr;
}

std::chrono::nanoseconds FlutterEngine::ProcessMessages() {
  if (!engine_) {
    return std::chrono::nanoseconds::zero();
  }
  return std::chrono::nanoseconds(FlutterDesktopEngineProcessMessages(engine_));
}

void FlutterEngine::ReloadSystemFonts() {
  if (engine_) {
    FlutterDesktopEngineReloadSystemFonts(engine_);
  }
}

FlutterDesktopPluginRegistrarRef FlutterEngine::GetRegistrarForPlugin(
    const std::string& plugin_name) {
  if (!engine_) {
    std::cerr << "Cannot get plugin registrar on an engine that isn't running." << std::endl;
    return nullptr;
  }
  return FlutterDesktopEngineGetPluginRegistrar(engine_, plugin_name.c_str());
}

BinaryMessenger* FlutterEngine::messenger() {
  return messenger_.get();
}

void FlutterEngine::SetNextFrameCallback(std::function<void()> callback) {
  if (!engine_) {
    return;
  }
  next_frame_callback_ = std::move(callback);
  FlutterDesktopEngineSetNextFrameCallback(
      engine_,
      [](void* user_data) {
        auto* self = static_cast<FlutterEngine*>(user_data);
        std::function<void()> callback = std::move(self->next_frame_callback_);
        self->next_frame_callback_ = nullptr;
        if (callback) {
          callback();
        }
      },
      this);
}

std::optional<LRESULT> FlutterEngine::ProcessExternalWindowMessage(HWND hwnd,
                                                                   UINT message,
                                                                   WPARAM wparam,
                                                                   LPARAM lparam) {
  LRESULT result = 0;
  if (engine_ &&
      FlutterDesktopEngineProcessExternalWindowMessage(engine_, hwnd, message, wparam, lparam,
                                                       &result)) {
    return result;
  }
  return std::nullopt;
}

FlutterDesktopEngineRef FlutterEngine::RelinquishEngine() {
  owns_engine_ = false;
  return engine_;
}

}  // namespace flutter
