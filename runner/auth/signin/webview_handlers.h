#pragma once

#include <windows.h>
#include <unknwn.h>
#include <wrl/client.h>

#include <WebView2.h>

#include "guarded_entry.h"

#include <atomic>
#include <functional>
#include <utility>

// The completion and event handlers the browser calls back, written out by hand (this
// toolchain has no WRL Callback). Each wraps one function taking the arguments of the
// interface's Invoke; the browser holds its own reference while it keeps the handler. An
// exception never leaves Invoke: it becomes E_FAIL.
template <typename Interface, typename Invoke = decltype(&Interface::Invoke)>
class WebViewHandler;

template <typename Interface, typename Declaring, typename... Arguments>
class WebViewHandler<Interface, HRESULT (STDMETHODCALLTYPE Declaring::*)(Arguments...)> final
    : public Interface {
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
    return GuardEntry([&] { return function_ ? function_(arguments...) : S_OK; },
                      [](const CaughtFailure&) -> HRESULT { return E_FAIL; });
  }

 private:
  explicit WebViewHandler(Function function) : function_(std::move(function)) {}
  ~WebViewHandler() = default;

  std::atomic<ULONG> references_{0};
  Function function_;
};

using EnvironmentCompletedHandler =
    WebViewHandler<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>;
using ControllerCompletedHandler =
    WebViewHandler<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>;
using NavigationStartingHandler = WebViewHandler<ICoreWebView2NavigationStartingEventHandler>;
using NavigationCompletedHandler = WebViewHandler<ICoreWebView2NavigationCompletedEventHandler>;
using GetCookiesCompletedHandler = WebViewHandler<ICoreWebView2GetCookiesCompletedHandler>;
using NewWindowRequestedHandler = WebViewHandler<ICoreWebView2NewWindowRequestedEventHandler>;
using ClearBrowsingDataCompletedHandler =
    WebViewHandler<ICoreWebView2ClearBrowsingDataCompletedHandler>;
using DevToolsMethodCompletedHandler =
    WebViewHandler<ICoreWebView2CallDevToolsProtocolMethodCompletedHandler>;
