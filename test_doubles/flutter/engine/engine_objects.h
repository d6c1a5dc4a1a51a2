#ifndef FLUTTER_STAND_IN_ENGINE_OBJECTS_H_
#define FLUTTER_STAND_IN_ENGINE_OBJECTS_H_

// What the C API's opaque handles point to. Everything runs on the thread that created the
// engine (the platform thread, which is the program's UI thread).

#include <flutter_windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace flutter_stand_in {
class ScriptRunner;
using ReplyFunction = std::function<void(const std::vector<uint8_t>& reply)>;

// What older SDK headers do not declare yet (see engine/CMakeLists.txt); the engine exports
// the functions that take them either way.
#if FLUTTER_SDK_HAS_VIEW_ID
using ViewId = FlutterDesktopViewId;
#else
using ViewId = int64_t;
#endif
#if FLUTTER_SDK_HAS_VIEW_CONTROLLER_PROPERTIES
using ViewControllerProperties = FlutterDesktopViewControllerProperties;
#else
struct ViewControllerProperties {
  int width;
  int height;
};
#endif
}  // namespace flutter_stand_in

struct _FlutterPlatformMessageResponseHandle {
  flutter_stand_in::ReplyFunction deliver;
};

struct FlutterDesktopMessenger {
  struct Callback {
    FlutterDesktopMessageCallback function = nullptr;
    void* user_data = nullptr;
  };

  // Null once the engine is gone: the messenger itself stays while anyone holds a reference,
  // so that an answer sent late is refused instead of touching freed memory.
  FlutterDesktopEngine* engine = nullptr;
  // The engine's own reference and every FlutterDesktopMessengerAddRef; the last release
  // frees the messenger.
  std::atomic<int> references{1};
  // FlutterDesktopMessengerLock; the engine takes it to detach. Recursive, so that an answer
  // sent under the lock may reach code that takes it again.
  std::recursive_mutex mutex;
  std::map<std::string, Callback> callbacks;
  std::map<const FlutterDesktopMessageResponseHandle*,
           std::unique_ptr<FlutterDesktopMessageResponseHandle>>
      outstanding;
};

struct FlutterDesktopPluginRegistrar {
  struct WindowProcDelegate {
    FlutterDesktopWindowProcCallback callback = nullptr;
    void* user_data = nullptr;
  };

  FlutterDesktopEngine* engine = nullptr;
  FlutterDesktopOnPluginRegistrarDestroyed destruction_handler = nullptr;
  std::vector<WindowProcDelegate> window_proc_delegates;
};

// Draws no textures: every texture id is unknown to it.
struct FlutterDesktopTextureRegistrar {};

struct FlutterDesktopView {
  FlutterDesktopEngine* engine = nullptr;
  HWND window = nullptr;
};

struct FlutterDesktopViewController {
  FlutterDesktopEngine* engine = nullptr;
  bool owns_engine = false;
  std::unique_ptr<FlutterDesktopView> view;
};

struct FlutterDesktopEngine {
  std::vector<std::string> entrypoint_arguments;
  bool running = false;
  FlutterDesktopMessenger* messenger = nullptr;
  // A message-only window on which queued tasks and timers run.
  HWND task_window = nullptr;
  std::deque<std::function<void()>> tasks;
  std::map<UINT_PTR, std::function<void()>> timers;
  std::map<std::string, std::unique_ptr<FlutterDesktopPluginRegistrar>> registrars;
  FlutterDesktopTextureRegistrar texture_registrar;
  FlutterDesktopViewController* view_controller = nullptr;
  VoidCallback next_frame_callback = nullptr;
  void* next_frame_user_data = nullptr;
  bool first_frame_drawn = false;
  std::unique_ptr<flutter_stand_in::ScriptRunner> script;
  // Expires with the engine; lets a running task notice that it destroyed the engine.
  std::shared_ptr<int> lifetime = std::make_shared<int>(0);
};

namespace flutter_stand_in {

// Runs |task| later on the engine's thread, from the message loop.
void PostTask(FlutterDesktopEngine* engine, std::function<void()> task);

// Runs |task| on the engine's thread after |milliseconds|; one timer per id.
void PostDelayedTask(FlutterDesktopEngine* engine,
                     UINT_PTR timer_id,
                     unsigned milliseconds,
                     std::function<void()> task);

// A message from the Dart side to the handler the application set for |channel|; the
// answer (empty when nobody handles the channel) reaches |on_reply|.
void DeliverToNative(FlutterDesktopMessenger* messenger,
                     const std::string& channel,
                     const std::vector<uint8_t>& message,
                     ReplyFunction on_reply);

// Tells the plugin registrars, detaches the messenger and frees the engine.
void DestroyEngine(FlutterDesktopEngine* engine);

// Drops every callback and unanswered handle and the engine's reference; later calls through
// the messenger do nothing.
void DetachMessenger(FlutterDesktopMessenger* messenger);

// Drops one reference; the last frees the messenger.
void ReleaseMessenger(FlutterDesktopMessenger* messenger);

}  // namespace flutter_stand_in

#endif  // FLUTTER_STAND_IN_ENGINE_OBJECTS_H_
