#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>

// The balloon that tells the user the session has expired, shown from an icon in the
// notification area. The icon is added at the first notice and stays until the program ends
// (`Remove`); later notices only change it.
class SessionExpiredNotice {
 public:
  // Shell_NotifyIconA, or a stand-in that records the calls.
  using ShellNotify = std::function<BOOL(DWORD message, NOTIFYICONDATAA* record)>;

  explicit SessionExpiredNotice(ShellNotify shell = nullptr);
  SessionExpiredNotice(const SessionExpiredNotice&) = delete;
  SessionExpiredNotice& operator=(const SessionExpiredNotice&) = delete;

  void Show();
  // Takes the icon out of the notification area, if it is there.
  void Remove();

 private:
  void SetUpIcon();

  ShellNotify shell_;
  bool initialised_ = false;
  NOTIFYICONDATAA record_;
};

// The process-wide notice, used by session upkeep and the native bridge channel, and removed
// when the program ends.
void ShowSessionExpiredNotice();
void RemoveSessionExpiredNotice();
