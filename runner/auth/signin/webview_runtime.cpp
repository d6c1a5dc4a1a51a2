#include "webview_runtime.h"

#include <shlobj.h>
#include <knownfolders.h>
#include <objbase.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "logger.h"
#include "unique_handle.h"
#include "string_conversion.h"

namespace {

using CreateEnvironmentFunction = decltype(&CreateCoreWebView2EnvironmentWithOptions);

std::wstring ProgramFolder() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      std::wstring full(path.data(), length);
      const size_t slash = full.find_last_of(L"\\/");
      return slash == std::wstring::npos ? std::wstring() : full.substr(0, slash + 1);
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

CreateEnvironmentFunction LoadCreateEnvironment() {
  const std::wstring folder = ProgramFolder();
  if (folder.empty()) return nullptr;
  UniqueModule loader(LoadLibraryExW((folder + L"WebView2Loader.dll").c_str(), nullptr,
                                     LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!loader) {
    LogError("WebView2Loader.dll not found next to the program (error " +
             std::to_string(GetLastError()) + ")");
    return nullptr;
  }
  auto function = reinterpret_cast<CreateEnvironmentFunction>(reinterpret_cast<void*>(
      GetProcAddress(loader.get(), "CreateCoreWebView2EnvironmentWithOptions")));
  if (function == nullptr) {
    LogError("WebView2Loader.dll has no CreateCoreWebView2EnvironmentWithOptions");
    return nullptr;
  }
  loader.release();  // stays loaded: the function is kept for the rest of the process
  return function;
}

}  // namespace

HRESULT CreateWebViewEnvironment(
    const std::wstring& user_data_folder,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  static const CreateEnvironmentFunction create = LoadCreateEnvironment();
  if (create == nullptr || handler == nullptr) return E_FAIL;
  return create(nullptr, user_data_folder.empty() ? nullptr : user_data_folder.c_str(), nullptr,
                handler);
}

void LogEnvironmentFailure(HRESULT result) {
  char code[16];
  std::snprintf(code, sizeof(code), "0x%08X", static_cast<unsigned>(result));
  LogError("Failed to create WebView2 environment");
  LogError(std::string("   HRESULT: ") + code);
  if (result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) LogError("WebView2 Runtime not found");
}

std::wstring SignInBrowserProfileFolder() {
  UniqueCoTaskMemory<wchar_t> local_app_data;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, local_app_data.put()))) {
    return {};
  }
  return std::wstring(local_app_data.get()) + L"\\MurakoWebView2";
}

namespace {

std::wstring SignedOutMarkPath() {
  const std::wstring folder = SignInBrowserProfileFolder();
  return folder.empty() ? std::wstring() : folder + L"\\signed-out";
}

// Unique to one sign-out of this process, and across runs of the program.
std::string NewMarkText() {
  static uint64_t serial = 0;
  return std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()) + "-" +
         std::to_string(++serial);
}

}  // namespace

std::string MarkSignedOut() {
  const std::wstring path = SignedOutMarkPath();
  if (path.empty()) return {};
  CreateDirectoryW(SignInBrowserProfileFolder().c_str(), nullptr);
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  const std::string mark = NewMarkText();
  DWORD written = 0;
  if (!file || !WriteFile(file.get(), mark.data(), static_cast<DWORD>(mark.size()), &written,
                          nullptr) ||
      written != mark.size()) {
    LogError("Could not mark the sign-in browser's profile as signed out");
    return {};
  }
  return mark;
}

bool HasSignedOutMark() {
  const std::wstring mark = SignedOutMarkPath();
  return !mark.empty() && GetFileAttributesW(mark.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> CurrentSignedOutMark() {
  const std::wstring path = SignedOutMarkPath();
  if (path.empty()) return std::nullopt;
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  char text[64];
  DWORD read = 0;
  if (!file || !ReadFile(file.get(), text, sizeof(text), &read, nullptr)) return std::nullopt;
  return std::string(text, read);
}

void TakeSignedOutMark(const std::string& mark) {
  if (CurrentSignedOutMark() == mark) DeleteFileW(SignedOutMarkPath().c_str());
}

std::optional<std::string> TakeBrowserString(LPWSTR text) {
  const UniqueCoTaskMemory<wchar_t> owned(text);
  if (!owned) return std::nullopt;
  return WideToUtf8(owned.get());
}
