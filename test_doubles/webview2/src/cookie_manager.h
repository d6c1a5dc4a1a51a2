#pragma once

#include <WebView2.h>

#include <memory>

#include "browser_profile.h"
#include "com_object.h"
#include "dispatcher.h"

// The profile's cookies as the SDK hands them out: GetCookies answers on the dispatcher's
// thread with a snapshot list; a cookie object is a copy, changing it changes nothing stored.
class CookieManager final : public ComObject<ICoreWebView2CookieManager> {
 public:
  CookieManager(std::shared_ptr<BrowserProfile> profile, std::shared_ptr<Dispatcher> dispatcher)
      : profile_(std::move(profile)), dispatcher_(std::move(dispatcher)) {}

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
  std::shared_ptr<BrowserProfile> profile_;
  std::shared_ptr<Dispatcher> dispatcher_;
};
