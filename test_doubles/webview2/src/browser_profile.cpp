#include "browser_profile.h"

#include <windows.h>

#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace {

bool CreateFolderTree(const std::wstring& folder) {
  if (folder.empty()) return false;
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const size_t slash = folder.find_last_of(L"\\/");
  if (slash != std::wstring::npos && slash > 0 && folder[slash - 1] != L':') {
    CreateFolderTree(folder.substr(0, slash));
  }
  return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::wstring Normalised(std::wstring folder) {
  while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  return folder;
}

}  // namespace

std::shared_ptr<BrowserProfile> BrowserProfile::ForFolder(const std::wstring& requested) {
  static std::mutex lock;
  static std::map<std::wstring, std::weak_ptr<BrowserProfile>> open;
  const std::wstring folder = Normalised(requested);
  if (!CreateFolderTree(folder)) return nullptr;
  std::wstring key = folder;
  CharLowerBuffW(&key[0], static_cast<DWORD>(key.size()));
  std::lock_guard<std::mutex> guard(lock);
  if (auto existing = open[key].lock()) return existing;
  std::shared_ptr<BrowserProfile> profile(new BrowserProfile(folder));
  std::ifstream file(profile->CookieFile().c_str(), std::ios::binary);
  if (file) {
    std::stringstream text;
    text << file.rdbuf();
    profile->cookies_.LoadPersistentText(text.str(), Now());
  }
  profile->LoadSiteData();
  open[key] = profile;
  return profile;
}

void BrowserProfile::SaveCookies() {
  const std::wstring file = CookieFile();
  const std::wstring temporary = file + L".new";
  {
    std::ofstream out(temporary.c_str(), std::ios::binary | std::ios::trunc);
    out << cookies_.PersistentText(Now());
    if (!out) return;
  }
  MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING);
}

void BrowserProfile::StoreSiteData(const std::string& origin, const std::string& key) {
  site_data_[origin].insert(key);
  SaveSiteData();
}

void BrowserProfile::ClearSiteData() {
  site_data_.clear();
  SaveSiteData();
}

void BrowserProfile::ClearSiteDataOf(const std::string& origin) {
  site_data_.erase(origin);
  SaveSiteData();
}

// One line per item: the origin, a blank, the key.
void BrowserProfile::LoadSiteData() {
  std::ifstream file(SiteDataFile().c_str(), std::ios::binary);
  std::string line;
  while (std::getline(file, line)) {
    const size_t blank = line.find(' ');
    if (blank == std::string::npos) continue;
    site_data_[line.substr(0, blank)].insert(line.substr(blank + 1));
  }
}

void BrowserProfile::SaveSiteData() {
  std::ofstream out(SiteDataFile().c_str(), std::ios::binary | std::ios::trunc);
  for (const auto& [origin, keys] : site_data_) {
    for (const std::string& key : keys) out << origin << ' ' << key << '\n';
  }
}

double BrowserProfile::Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return static_cast<double>(ticks - 116444736000000000ULL) / 1e7;
}
