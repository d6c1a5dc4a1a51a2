#include "cookie_manager.h"

#include <optional>
#include <vector>

#include "string_conversion.h"

HRESULT CopyToCoTaskMem(const std::wstring& text, LPWSTR* out) {
  if (out == nullptr) return E_POINTER;
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (*out == nullptr) return E_OUTOFMEMORY;
  memcpy(*out, text.c_str(), bytes);
  return S_OK;
}

namespace {

class Cookie final : public ComObject<ICoreWebView2Cookie> {
 public:
  explicit Cookie(BrowserCookie cookie) : cookie_(std::move(cookie)) {}

  HRESULT STDMETHODCALLTYPE get_Name(LPWSTR* name) override {
    return CopyToCoTaskMem(Utf8ToWide(cookie_.name), name);
  }
  HRESULT STDMETHODCALLTYPE get_Value(LPWSTR* value) override {
    return CopyToCoTaskMem(Utf8ToWide(cookie_.value), value);
  }
  HRESULT STDMETHODCALLTYPE put_Value(LPCWSTR value) override {
    if (value == nullptr) return E_INVALIDARG;
    cookie_.value = WideToUtf8(value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Domain(LPWSTR* domain) override {
    return CopyToCoTaskMem(Utf8ToWide(cookie_.ReportedDomain()), domain);
  }
  HRESULT STDMETHODCALLTYPE get_Path(LPWSTR* path) override {
    return CopyToCoTaskMem(Utf8ToWide(cookie_.path), path);
  }
  HRESULT STDMETHODCALLTYPE get_Expires(double* expires) override {
    return Out(expires, cookie_.expires);
  }
  HRESULT STDMETHODCALLTYPE put_Expires(double expires) override {
    cookie_.expires = expires;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_IsHttpOnly(BOOL* value) override {
    return Out(value, static_cast<BOOL>(cookie_.http_only));
  }
  HRESULT STDMETHODCALLTYPE put_IsHttpOnly(BOOL value) override {
    cookie_.http_only = value != FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_SameSite(COREWEBVIEW2_COOKIE_SAME_SITE_KIND* kind) override {
    return Out(kind, static_cast<COREWEBVIEW2_COOKIE_SAME_SITE_KIND>(cookie_.same_site));
  }
  HRESULT STDMETHODCALLTYPE put_SameSite(COREWEBVIEW2_COOKIE_SAME_SITE_KIND kind) override {
    cookie_.same_site = kind;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_IsSecure(BOOL* value) override {
    return Out(value, static_cast<BOOL>(cookie_.secure));
  }
  HRESULT STDMETHODCALLTYPE put_IsSecure(BOOL value) override {
    cookie_.secure = value != FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_IsSession(BOOL* value) override {
    return Out(value, static_cast<BOOL>(cookie_.IsSession()));
  }

 protected:
  bool Answers(REFIID iid) const override { return AnyOf(iid, {&IID_ICoreWebView2Cookie}); }

 private:
  template <typename T>
  static HRESULT Out(T* out, T value) {
    if (out == nullptr) return E_POINTER;
    *out = value;
    return S_OK;
  }
  BrowserCookie cookie_;
};

class CookieList final : public ComObject<ICoreWebView2CookieList> {
 public:
  explicit CookieList(const std::vector<BrowserCookie>& cookies) {
    for (const BrowserCookie& cookie : cookies) items_.push_back(Make<Cookie>(cookie));
  }
  HRESULT STDMETHODCALLTYPE get_Count(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = static_cast<UINT>(items_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetValueAtIndex(UINT index, ICoreWebView2Cookie** cookie) override {
    if (cookie == nullptr) return E_POINTER;
    *cookie = nullptr;
    if (index >= items_.size()) return E_INVALIDARG;
    return items_[index].CopyTo(cookie);
  }

 protected:
  bool Answers(REFIID iid) const override { return AnyOf(iid, {&IID_ICoreWebView2CookieList}); }

 private:
  std::vector<ComPtr<Cookie>> items_;
};

}  // namespace

HRESULT STDMETHODCALLTYPE CookieManager::GetCookies(
    LPCWSTR uri, ICoreWebView2GetCookiesCompletedHandler* handler) {
  if (handler == nullptr) return E_POINTER;
  std::optional<WebAddress> address;
  if (uri != nullptr && *uri != L'\0') {
    address = ParseWebAddress(WideToUtf8(uri));
    if (!address || !address->IsHttp()) return E_INVALIDARG;
  }
  ComPtr<ICoreWebView2GetCookiesCompletedHandler> kept(handler);
  const bool queued = store_->Enqueue([kept, address](BrowserProfile& profile) {
    const double now = BrowserProfile::Now();
    ComPtr<ICoreWebView2CookieList> list = Make<CookieList>(
        address ? profile.cookies().For(*address, now) : profile.cookies().All(now));
    kept->Invoke(list ? S_OK : E_OUTOFMEMORY, list.Get());
  });
  return queued ? S_OK : HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
}

namespace {

template <typename Getter>
bool ReadText(Getter getter, std::string& out) {
  LPWSTR text = nullptr;
  const HRESULT result = getter(&text);
  const bool read = SUCCEEDED(result) && text != nullptr;
  if (read) out = WideToUtf8(text);
  CoTaskMemFree(text);
  return read;
}

}  // namespace

HRESULT STDMETHODCALLTYPE CookieManager::DeleteCookie(ICoreWebView2Cookie* cookie) {
  if (cookie == nullptr) return E_INVALIDARG;
  std::string name, domain, path;
  if (!ReadText([&](LPWSTR* text) { return cookie->get_Name(text); }, name) ||
      !ReadText([&](LPWSTR* text) { return cookie->get_Domain(text); }, domain) ||
      !ReadText([&](LPWSTR* text) { return cookie->get_Path(text); }, path)) {
    return E_INVALIDARG;
  }
  const bool queued = store_->Enqueue([name, domain, path](BrowserProfile& profile) {
    profile.cookies().Remove(name, domain, path);
    profile.SaveCookies();
  });
  return queued ? S_OK : HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
}

HRESULT STDMETHODCALLTYPE CookieManager::DeleteAllCookies() {
  const bool queued = store_->Enqueue([](BrowserProfile& profile) {
    profile.cookies().Clear();
    profile.SaveCookies();
  });
  return queued ? S_OK : HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
}
