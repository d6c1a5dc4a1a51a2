#include "session_expired_notice.h"

#include <cstring>
#include <utility>

#include "guarded_entry.h"
#include "logger.h"
#include "notification_icon_record.h"
#include "secure_storage.h"
#include "session_expired_texts.h"

namespace {

constexpr int kProgramIconResource = 101;

HWND CreateOwnerWindow() {
  HWND window = CreateWindowExA(0, "STATIC", "MurakoToastWindow", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, nullptr, nullptr);
  return window != nullptr ? window : GetDesktopWindow();
}

HICON LoadNoticeIcon() {
  HICON icon = LoadIcon(GetModuleHandle(nullptr), MAKEINTRESOURCE(kProgramIconResource));
  return icon != nullptr ? icon : LoadIcon(nullptr, IDI_INFORMATION);
}

}  // namespace

SessionExpiredNotice::SessionExpiredNotice(ShellNotify shell) : shell_(std::move(shell)) {
  if (!shell_) {
    shell_ = [](DWORD message, NOTIFYICONDATAA* record) {
      return Shell_NotifyIconA(message, record);
    };
  }
  std::memset(&record_, 0, sizeof(record_));
}

// Marked first: the shell's answer may come after the program's end was handled meanwhile.
void SessionExpiredNotice::SetUpIcon() {
  record_ = NotificationIconRecord(CreateOwnerWindow(), LoadNoticeIcon());
  initialised_ = true;
  shell_(NIM_ADD, &record_);  // the balloon that follows tells whether the shell took it
}

void SessionExpiredNotice::Show() {
  const SessionExpiredTexts texts = SessionExpiredTextsFor(SecureStorage::GetToken("app_locale"));
  // Logged before the shell is involved, so the line exists even when no balloon appears.
  LogInfo("[TOAST SESSION EXPIRED] " + texts.message_utf8 + " (locale: " + texts.language + ")");
  if (!initialised_) SetUpIcon();
  SetBalloon(record_, texts.title, texts.message);
  shell_(NIM_MODIFY, &record_);
}

void SessionExpiredNotice::Remove() {
  if (!initialised_) return;
  initialised_ = false;
  shell_(NIM_DELETE, &record_);
}

namespace {

// Never freed: a notice may still be shown while the program ends.
SessionExpiredNotice& ProcessNotice() {
  static SessionExpiredNotice* const notice = new SessionExpiredNotice();
  return *notice;
}

}  // namespace

void ShowSessionExpiredNotice() {
  GuardEntry([] { ProcessNotice().Show(); },
             [](const CaughtFailure& caught) {
               if (caught.IsStandard()) {
                 LogEntryFailure("Session-expired notice failed: ", caught);
               } else {
                 LogError("Session-expired notice failed");
               }
             });
}

void RemoveSessionExpiredNotice() {
  GuardEntry([] { ProcessNotice().Remove(); },
             [](const CaughtFailure&) { LogError("Removing the session-expired notice failed"); });
}
