#include "browser_profile_object.h"

#include "browser_trace.h"

namespace {

constexpr int kCookieKinds =
    COREWEBVIEW2_BROWSING_DATA_KINDS_COOKIES | COREWEBVIEW2_BROWSING_DATA_KINDS_ALL_SITE;
constexpr int kStorageKinds =
    COREWEBVIEW2_BROWSING_DATA_KINDS_FILE_SYSTEMS | COREWEBVIEW2_BROWSING_DATA_KINDS_INDEXED_DB |
    COREWEBVIEW2_BROWSING_DATA_KINDS_LOCAL_STORAGE | COREWEBVIEW2_BROWSING_DATA_KINDS_WEB_SQL |
    COREWEBVIEW2_BROWSING_DATA_KINDS_CACHE_STORAGE |
    COREWEBVIEW2_BROWSING_DATA_KINDS_ALL_DOM_STORAGE | COREWEBVIEW2_BROWSING_DATA_KINDS_ALL_SITE;

}  // namespace

HRESULT STDMETHODCALLTYPE ProfileObject::get_ProfileName(LPWSTR* value) {
  return CopyToCoTaskMem(L"Default", value);
}

HRESULT STDMETHODCALLTYPE ProfileObject::get_IsInPrivateModeEnabled(BOOL* value) {
  if (value == nullptr) return E_POINTER;
  *value = FALSE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ProfileObject::get_ProfilePath(LPWSTR* value) {
  return CopyToCoTaskMem(store_->profile()->folder(), value);
}

HRESULT STDMETHODCALLTYPE ProfileObject::ClearBrowsingData(
    COREWEBVIEW2_BROWSING_DATA_KINDS kinds,
    ICoreWebView2ClearBrowsingDataCompletedHandler* handler) {
  ComPtr<ICoreWebView2ClearBrowsingDataCompletedHandler> kept(handler);
  const bool cookies = (kinds & kCookieKinds) != 0;
  const bool storage = (kinds & kStorageKinds) != 0;
  const bool queued = store_->Enqueue([kept, cookies, storage](BrowserProfile& profile) {
    if (cookies) {
      profile.cookies().Clear();
      profile.SaveCookies();
      Trace("browsing data cleared: cookies");
    }
    if (storage) {
      profile.ClearSiteData();
      Trace("browsing data cleared: site data");
    }
    if (kept) kept->Invoke(S_OK);
  });
  return queued ? S_OK : HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
}

HRESULT STDMETHODCALLTYPE ProfileObject::ClearBrowsingDataAll(
    ICoreWebView2ClearBrowsingDataCompletedHandler* handler) {
  return ClearBrowsingData(COREWEBVIEW2_BROWSING_DATA_KINDS_ALL_SITE, handler);
}
