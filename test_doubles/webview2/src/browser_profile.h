#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cookie_jar.h"

// A browser profile: the user-data folder and the cookies and site data (web storage, by
// origin) kept in it. Environments of one process that name the same folder share one
// profile, as browser processes do.
class BrowserProfile {
 public:
  // The folder is created when missing; nothing when it cannot be.
  static std::shared_ptr<BrowserProfile> ForFolder(const std::wstring& folder);

  const std::wstring& folder() const { return folder_; }
  CookieJar& cookies() { return cookies_; }
  // Writes the persistent cookies to the folder after a change.
  void SaveCookies();

  // An item a page of `origin` ("scheme://host[:port]") stored; kept in the folder at once.
  void StoreSiteData(const std::string& origin, const std::string& key);
  // Every origin's site data, or one origin's.
  void ClearSiteData();
  void ClearSiteDataOf(const std::string& origin);

  static double Now();  // seconds since 1970, UTC

 private:
  explicit BrowserProfile(std::wstring folder) : folder_(std::move(folder)) {}
  std::wstring CookieFile() const { return folder_ + L"\\Cookies.txt"; }
  std::wstring SiteDataFile() const { return folder_ + L"\\SiteData.txt"; }
  void LoadSiteData();
  void SaveSiteData();

  std::wstring folder_;
  CookieJar cookies_;
  std::map<std::string, std::set<std::string>> site_data_;  // the item keys by origin
};
