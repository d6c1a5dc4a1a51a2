#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

// The notification-area icon record of the session-expired notice, in the shell's ANSI layout.

constexpr UINT kNoticeIconId = 12345;
constexpr UINT kNoticeBalloonTimeoutMs = 5000;

// The record as the icon is first added: icon, tip "Sendaro", no balloon yet.
NOTIFYICONDATAA NotificationIconRecord(HWND owner, HICON icon);

// Turns the record into a balloon with `title` and `message`, cut to what the fields hold
// (63 and 255 bytes), showing the record's own icon.
void SetBalloon(NOTIFYICONDATAA& record, const std::string& title, const std::string& message);
