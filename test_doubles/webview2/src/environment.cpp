// The loader's entry points and the environment they create: one browser profile (the user
// data folder) and one dispatcher on the calling thread, which must pump messages.
#include <WebView2.h>

#include <memory>

#include "browser_profile.h"
#include "com_object.h"
#include "controller.h"
#include "dispatcher.h"
#include "host_window.h"
#include "web_view.h"

namespace {

class Environment final : public ComObject<ICoreWebView2Environment> {
 public:
  Environment(std::shared_ptr<BrowserProfile> profile, std::shared_ptr<Dispatcher> dispatcher)
      : profile_(std::move(profile)), dispatcher_(std::move(dispatcher)) {}

  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
    if (handler == nullptr) return E_POINTER;
    if (parent == nullptr || !IsWindow(parent)) return E_INVALIDARG;
    ComPtr<Environment> self(this);
    ComPtr<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> kept(handler);
    dispatcher_->Post([self, kept, parent]() {
      auto host = std::make_shared<HostWindow>(parent);
      if (!host->IsOpen()) {
        kept->Invoke(HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE), nullptr);
        return;
      }
      auto web_view = Make<WebView>(self->profile_, self->dispatcher_, host, self);
      auto controller = Make<Controller>(web_view, host);
      kept->Invoke(S_OK, controller.Get());
    });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(IStream*, int, LPCWSTR, LPCWSTR,
                                                      ICoreWebView2WebResourceResponse**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR* version) override {
    return CopyToCoTaskMem(L"1.0.0.0 stand-in", version);
  }
  HRESULT STDMETHODCALLTYPE add_NewBrowserVersionAvailable(
      ICoreWebView2NewBrowserVersionAvailableEventHandler*, EventRegistrationToken*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE remove_NewBrowserVersionAvailable(EventRegistrationToken) override {
    return E_NOTIMPL;
  }

 protected:
  bool Answers(REFIID iid) const override { return AnyOf(iid, {&IID_ICoreWebView2Environment}); }

 private:
  std::shared_ptr<BrowserProfile> profile_;
  std::shared_ptr<Dispatcher> dispatcher_;
};

// Without a folder the profile lives next to the program, "<program>.exe.WebView2".
std::wstring ProfileFolder(PCWSTR user_data_folder) {
  if (user_data_folder != nullptr && *user_data_folder != L'\0') return user_data_folder;
  wchar_t program[MAX_PATH * 2];
  const DWORD length = GetModuleFileNameW(nullptr, program, static_cast<DWORD>(std::size(program)));
  return std::wstring(program, length) + L".WebView2";
}

// SENDARO_WEBVIEW_NO_RUNTIME set: the machine has no browser runtime, and the loader answers
// as the SDK's does then, at once.
bool RuntimeMissing() {
  wchar_t value[8];
  return GetEnvironmentVariableW(L"SENDARO_WEBVIEW_NO_RUNTIME", value,
                                 static_cast<DWORD>(std::size(value))) != 0;
}

}  // namespace

STDAPI CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR, PCWSTR user_data_folder, ICoreWebView2EnvironmentOptions*,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  if (handler == nullptr) return E_POINTER;
  if (RuntimeMissing()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  std::shared_ptr<Dispatcher> dispatcher = Dispatcher::Create();
  if (!dispatcher) return HRESULT_FROM_WIN32(GetLastError());
  ComPtr<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler> kept(handler);
  std::shared_ptr<BrowserProfile> profile = BrowserProfile::ForFolder(ProfileFolder(user_data_folder));
  if (!profile) {
    const HRESULT failure = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    dispatcher->Post([kept, failure, dispatcher]() { kept->Invoke(failure, nullptr); });
    return S_OK;
  }
  ComPtr<ICoreWebView2Environment> environment = Make<Environment>(profile, dispatcher);
  if (!environment) return E_OUTOFMEMORY;
  dispatcher->Post([kept, environment]() { kept->Invoke(S_OK, environment.Get()); });
  return S_OK;
}

STDAPI CreateCoreWebView2Environment(
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  return CreateCoreWebView2EnvironmentWithOptions(nullptr, nullptr, nullptr, handler);
}
