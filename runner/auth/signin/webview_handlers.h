#pragma once

#include <windows.h>
#include <unknwn.h>
#include <wrl/client.h>

#include <WebView2.h>

#include <atomic>
#include <functional>
#include <utility>

// The completion and event handlers the browser calls back, written out by hand (this
// toolchain has no WRL Callback). Each wraps one function; the browser holds its own
// reference while it keeps the handler. An exception never leaves Invoke: it becomes E_FAIL.
template <typename Interface, typename... Arguments>
class WebViewHandler final : public Interface {
 public:
  using Function = std::function<HRESULT(Arguments...)>;

  // The only reference is the returned one. (ComPtr::Attach is avoided: this toolchain's
  // version adds a reference the real one does not.)
  static Microsoft::WRL::ComPtr<Interface> Create(Function function) {
    return Microsoft::WRL::ComPtr<Interface>(new WebViewHandler(std::move(function)));
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(Interface))) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG remaining = --references_;
    if (remaining == 0) delete this;
    return remaining;
  }
  HRESULT STDMETHODCALLTYPE Invoke(Arguments... arguments) override {
    try {
      return function_ ? function_(arguments...) : S_OK;
    } catch (...) {
      return E_FAIL;
    }
  }

 private:
  explicit WebViewHandler(Function function) : function_(std::move(function)) {}
  ~WebViewHandler() = default;

  std::atomic<ULONG> references_{0};
  Function function_;
};

using EnvironmentCompletedHandler =
    WebViewHandler<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, HRESULT,
                   ICoreWebView2Environment*>;
using ControllerCompletedHandler =
    WebViewHandler<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, HRESULT,
                   ICoreWebView2Controller*>;
using NavigationStartingHandler =
    WebViewHandler<ICoreWebView2NavigationStartingEventHandler, ICoreWebView2*,
                   ICoreWebView2NavigationStartingEventArgs*>;
using NavigationCompletedHandler =
    WebViewHandler<ICoreWebView2NavigationCompletedEventHandler, ICoreWebView2*,
                   ICoreWebView2NavigationCompletedEventArgs*>;
using GetCookiesCompletedHandler =
    WebViewHandler<ICoreWebView2GetCookiesCompletedHandler, HRESULT, ICoreWebView2CookieList*>;
using NewWindowRequestedHandler =
    WebViewHandler<ICoreWebView2NewWindowRequestedEventHandler, ICoreWebView2*,
                   ICoreWebView2NewWindowRequestedEventArgs*>;
using DownloadStartingHandler =
    WebViewHandler<ICoreWebView2DownloadStartingEventHandler, ICoreWebView2*,
                   ICoreWebView2DownloadStartingEventArgs*>;
using LaunchingExternalUriSchemeHandler =
    WebViewHandler<ICoreWebView2LaunchingExternalUriSchemeEventHandler, ICoreWebView2*,
                   ICoreWebView2LaunchingExternalUriSchemeEventArgs*>;
using ClientCertificateRequestedHandler =
    WebViewHandler<ICoreWebView2ClientCertificateRequestedEventHandler, ICoreWebView2*,
                   ICoreWebView2ClientCertificateRequestedEventArgs*>;
using BasicAuthenticationRequestedHandler =
    WebViewHandler<ICoreWebView2BasicAuthenticationRequestedEventHandler, ICoreWebView2*,
                   ICoreWebView2BasicAuthenticationRequestedEventArgs*>;
using ClearBrowsingDataCompletedHandler =
    WebViewHandler<ICoreWebView2ClearBrowsingDataCompletedHandler, HRESULT>;
