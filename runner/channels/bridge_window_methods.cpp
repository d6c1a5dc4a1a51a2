#include "bridge_window_methods.h"

#include "application_host.h"
#include "channel_arguments.h"
#include "logger.h"
#include "secure_storage.h"
#include "session_expired_notice.h"
#include "string_conversion.h"

using flutter::EncodableValue;

namespace bridge_window {
namespace {

// Keeps the top-left corner; no Z-order change, no activation.
void ResizeKeepingOrigin(HWND window, WindowSize size) {
  SetWindowPos(window, nullptr, 0, 0, size.width, size.height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

WindowSize BannerWindowSize(bool show_banner) { return {550, show_banner ? 680 : 500}; }

ChannelAnswer SetWindowTitle(ApplicationHost& host, const EncodableValue* arguments) {
  const StringArguments checked =
      RequireStrings(arguments, {"title"}, "Missing title argument", "Title must be a string");
  if (checked.error) return ChannelAnswer::Failure(*checked.error);
  SetWindowTextW(host.MainWindow(), Utf8ToWide(checked.values[0]).c_str());
  LogInfo("Window title changed to: " + checked.values[0]);
  return ChannelAnswer::Success(Flag(true));
}

ChannelAnswer ShowSessionExpiredToast(ApplicationHost&, const EncodableValue*) {
  ShowSessionExpiredNotice();
  return ChannelAnswer::Success(Flag(true));
}

ChannelAnswer SetLocale(ApplicationHost&, const EncodableValue* arguments) {
  const StringArguments checked =
      RequireStrings(arguments, {"locale"}, "Missing locale argument", "Locale must be a string");
  if (checked.error) return ChannelAnswer::Failure(*checked.error);
  if (auto error = CheckStoredLength("locale", checked.values[0])) {
    return ChannelAnswer::Failure(*error);
  }
  // A locale that cannot be stored would silently give the notices the wrong language.
  if (!SecureStorage::StoreToken("app_locale", checked.values[0])) {
    LogError("Failed to save locale setting");
    return ChannelAnswer::Failure("STORAGE_ERROR", "Failed to save locale setting");
  }
  LogInfo("Native locale set to: " + checked.values[0]);
  return ChannelAnswer::Success(Flag(true));
}

ChannelAnswer SetWindowSize(ApplicationHost& host, const EncodableValue* arguments) {
  if (auto error =
          RequirePresent(arguments, {"width", "height"}, "Missing width or height argument")) {
    return ChannelAnswer::Failure(*error);
  }
  const flutter::EncodableMap& map = *ArgumentMap(arguments);
  const WindowSize size{TruncatedNumber(Lookup(map, "width")),
                        TruncatedNumber(Lookup(map, "height"))};
  ResizeKeepingOrigin(host.MainWindow(), size);
  LogInfo("Window size changed to: " + std::to_string(size.width) + "x" +
          std::to_string(size.height));
  return ChannelAnswer::Success(Flag(true));
}

ChannelAnswer SetWindowHeight(ApplicationHost& host, const EncodableValue* arguments) {
  if (auto error = RequirePresent(arguments, {"showBanner"}, "Missing showBanner argument")) {
    return ChannelAnswer::Failure(*error);
  }
  const auto* show_banner = std::get_if<bool>(Lookup(*ArgumentMap(arguments), "showBanner"));
  if (show_banner == nullptr) {
    return ChannelAnswer::Failure(kInvalidType, "showBanner must be a bool");
  }
  const WindowSize size = BannerWindowSize(*show_banner);
  ResizeKeepingOrigin(host.MainWindow(), size);
  LogInfo("Window height changed to: " + std::to_string(size.height) +
          " (showBanner=" + (*show_banner ? "true" : "false") + ")");
  return ChannelAnswer::Success(Flag(true));
}

}  // namespace bridge_window
