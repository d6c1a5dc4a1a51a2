#ifndef FLUTTER_FLUTTER_VIEW_CONTROLLER_H_
#define FLUTTER_FLUTTER_VIEW_CONTROLLER_H_

#include <windows.h>

#include <flutter_windows.h>

#include <memory>
#include <optional>

#include "dart_project.h"
#include "flutter_engine.h"
#include "flutter_view.h"

namespace flutter {

// A Flutter view hosted in a window, with the engine that draws it.
class FlutterViewController {
 public:
  // Starts an engine for |project| with a view of the given size in physical pixels. On
  // failure view() is null.
  explicit FlutterViewController(int width, int height, const DartProject& project);

  virtual ~FlutterViewController();

  FlutterViewController(FlutterViewController const&) = delete;
  FlutterViewController& operator=(FlutterViewController const&) = delete;

  FlutterDesktopViewId view_id() const;

  FlutterEngine* engine() const { return engine_.get(); }
  std::shared_ptr<FlutterEngine> shared_engine() const { return engine_; }

  FlutterView* view() const { return view_.get(); }

  void ForceRedraw();

  // Offers a message of the top-level window to the engine and its plugins; a value means
  // they handled it and it must not be processed further.
  std::optional<LRESULT> HandleTopLevelWindowProc(HWND hwnd,
                                                  UINT message,
                                                  WPARAM wparam,
                                                  LPARAM lparam);

 private:
  std::shared_ptr<FlutterEngine> engine_;
  FlutterDesktopViewControllerRef controller_ = nullptr;
  std::unique_ptr<FlutterView> view_;
};

}  // namespace flutter

#endif  // FLUTTER_FLUTTER_VIEW_CONTROLLER_H_
