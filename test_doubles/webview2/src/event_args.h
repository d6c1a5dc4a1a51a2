#pragma once

#include <WebView2.h>

#include <string>
#include <utility>

#include "com_object.h"

// The arguments of the browser's events, as the SDK hands them to handlers: what a handler may
// read and the answers it gives (cancel, handled, a window of its own), read back afterwards.

// A getter's answer: `value` through `out`, or E_POINTER for a null one.
template <typename T, typename V>
HRESULT OutValue(T* out, V value) {
  if (out == nullptr) return E_POINTER;
  *out = static_cast<T>(value);
  return S_OK;
}

// A setter's: `value` kept in `field`.
template <typename T, typename V>
HRESULT KeepValue(T& field, V value) {
  field = value;
  return S_OK;
}

class NavigationStartingArgs final : public ComObject<ICoreWebView2NavigationStartingEventArgs> {
 public:
  NavigationStartingArgs(std::wstring uri, bool user_initiated, bool redirected, uint64_t id)
      : uri_(std::move(uri)), user_initiated_(user_initiated), redirected_(redirected), id_(id) {}
  bool cancelled() const { return cancel_ != FALSE; }

  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override { return CopyToCoTaskMem(uri_, uri); }
  HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* value) override {
    return OutValue(value, static_cast<BOOL>(user_initiated_));
  }
  HRESULT STDMETHODCALLTYPE get_IsRedirected(BOOL* value) override {
    return OutValue(value, static_cast<BOOL>(redirected_));
  }
  HRESULT STDMETHODCALLTYPE get_RequestHeaders(ICoreWebView2HttpRequestHeaders**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* cancel) override { return OutValue(cancel, cancel_); }
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) override {
    cancel_ = cancel;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* id) override { return OutValue(id, id_); }

 protected:
  bool Answers(REFIID iid) const override {
    return AnyOf(iid, {&IID_ICoreWebView2NavigationStartingEventArgs});
  }

 private:
  std::wstring uri_;
  bool user_initiated_;
  bool redirected_;
  UINT64 id_;
  BOOL cancel_ = FALSE;
};

class NavigationCompletedArgs final : public ComObject<ICoreWebView2NavigationCompletedEventArgs> {
 public:
  NavigationCompletedArgs(bool success, int status, uint64_t id)
      : success_(success), status_(status), id_(id) {}
  HRESULT STDMETHODCALLTYPE get_IsSuccess(BOOL* success) override {
    return OutValue(success, success_ ? TRUE : FALSE);
  }
  HRESULT STDMETHODCALLTYPE get_WebErrorStatus(COREWEBVIEW2_WEB_ERROR_STATUS* status) override {
    return OutValue(status, static_cast<COREWEBVIEW2_WEB_ERROR_STATUS>(status_));
  }
  HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* id) override {
    return OutValue(id, id_);
  }

 protected:
  bool Answers(REFIID iid) const override {
    return AnyOf(iid, {&IID_ICoreWebView2NavigationCompletedEventArgs});
  }

 private:
  bool success_;
  int status_;
  UINT64 id_;
};

class DownloadStartingArgs final : public ComObject<ICoreWebView2DownloadStartingEventArgs> {
 public:
  explicit DownloadStartingArgs(std::wstring path) : path_(std::move(path)) {}
  bool cancelled() const { return cancel_ != FALSE; }

  HRESULT STDMETHODCALLTYPE get_DownloadOperation(ICoreWebView2DownloadOperation**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* cancel) override {
    return OutValue(cancel, cancel_);
  }
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) override {
    cancel_ = cancel;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ResultFilePath(LPWSTR* path) override {
    return CopyToCoTaskMem(path_, path);
  }
  HRESULT STDMETHODCALLTYPE put_ResultFilePath(LPCWSTR path) override {
    if (path == nullptr) return E_INVALIDARG;
    path_ = path;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) override {
    return OutValue(handled, handled_);
  }
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) override {
    handled_ = handled;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral**) override { return E_NOTIMPL; }

 protected:
  bool Answers(REFIID iid) const override {
    return AnyOf(iid, {&IID_ICoreWebView2DownloadStartingEventArgs});
  }

 private:
  std::wstring path_;
  BOOL cancel_ = FALSE;
  BOOL handled_ = FALSE;
};

class LaunchingExternalUriSchemeArgs final
    : public ComObject<ICoreWebView2LaunchingExternalUriSchemeEventArgs> {
 public:
  LaunchingExternalUriSchemeArgs(std::wstring uri, std::wstring origin, bool user_initiated)
      : uri_(std::move(uri)), origin_(std::move(origin)), user_initiated_(user_initiated) {}
  bool cancelled() const { return cancel_ != FALSE; }

  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override { return CopyToCoTaskMem(uri_, uri); }
  HRESULT STDMETHODCALLTYPE get_InitiatingOrigin(LPWSTR* origin) override {
    return CopyToCoTaskMem(origin_, origin);
  }
  HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* value) override {
    return OutValue(value, user_initiated_ ? TRUE : FALSE);
  }
  HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* cancel) override {
    return OutValue(cancel, cancel_);
  }
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) override {
    cancel_ = cancel;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral**) override { return E_NOTIMPL; }

 protected:
  bool Answers(REFIID iid) const override {
    return AnyOf(iid, {&IID_ICoreWebView2LaunchingExternalUriSchemeEventArgs});
  }

 private:
  std::wstring uri_;
  std::wstring origin_;
  bool user_initiated_;
  BOOL cancel_ = FALSE;
};
