#pragma once

#include <WebView2.h>

#include <string>
#include <utility>

#include "com_object.h"
#include "event_args.h"

// The arguments of the events by which a page asks for more than a navigation: a window, a
// TLS client certificate, HTTP basic credentials. What a handler answers is read back after.

// The frame an event came from. The stand-in's pages open windows from their main frame only.
class MainFrameInfo final : public ComObject<ICoreWebView2FrameInfo2> {
 public:
  explicit MainFrameInfo(std::wstring source) : source_(std::move(source)) {}

  HRESULT STDMETHODCALLTYPE get_Name(LPWSTR* name) override { return CopyToCoTaskMem(L"", name); }
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* source) override {
    return CopyToCoTaskMem(source_, source);
  }
  HRESULT STDMETHODCALLTYPE get_ParentFrameInfo(ICoreWebView2FrameInfo** parent) override {
    return OutValue(parent, nullptr);
  }
  HRESULT STDMETHODCALLTYPE get_FrameId(UINT32* id) override { return OutValue(id, 0); }
  HRESULT STDMETHODCALLTYPE get_FrameKind(COREWEBVIEW2_FRAME_KIND* kind) override {
    return OutValue(kind, COREWEBVIEW2_FRAME_KIND_MAIN_FRAME);
  }

 protected:
  bool Answers(REFIID iid) const override {
    return AnyOf(iid, {&IID_ICoreWebView2FrameInfo, &IID_ICoreWebView2FrameInfo2});
  }

 private:
  std::wstring source_;
};

class NewWindowRequestedArgs final : public ComObject<ICoreWebView2NewWindowRequestedEventArgs3> {
 public:
  NewWindowRequestedArgs(std::wstring uri, bool user_initiated, std::wstring page)
      : uri_(std::move(uri)), user_initiated_(user_initiated), page_(std::move(page)) {}
  bool handled() const { return handled_ != FALSE; }
  bool given_window() const { return new_window_ != nullptr; }

  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override { return CopyToCoTaskMem(uri_, uri); }
  HRESULT STDMETHODCALLTYPE put_NewWindow(ICoreWebView2* window) override {
    return KeepValue(new_window_, window);
  }
  HRESULT STDMETHODCALLTYPE get_NewWindow(ICoreWebView2** window) override {
    if (window == nullptr) return E_POINTER;
    return new_window_.CopyTo(window);
  }
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) override { return KeepValue(handled_, handled); }
  HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) override { return OutValue(handled, handled_); }
  HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* value) override {
    return OutValue(value, user_initiated_ ? TRUE : FALSE);
  }
  HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_WindowFeatures(ICoreWebView2WindowFeatures**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Name(LPWSTR* name) override { return CopyToCoTaskMem(L"", name); }
  HRESULT STDMETHODCALLTYPE get_OriginalSourceFrameInfo(ICoreWebView2FrameInfo** frame) override {
    if (frame == nullptr) return E_POINTER;
    *frame = Make<MainFrameInfo>(page_).Detach();
    return *frame != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 protected:
  bool Answers(REFIID iid) const override {
    return AnyOf(iid, {&IID_ICoreWebView2NewWindowRequestedEventArgs,
                       &IID_ICoreWebView2NewWindowRequestedEventArgs2,
                       &IID_ICoreWebView2NewWindowRequestedEventArgs3});
  }

 private:
  std::wstring uri_;
  bool user_initiated_;
  std::wstring page_;
  BOOL handled_ = FALSE;
  ComPtr<ICoreWebView2> new_window_;
};

// No certificates are listed and none can be chosen: what matters is cancelled or handled.
class ClientCertificateRequestedArgs final
    : public ComObject<ICoreWebView2ClientCertificateRequestedEventArgs> {
 public:
  ClientCertificateRequestedArgs(std::wstring host, int port) : host_(std::move(host)), port_(port) {}
  bool cancelled() const { return cancel_ != FALSE; }
  bool handled() const { return handled_ != FALSE; }

  HRESULT STDMETHODCALLTYPE get_Host(LPWSTR* host) override { return CopyToCoTaskMem(host_, host); }
  HRESULT STDMETHODCALLTYPE get_Port(int* port) override { return OutValue(port, port_); }
  HRESULT STDMETHODCALLTYPE get_IsProxy(BOOL* proxy) override { return OutValue(proxy, FALSE); }
  HRESULT STDMETHODCALLTYPE get_AllowedCertificateAuthorities(
      ICoreWebView2StringCollection**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_MutuallyTrustedCertificates(
      ICoreWebView2ClientCertificateCollection**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_SelectedCertificate(ICoreWebView2ClientCertificate**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE put_SelectedCertificate(ICoreWebView2ClientCertificate*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* cancel) override { return OutValue(cancel, cancel_); }
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) override { return KeepValue(cancel_, cancel); }
  HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) override { return OutValue(handled, handled_); }
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) override { return KeepValue(handled_, handled); }
  HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral**) override { return E_NOTIMPL; }

 protected:
  bool Answers(REFIID iid) const override {
    return AnyOf(iid, {&IID_ICoreWebView2ClientCertificateRequestedEventArgs});
  }

 private:
  std::wstring host_;
  int port_;
  BOOL cancel_ = FALSE;
  BOOL handled_ = FALSE;
};

class BasicAuthenticationRequestedArgs final
    : public ComObject<ICoreWebView2BasicAuthenticationRequestedEventArgs> {
 public:
  BasicAuthenticationRequestedArgs(std::wstring uri, std::wstring challenge)
      : uri_(std::move(uri)), challenge_(std::move(challenge)) {}
  bool cancelled() const { return cancel_ != FALSE; }

  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override { return CopyToCoTaskMem(uri_, uri); }
  HRESULT STDMETHODCALLTYPE get_Challenge(LPWSTR* challenge) override {
    return CopyToCoTaskMem(challenge_, challenge);
  }
  HRESULT STDMETHODCALLTYPE get_Response(ICoreWebView2BasicAuthenticationResponse**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* cancel) override { return OutValue(cancel, cancel_); }
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) override { return KeepValue(cancel_, cancel); }
  HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral**) override { return E_NOTIMPL; }

 protected:
  bool Answers(REFIID iid) const override {
    return AnyOf(iid, {&IID_ICoreWebView2BasicAuthenticationRequestedEventArgs});
  }

 private:
  std::wstring uri_;
  std::wstring challenge_;
  BOOL cancel_ = FALSE;
};
