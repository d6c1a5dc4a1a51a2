#ifndef FLUTTER_FLUTTER_VIEW_H_
#define FLUTTER_FLUTTER_VIEW_H_

#include <flutter_windows.h>

namespace flutter {

// The window the engine renders into.
class FlutterView {
 public:
  explicit FlutterView(FlutterDesktopViewRef view) : view_(view) {}

  virtual ~FlutterView() = default;

  FlutterView(FlutterView const&) = delete;
  FlutterView& operator=(FlutterView const&) = delete;

  HWND GetNativeWindow() { return FlutterDesktopViewGetHWND(view_); }

 private:
  FlutterDesktopViewRef view_;
};

}  // namespace flutter

#endif  // FLUTTER_FLUTTER_VIEW_H_
