#pragma once

#include <WebView2.h>

#include <memory>

#include "com_object.h"
#include "cookie_store.h"

// The profile's cookies as the SDK hands them out: GetCookies answers through the cookie
// store's queue with a snapshot list; DeleteCookie and DeleteAllCookies return at once and
// delete when the store gets to them. A cookie object is a copy: changing it changes nothing
// stored.
class CookieManager final : public ComObject<ICoreWebView2CookieManager> {
 public:
  explicit CookieManager(std::shared_ptr<CookieStore> store) : store_(std::move(store)) {}

  HRESULT STDMETHODCALLTYPE CreateCookie(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR,
                                         ICoreWebView2Cookie**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyCookie(ICoreWebView2Cookie*, ICoreWebView2Cookie**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetCookies(LPCWSTR uri,
                                       ICoreWebView2GetCookiesCompletedHandler* handler) override;
  HRESULT STDMETHODCALLTYPE AddOrUpdateCookie(ICoreWebView2Cookie*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteCookie(ICoreWebView2Cookie* cookie) override;
  HRESULT STDMETHODCALLTYPE DeleteCookies(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteCookiesWithDomainAndPath(LPCWSTR, LPCWSTR, LPCWSTR) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DeleteAllCookies() override;

 protected:
  bool Answers(REFIID iid) const override { return AnyOf(iid, {&IID_ICoreWebView2CookieManager}); }

 private:
  std::shared_ptr<CookieStore> store_;
};
