#include "notification_icon_record.h"

#include <cstring>

#if defined(_WIN64)
static_assert(sizeof(NOTIFYICONDATAA) == 528, "the full ANSI notification record");
#endif

namespace {

// Copies as much of `text` as fits with its terminating zero.
template <size_t N>
void CopyTruncated(char (&field)[N], const std::string& text) {
  const size_t length = text.size() < N - 1 ? text.size() : N - 1;
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

}  // namespace

NOTIFYICONDATAA NotificationIconRecord(HWND owner, HICON icon) {
  NOTIFYICONDATAA record;
  std::memset(&record, 0, sizeof(record));
  record.cbSize = sizeof(record);
  record.hWnd = owner;
  record.uID = kNoticeIconId;
  record.uFlags = NIF_ICON | NIF_TIP | NIF_INFO;
  record.hIcon = icon;
  CopyTruncated(record.szTip, "Sendaro");
  return record;
}

void SetBalloon(NOTIFYICONDATAA& record, const std::string& title, const std::string& message) {
  CopyTruncated(record.szInfoTitle, title);
  CopyTruncated(record.szInfo, message);
  record.uFlags = NIF_INFO;
  record.dwInfoFlags = NIIF_USER;
  record.uTimeout = kNoticeBalloonTimeoutMs;
}
