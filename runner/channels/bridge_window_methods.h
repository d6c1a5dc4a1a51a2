#pragma once

#include "channel_dispatch.h"

// Native bridge methods over the main window, the interface language and the notices.
namespace bridge_window {

ChannelAnswer SetWindowTitle(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer ShowSessionExpiredToast(ApplicationHost& host,
                                      const flutter::EncodableValue* arguments);
ChannelAnswer SetLocale(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer SetWindowSize(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer SetWindowHeight(ApplicationHost& host, const flutter::EncodableValue* arguments);

struct WindowSize {
  int width = 0;
  int height = 0;
};
// Device pixels, not scaled by the monitor DPI.
WindowSize BannerWindowSize(bool show_banner);

}  // namespace bridge_window
