#pragma once

#include "channel_dispatch.h"

// Native bridge methods over the main window, the interface language and the notices.
namespace bridge_window {

ChannelHandler SetWindowTitle, ShowSessionExpiredToast, SetLocale, SetWindowSize, SetWindowHeight;

struct WindowSize {
  int width = 0;
  int height = 0;
};
// Device pixels, not scaled by the monitor DPI.
WindowSize BannerWindowSize(bool show_banner);

}  // namespace bridge_window
