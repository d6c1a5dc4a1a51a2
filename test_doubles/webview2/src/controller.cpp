#include "controller.h"

namespace {

const HRESULT kClosed = HRESULT_FROM_WIN32(ERROR_INVALID_STATE);

}  // namespace

HRESULT STDMETHODCALLTYPE Controller::get_IsVisible(BOOL* visible) {
  if (visible == nullptr) return E_POINTER;
  *visible = host_->visible() ? TRUE : FALSE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Controller::put_IsVisible(BOOL visible) {
  if (closed_) return kClosed;
  host_->SetVisible(visible != FALSE);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Controller::get_Bounds(RECT* bounds) {
  if (bounds == nullptr) return E_POINTER;
  *bounds = host_->bounds();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Controller::put_Bounds(RECT bounds) {
  if (closed_) return kClosed;
  host_->SetBounds(bounds);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Controller::get_ParentWindow(HWND* parent) {
  if (parent == nullptr) return E_POINTER;
  *parent = host_->parent();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Controller::Close() {
  if (closed_) return S_OK;
  closed_ = true;
  web_view_->Close();
  host_->Destroy();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Controller::get_CoreWebView2(ICoreWebView2** web_view) {
  if (web_view == nullptr) return E_POINTER;
  *web_view = nullptr;
  if (closed_) return kClosed;
  return web_view_.CopyTo(web_view);
}
