#pragma once

#include <WebView2.h>

#include <memory>

#include "com_object.h"
#include "cookie_store.h"

// The browser's profile as ICoreWebView2_13::get_Profile hands it out. ClearBrowsingData
// clears through the cookie store's queue and calls its handler once the store got to it; a
// browser closed before then never calls it. The cookies go with COOKIES or ALL_SITE, the web
// storage of every origin with a DOM storage kind or ALL_SITE; the stand-in keeps no cache.
class ProfileObject final : public ComObject<ICoreWebView2Profile2> {
 public:
  explicit ProfileObject(std::shared_ptr<CookieStore> store) : store_(std::move(store)) {}

  HRESULT STDMETHODCALLTYPE get_ProfileName(LPWSTR* value) override;
  HRESULT STDMETHODCALLTYPE get_IsInPrivateModeEnabled(BOOL* value) override;
  HRESULT STDMETHODCALLTYPE get_ProfilePath(LPWSTR* value) override;
  HRESULT STDMETHODCALLTYPE get_DefaultDownloadFolderPath(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_DefaultDownloadFolderPath(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_PreferredColorScheme(
      COREWEBVIEW2_PREFERRED_COLOR_SCHEME*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_PreferredColorScheme(
      COREWEBVIEW2_PREFERRED_COLOR_SCHEME) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ClearBrowsingData(
      COREWEBVIEW2_BROWSING_DATA_KINDS kinds,
      ICoreWebView2ClearBrowsingDataCompletedHandler* handler) override;
  HRESULT STDMETHODCALLTYPE ClearBrowsingDataInTimeRange(
      COREWEBVIEW2_BROWSING_DATA_KINDS, double, double,
      ICoreWebView2ClearBrowsingDataCompletedHandler*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ClearBrowsingDataAll(
      ICoreWebView2ClearBrowsingDataCompletedHandler* handler) override;

 protected:
  bool Answers(REFIID iid) const override {
    return AnyOf(iid, {&IID_ICoreWebView2Profile, &IID_ICoreWebView2Profile2});
  }

 private:
  std::shared_ptr<CookieStore> store_;
};
