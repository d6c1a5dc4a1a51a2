#include "flutter_window.h"

#include <optional>

#include "application.h"
#include "generated_plugin_registrant.h"

FlutterWindow::FlutterWindow(const flutter::DartProject& project) : project_(project) {}

FlutterWindow::~FlutterWindow() = default;

bool FlutterWindow::OnCreate() {
  if (!Win32Window::OnCreate()) return false;
  const RECT frame = GetClientArea();
  flutter_controller_ = std::make_unique<flutter::FlutterViewController>(
      frame.right - frame.left, frame.bottom - frame.top, project_);
  if (!flutter_controller_->engine() || !flutter_controller_->view()) return false;
  RegisterPlugins(flutter_controller_->engine());
  application_ =
      std::make_unique<Application>(GetHandle(), flutter_controller_->engine()->messenger());

  SetChildContent(flutter_controller_->view()->GetNativeWindow());
  flutter_controller_->engine()->SetNextFrameCallback([this]() { Show(); });
  flutter_controller_->ForceRedraw();
  return true;
}

void FlutterWindow::OnDestroy() {
  release_pending_ = true;
  ReleaseApplicationWhenUnused();
  Win32Window::OnDestroy();
}

void FlutterWindow::ReleaseApplicationWhenUnused() {
  if (!release_pending_ || application_calls_ > 0) return;
  if (application_ && application_->IsDelivering()) return;
  release_pending_ = false;
  application_ = nullptr;
  flutter_controller_ = nullptr;
}

LRESULT FlutterWindow::MessageHandler(HWND hwnd, UINT const message, WPARAM const wparam,
                                      LPARAM const lparam) noexcept {
  if (flutter_controller_) {
    std::optional<LRESULT> result =
        flutter_controller_->HandleTopLevelWindowProc(hwnd, message, wparam, lparam);
    if (result) return *result;
  }
  if (message == WM_END_PROGRAM) {
    if (application_ && application_->TakeEndRequest()) DestroyWindow(hwnd);
    return 0;
  }
  if (application_) {
    ++application_calls_;
    std::optional<LRESULT> result = application_->HandleMessage(hwnd, message, wparam, lparam);
    --application_calls_;
    ReleaseApplicationWhenUnused();
    if (result) return *result;
  }
  switch (message) {
    case WM_FONTCHANGE:
      if (flutter_controller_) flutter_controller_->engine()->ReloadSystemFonts();
      break;
  }
  return Win32Window::MessageHandler(hwnd, message, wparam, lparam);
}
