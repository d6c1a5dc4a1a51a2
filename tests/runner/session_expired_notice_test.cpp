// The session-expired notice: its texts per stored locale, the icon record, and the calls it
// makes to the shell (recorded, then once through the real shell).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "captured_log.h"
#include "debug_output_capture.h"
#include "notification_icon_record.h"
#include "secure_storage.h"
#include "session_expired_notice.h"
#include "session_expired_texts.h"

namespace {

TEST(SessionExpiredTexts, BasqueOnlyForExactlyEu) {
  SessionExpiredTexts basque = SessionExpiredTextsFor(std::string("eu"));
  EXPECT_EQ(basque.language, "eu");
  EXPECT_EQ(basque.title, "Sendaroa");
  EXPECT_EQ(basque.message, "Saioa iraungita");
  for (const std::optional<std::string>& stored :
       {std::optional<std::string>(), std::optional<std::string>("EU"),
        std::optional<std::string>("eu-ES"), std::optional<std::string>(""),
        std::optional<std::string>("es")}) {
    SessionExpiredTexts spanish = SessionExpiredTextsFor(stored);
    EXPECT_EQ(spanish.language, "es");
    EXPECT_EQ(spanish.title, "Sendaro");
    EXPECT_EQ(spanish.message, "Sesi\xF3n caducada");  // Windows-1252 for the shell
    EXPECT_EQ(spanish.message_utf8, "Sesi\xC3\xB3n caducada");
  }
}

TEST(NotificationIconRecord, AddedWithIconAndTipThenTurnedIntoACutBalloon) {
  HWND owner = reinterpret_cast<HWND>(0x1234);
  HICON icon = reinterpret_cast<HICON>(0x5678);
  NOTIFYICONDATAA record = NotificationIconRecord(owner, icon);
#if defined(_WIN64)
  EXPECT_EQ(record.cbSize, 528u);
#endif
  EXPECT_EQ(record.hWnd, owner);
  EXPECT_EQ(record.uID, 12345u);
  EXPECT_EQ(record.uFlags, 22u);
  EXPECT_EQ(record.uCallbackMessage, 0u);
  EXPECT_EQ(record.hIcon, icon);
  EXPECT_STREQ(record.szTip, "Sendaro");
  EXPECT_STREQ(record.szInfo, "");

  SetBalloon(record, std::string(80, 't'), std::string(300, 'm'));
  EXPECT_EQ(record.uFlags, 16u);
  EXPECT_EQ(record.dwInfoFlags, 4u);
  EXPECT_EQ(record.uTimeout, 5000u);
  EXPECT_EQ(std::string(record.szInfoTitle), std::string(63, 't'));
  EXPECT_EQ(std::string(record.szInfo), std::string(255, 'm'));
  EXPECT_EQ(record.hWnd, owner);
  EXPECT_STREQ(record.szTip, "Sendaro");
}

struct ShellCall {
  DWORD message;
  NOTIFYICONDATAA record;
};

class SessionExpiredNoticeShow : public ::testing::Test {
 protected:
  void SetUp() override { saved_locale_ = SecureStorage::GetToken("app_locale"); }
  void TearDown() override {
    if (saved_locale_) {
      SecureStorage::StoreToken("app_locale", *saved_locale_);
    } else {
      SecureStorage::DeleteToken("app_locale");
    }
  }
  std::optional<std::string> saved_locale_;
};

TEST_F(SessionExpiredNoticeShow, AddsTheIconOnceAndShowsABalloonPerNotice) {
  std::vector<ShellCall> calls;
  SessionExpiredNotice notice([&](DWORD message, NOTIFYICONDATAA* record) {
    calls.push_back({message, *record});
    return TRUE;
  });
  DebugOutputCapture capture;
  SecureStorage::DeleteToken("app_locale");
  notice.Show();
  SecureStorage::StoreToken("app_locale", "eu");
  notice.Show();

  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(calls[0].record.uFlags, 22u);
  HWND owner = calls[0].record.hWnd;
  EXPECT_EQ(owner, FindWindowExA(HWND_MESSAGE, nullptr, "STATIC", "MurakoToastWindow"));
  EXPECT_NE(calls[0].record.hIcon, nullptr);

  EXPECT_EQ(calls[1].message, static_cast<DWORD>(NIM_MODIFY));
  EXPECT_STREQ(calls[1].record.szInfoTitle, "Sendaro");
  EXPECT_STREQ(calls[1].record.szInfo, "Sesi\xF3n caducada");
  EXPECT_EQ(calls[2].message, static_cast<DWORD>(NIM_MODIFY));
  EXPECT_STREQ(calls[2].record.szInfoTitle, "Sendaroa");
  EXPECT_STREQ(calls[2].record.szInfo, "Saioa iraungita");
  EXPECT_EQ(calls[2].record.hWnd, owner);

  EXPECT_TRUE(LoggedContaining(capture, "[TOAST SESSION EXPIRED] Sesi\xC3\xB3n caducada (locale: es)"));
  EXPECT_TRUE(LoggedContaining(capture, "[TOAST SESSION EXPIRED] Saioa iraungita (locale: eu)"));
}

// The end of the program can be handled while the shell is still adding the icon (a message
// dispatched meanwhile): the icon goes all the same, once.
TEST_F(SessionExpiredNoticeShow, TheIconIsRemovedAtTheEndAlsoDuringItsAddition) {
  std::vector<DWORD> calls;
  SessionExpiredNotice notice([&](DWORD message, NOTIFYICONDATAA*) {
    calls.push_back(message);
    if (message == NIM_ADD) notice.Remove();
    return TRUE;
  });
  notice.Show();
  notice.Remove();
  EXPECT_EQ(calls, (std::vector<DWORD>{NIM_ADD, NIM_DELETE, NIM_MODIFY}));
}

TEST_F(SessionExpiredNoticeShow, ThroughTheRealShellTheLineIsLoggedAndNothingFails) {
  DebugOutputCapture capture;
  SecureStorage::StoreToken("app_locale", "es");
  ShowSessionExpiredNotice();
  ShowSessionExpiredNotice();
  RemoveSessionExpiredNotice();
  EXPECT_TRUE(LoggedContaining(capture, "[TOAST SESSION EXPIRED] Sesi\xC3\xB3n caducada (locale: es)"));
  EXPECT_FALSE(LoggedContaining(capture, "Session-expired notice failed"));
  EXPECT_FALSE(LoggedContaining(capture, "Removing the session-expired notice failed"));
}

}  // namespace
