#pragma once

#include <WebView2.h>

#include <memory>

#include "com_object.h"
#include "host_window.h"
#include "web_view.h"

// The browser's place in the caller's window: bounds, visibility and shutdown.
class Controller final : public ComObject<ICoreWebView2Controller> {
 public:
  Controller(ComPtr<WebView> web_view, std::shared_ptr<HostWindow> host)
      : web_view_(std::move(web_view)), host_(std::move(host)) {}
  ~Controller() override { Close(); }

  HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* visible) override;
  HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL visible) override;
  HRESULT STDMETHODCALLTYPE get_Bounds(RECT* bounds) override;
  HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) override;
  HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* parent) override;
  HRESULT STDMETHODCALLTYPE Close() override;
  HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** web_view) override;

  SENDARO_NOT_IMPLEMENTED(get_ZoomFactor, double*)
  SENDARO_NOT_IMPLEMENTED(put_ZoomFactor, double)
  SENDARO_NOT_IMPLEMENTED(add_ZoomFactorChanged, ICoreWebView2ZoomFactorChangedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_ZoomFactorChanged, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(SetBoundsAndZoomFactor, RECT, double)
  SENDARO_NOT_IMPLEMENTED(MoveFocus, COREWEBVIEW2_MOVE_FOCUS_REASON)
  SENDARO_NOT_IMPLEMENTED(add_MoveFocusRequested, ICoreWebView2MoveFocusRequestedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_MoveFocusRequested, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(add_GotFocus, ICoreWebView2FocusChangedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_GotFocus, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(add_LostFocus, ICoreWebView2FocusChangedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_LostFocus, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(add_AcceleratorKeyPressed, ICoreWebView2AcceleratorKeyPressedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_AcceleratorKeyPressed, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(put_ParentWindow, HWND)
  SENDARO_NOT_IMPLEMENTED(NotifyParentWindowPositionChanged)

 protected:
  bool Answers(REFIID iid) const override { return AnyOf(iid, {&IID_ICoreWebView2Controller}); }

 private:
  ComPtr<WebView> web_view_;
  std::shared_ptr<HostWindow> host_;
  bool closed_ = false;
};
