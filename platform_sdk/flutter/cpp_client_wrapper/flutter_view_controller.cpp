#include "include/flutter/flutter_view_controller.h"

#include <iostream>

namespace flutter {

FlutterViewController::FlutterViewController(int width, int height, const DartProject& project) {
  engine_ = std::make_shared<FlutterEngine>(project);
  if (!engine_->engine()) {
    std::cerr << "Failed to create engine." << std::endl;
    return;
  }
  FlutterDesktopViewControllerProperties properties = {};
  properties.width = width;
  properties.height = height;
  controller_ = FlutterDesktopEngineCreateViewController(engine_->engine(), &properties);
  if (!controller_) {
    std::cerr << "Failed to create view controller." << std::endl;
    return;
  }
  view_ = std::make_unique<FlutterView>(FlutterDesktopViewControllerGetView(controller_));
}

FlutterViewController::~FlutterViewController() {
  if (controller_) {
    FlutterDesktopViewControllerDestroy(controller_);
  }
}

FlutterDesktopViewId FlutterViewController::view_id() const {
  return controller_ ? FlutterDesktopViewControllerGetViewId(controller_) : -1;
}

void FlutterViewController::ForceRedraw() {
  if (controller_) {
    FlutterDesktopViewControllerForceRedraw(controller_);
  }
}

std::optional<LRESULT> FlutterViewController::HandleTopLevelWindowProc(HWND hwnd,
                                                                       UINT message,
                                                                       WPARAM wparam,
                                                                       LPARAM lparam) {
  LRESULT result = 0;
  if (controller_ && FlutterDesktopViewControllerHandleTopLevelWindowProc(
                         controller_, hwnd, message, wparam, lparam, &result)) {
    return result;
  }
  return std::nullopt;
}

}  // namespace flutter
