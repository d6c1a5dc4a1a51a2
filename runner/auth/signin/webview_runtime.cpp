#include "webview_runtime.h"

#include <shlobj.h>
#include <knownfolders.h>
#include <objbase.h>

#include <vector>

#include "logger.h"
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
  HMODULE loader = LoadLibraryExW((folder + L"WebView2Loader.dll").c_str(), nullptr,
                                  LOAD_WITH_ALTERED_SEARCH_PATH);
  if (loader == nullptr) {
    LogError("WebView2Loader.dll not found next to the program (error " +
             std::to_string(GetLastError()) + ")");
    return nullptr;
  }
  auto function = reinterpret_cast<CreateEnvironmentFunction>(
      reinterpret_cast<void*>(GetProcAddress(loader, "CreateCoreWebView2EnvironmentWithOptions")));
  if (function == nullptr) {
    LogError("WebView2Loader.dll has no CreateCoreWebView2EnvironmentWithOptions");
    FreeLibrary(loader);
  }
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

std::wstring SignInBrowserProfileFolder() {
  PWSTR local_app_data = nullptr;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local_app_data))) {
    CoTaskMemFree(local_app_data);
    return {};
  }
  std::wstring folder = std::wstring(local_app_data) + L"\\MurakoWebView2";
  CoTaskMemFree(local_app_data);
  return folder;
}

std::optional<std::string> TakeBrowserString(LPWSTR text) {
  if (text == nullptr) return std::nullopt;
  std::string converted = WideToUtf8(text);
  CoTaskMemFree(text);
  return converted;
}
