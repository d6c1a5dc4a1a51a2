#ifndef FLUTTER_FLUTTER_ENGINE_H_
#define FLUTTER_FLUTTER_ENGINE_H_

#include <flutter_windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "binary_messenger.h"
#include "dart_project.h"
#include "plugin_registry.h"

namespace flutter {

class BinaryMessengerImpl;

// An instance of the Flutter engine running one Dart project.
class FlutterEngine : public PluginRegistry {
 public:
  explicit FlutterEngine(const DartProject& project);
  virtual ~FlutterEngine();

  FlutterEngine(FlutterEngine const&) = delete;
  FlutterEngine& operator=(FlutterEngine const&) = delete;

  // Starts the Dart entry point "main" (or the given one); once per engine.
  bool Run();
  bool Run(const char* entry_point);

  void ShutDown();

  // Runs pending engine tasks; the result is when the next one is due.
  std::chrono::nanoseconds ProcessMessages();

  void ReloadSystemFonts();

  FlutterDesktopPluginRegistrarRef GetRegistrarForPlugin(const std::string& plugin_name) override;

  // Valid as long as the engine lives.
  BinaryMessenger* messenger();

  // Called once, on the platform thread, when the next frame has been drawn.
  void SetNextFrameCallback(std::function<void()> callback);

  std::optional<LRESULT> ProcessExternalWindowMessage(HWND hwnd,
                                                      UINT message,
                                                      WPARAM wparam,
                                                      LPARAM lparam);

 private:
  friend class FlutterViewController;

  FlutterDesktopEngineRef engine() const { return engine_; }

  // Hands ownership of the C engine to a caller that destroys it.
  FlutterDesktopEngineRef RelinquishEngine();

  FlutterDesktopEngineRef engine_ = nullptr;
  std::unique_ptr<BinaryMessengerImpl> messenger_;
  bool owns_engine_ = true;
  bool has_been_run_ = false;
  std::function<void()> next_frame_callback_ = nullptr;
};

}  // namespace flutter

#endif  // FLUTTER_FLUTTER_ENGINE_H_
