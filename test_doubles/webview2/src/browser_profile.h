#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cookie_jar.h"

// A browser profile: the user-data folder and the cookies kept in it. Environments of one
// process that name the same folder share one profile, as browser processes do.
class BrowserProfile {
 public:
  // The folder is created when missing; nothing when it cannot be.
  static std::shared_ptr<BrowserProfile> ForFolder(const std::wstring& folder);

  const std::wstring& folder() const { return folder_; }
  CookieJar& cookies() { return cookies_; }
  // Writes the persistent cookies to the folder after a change.
  void SaveCookies();

  static double Now();  // seconds since 1970, UTC

 private:
  explicit BrowserProfile(std::wstring folder) : folder_(std::move(folder)) {}
  std::wstring CookieFile() const { return folder_ + L"\\Cookies.txt"; }

  std::wstring folder_;
  CookieJar cookies_;
};
