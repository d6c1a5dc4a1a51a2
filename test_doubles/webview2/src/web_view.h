#pragma once

#include <WebView2.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "browser_profile.h"
#include "com_object.h"
#include "cookie_store.h"
#include "dispatcher.h"
#include "event_handlers.h"
#include "host_window.h"
#include "html_page.h"
#include "page_fetch.h"
#include "scripted_user.h"

#define SENDARO_NOT_IMPLEMENTED(method, ...) \
  HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override { return E_NOTIMPL; }

// add_<event> and remove_<event> over the HandlerList `list`.
#define SENDARO_EVENT(event, handler_type, list)                                         \
  HRESULT STDMETHODCALLTYPE add_##event(handler_type* handler, EventRegistrationToken* token) \
      override {                                                                         \
    return list.Add(next_token_, handler, token);                                        \
  }                                                                                      \
  HRESULT STDMETHODCALLTYPE remove_##event(EventRegistrationToken token) override {      \
    return list.Remove(token);                                                           \
  }

// The browser: navigations hop by hop (each hop raises NavigationStarting, may be cancelled,
// and a non-HTTP target is never fetched), each hop fetched on a worker thread and continued on
// the dispatcher's thread, NavigationCompleted at the end, then what the page does by itself
// (its frames' navigations, meta refresh, auto-submitted form, script navigation, window.open)
// and the scripted user's turn. A newer navigation supersedes an older one, whose remaining
// steps are dropped. What a page does later (its refresh, the user's turn) belongs to the page:
// it still happens after a navigation of the page was cancelled, not while one is under way or
// once another page is shown. A frame's navigation raises FrameNavigationStarting; frames are
// not fetched. A link
// with a target and window.open raise NewWindowRequested; unhandled, the window opens outside
// the application (the log says so). An attachment raises DownloadStarting; not cancelled, it
// is saved (the log says so). A navigation of the window or of a frame to any other scheme than
// http and https that its event lets through asks to launch the scheme's application, raising
// LaunchingExternalUriScheme; not cancelled, the application is launched (the log says so).
// Frames to about:blank and about:srcdoc are documents of the browser's own, never fetched nor
// launched; a page whose frame did not load (cancelled, or another scheme) leaves its user
// waiting, as sign-in pages that script their frames do. A server on a path the script names
// asks for a TLS client certificate before it answers (ClientCertificateRequested; cancelled,
// the navigation fails; neither cancelled nor handled, the runtime's certificate picker is
// shown, the log says so); a 401 with a Basic challenge raises BasicAuthenticationRequested
// (not cancelled, the runtime's credentials prompt is shown). The cookie store is reached
// through its queue (cookie_store.h); a page's own Set-Cookie answers store at once, for as
// long as its navigation has not been stopped; its web storage (localStorage.setItem) at once,
// for the page's origin.
class WebView final : public ComObject<ICoreWebView2_18> {
 public:
  WebView(std::shared_ptr<BrowserProfile> profile, std::shared_ptr<Dispatcher> dispatcher,
          std::shared_ptr<HostWindow> host, ComPtr<ICoreWebView2Environment> environment);
  ~WebView() override;

  // Controller Close: no further events, handlers released.
  void Close();

  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) override;
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE get_DocumentTitle(LPWSTR* title) override;
  HRESULT STDMETHODCALLTYPE get_CookieManager(ICoreWebView2CookieManager** manager) override;
  HRESULT STDMETHODCALLTYPE get_Environment(ICoreWebView2Environment** environment) override;
  HRESULT STDMETHODCALLTYPE get_Profile(ICoreWebView2Profile** profile) override;
  // The DevTools protocol's Storage.clearDataForOrigin only (any other method: E_NOTIMPL):
  // the origin's site data goes through the cookie store's queue, and the handler gets S_OK
  // and "{}" then; parameters without an origin complete with E_INVALIDARG.
  HRESULT STDMETHODCALLTYPE CallDevToolsProtocolMethod(
      LPCWSTR method, LPCWSTR parameters,
      ICoreWebView2CallDevToolsProtocolMethodCompletedHandler* handler) override;
  SENDARO_EVENT(NavigationStarting, ICoreWebView2NavigationStartingEventHandler, starting_handlers_)
  SENDARO_EVENT(NavigationCompleted, ICoreWebView2NavigationCompletedEventHandler, completed_handlers_)
  SENDARO_EVENT(FrameNavigationStarting, ICoreWebView2NavigationStartingEventHandler, frame_handlers_)
  SENDARO_EVENT(NewWindowRequested, ICoreWebView2NewWindowRequestedEventHandler, new_window_handlers_)
  SENDARO_EVENT(DownloadStarting, ICoreWebView2DownloadStartingEventHandler, download_handlers_)
  SENDARO_EVENT(LaunchingExternalUriScheme, ICoreWebView2LaunchingExternalUriSchemeEventHandler, launch_handlers_)
  SENDARO_EVENT(ClientCertificateRequested, ICoreWebView2ClientCertificateRequestedEventHandler, certificate_handlers_)
  SENDARO_EVENT(BasicAuthenticationRequested, ICoreWebView2BasicAuthenticationRequestedEventHandler, credentials_handlers_)

  SENDARO_NOT_IMPLEMENTED(get_Settings, ICoreWebView2Settings**)
  SENDARO_NOT_IMPLEMENTED(NavigateToString, LPCWSTR)
  SENDARO_NOT_IMPLEMENTED(add_ContentLoading, ICoreWebView2ContentLoadingEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_ContentLoading, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(add_SourceChanged, ICoreWebView2SourceChangedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_SourceChanged, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(add_HistoryChanged, ICoreWebView2HistoryChangedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_HistoryChanged, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(add_FrameNavigationCompleted, ICoreWebView2NavigationCompletedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_FrameNavigationCompleted, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(add_ScriptDialogOpening, ICoreWebView2ScriptDialogOpeningEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_ScriptDialogOpening, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(add_PermissionRequested, ICoreWebView2PermissionRequestedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_PermissionRequested, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(add_ProcessFailed, ICoreWebView2ProcessFailedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_ProcessFailed, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(AddScriptToExecuteOnDocumentCreated, LPCWSTR, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler*)
  SENDARO_NOT_IMPLEMENTED(RemoveScriptToExecuteOnDocumentCreated, LPCWSTR)
  SENDARO_NOT_IMPLEMENTED(ExecuteScript, LPCWSTR, ICoreWebView2ExecuteScriptCompletedHandler*)
  SENDARO_NOT_IMPLEMENTED(CapturePreview, COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT, IStream*, ICoreWebView2CapturePreviewCompletedHandler*)
  SENDARO_NOT_IMPLEMENTED(Reload)
  SENDARO_NOT_IMPLEMENTED(PostWebMessageAsJson, LPCWSTR)
  SENDARO_NOT_IMPLEMENTED(PostWebMessageAsString, LPCWSTR)
  SENDARO_NOT_IMPLEMENTED(add_WebMessageReceived, ICoreWebView2WebMessageReceivedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_WebMessageReceived, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(get_BrowserProcessId, UINT32*)
  SENDARO_NOT_IMPLEMENTED(get_CanGoBack, BOOL*)
  SENDARO_NOT_IMPLEMENTED(get_CanGoForward, BOOL*)
  SENDARO_NOT_IMPLEMENTED(GoBack)
  SENDARO_NOT_IMPLEMENTED(GoForward)
  SENDARO_NOT_IMPLEMENTED(GetDevToolsProtocolEventReceiver, LPCWSTR, ICoreWebView2DevToolsProtocolEventReceiver**)
  SENDARO_NOT_IMPLEMENTED(add_DocumentTitleChanged, ICoreWebView2DocumentTitleChangedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_DocumentTitleChanged, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(AddHostObjectToScript, LPCWSTR, VARIANT*)
  SENDARO_NOT_IMPLEMENTED(RemoveHostObjectFromScript, LPCWSTR)
  SENDARO_NOT_IMPLEMENTED(OpenDevToolsWindow)
  SENDARO_NOT_IMPLEMENTED(add_ContainsFullScreenElementChanged, ICoreWebView2ContainsFullScreenElementChangedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_ContainsFullScreenElementChanged, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(get_ContainsFullScreenElement, BOOL*)
  SENDARO_NOT_IMPLEMENTED(add_WebResourceRequested, ICoreWebView2WebResourceRequestedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_WebResourceRequested, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(AddWebResourceRequestedFilter, const LPCWSTR, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT)
  SENDARO_NOT_IMPLEMENTED(RemoveWebResourceRequestedFilter, const LPCWSTR, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT)
  SENDARO_NOT_IMPLEMENTED(add_WindowCloseRequested, ICoreWebView2WindowCloseRequestedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_WindowCloseRequested, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(add_WebResourceResponseReceived, ICoreWebView2WebResourceResponseReceivedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_WebResourceResponseReceived, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(NavigateWithWebResourceRequest, ICoreWebView2WebResourceRequest*)
  SENDARO_NOT_IMPLEMENTED(add_DOMContentLoaded, ICoreWebView2DOMContentLoadedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_DOMContentLoaded, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(TrySuspend, ICoreWebView2TrySuspendCompletedHandler*)
  SENDARO_NOT_IMPLEMENTED(Resume)
  SENDARO_NOT_IMPLEMENTED(get_IsSuspended, BOOL*)
  SENDARO_NOT_IMPLEMENTED(SetVirtualHostNameToFolderMapping, LPCWSTR, LPCWSTR, COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND)
  SENDARO_NOT_IMPLEMENTED(ClearVirtualHostNameToFolderMapping, LPCWSTR)
  SENDARO_NOT_IMPLEMENTED(add_FrameCreated, ICoreWebView2FrameCreatedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_FrameCreated, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(OpenTaskManagerWindow)
  SENDARO_NOT_IMPLEMENTED(PrintToPdf, LPCWSTR, ICoreWebView2PrintSettings*, ICoreWebView2PrintToPdfCompletedHandler*)
  SENDARO_NOT_IMPLEMENTED(add_IsMutedChanged, ICoreWebView2IsMutedChangedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_IsMutedChanged, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(get_IsMuted, BOOL*)
  SENDARO_NOT_IMPLEMENTED(put_IsMuted, BOOL)
  SENDARO_NOT_IMPLEMENTED(add_IsDocumentPlayingAudioChanged, ICoreWebView2IsDocumentPlayingAudioChangedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_IsDocumentPlayingAudioChanged, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(get_IsDocumentPlayingAudio, BOOL*)
  SENDARO_NOT_IMPLEMENTED(add_IsDefaultDownloadDialogOpenChanged, ICoreWebView2IsDefaultDownloadDialogOpenChangedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_IsDefaultDownloadDialogOpenChanged, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(get_IsDefaultDownloadDialogOpen, BOOL*)
  SENDARO_NOT_IMPLEMENTED(OpenDefaultDownloadDialog)
  SENDARO_NOT_IMPLEMENTED(CloseDefaultDownloadDialog)
  SENDARO_NOT_IMPLEMENTED(get_DefaultDownloadDialogCornerAlignment, COREWEBVIEW2_DEFAULT_DOWNLOAD_DIALOG_CORNER_ALIGNMENT*)
  SENDARO_NOT_IMPLEMENTED(put_DefaultDownloadDialogCornerAlignment, COREWEBVIEW2_DEFAULT_DOWNLOAD_DIALOG_CORNER_ALIGNMENT)
  SENDARO_NOT_IMPLEMENTED(get_DefaultDownloadDialogMargin, POINT*)
  SENDARO_NOT_IMPLEMENTED(put_DefaultDownloadDialogMargin, POINT)
  SENDARO_NOT_IMPLEMENTED(CallDevToolsProtocolMethodForSession, LPCWSTR, LPCWSTR, LPCWSTR, ICoreWebView2CallDevToolsProtocolMethodCompletedHandler*)
  SENDARO_NOT_IMPLEMENTED(add_ContextMenuRequested, ICoreWebView2ContextMenuRequestedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_ContextMenuRequested, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(add_StatusBarTextChanged, ICoreWebView2StatusBarTextChangedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_StatusBarTextChanged, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(get_StatusBarText, LPWSTR*)
  SENDARO_NOT_IMPLEMENTED(add_ServerCertificateErrorDetected, ICoreWebView2ServerCertificateErrorDetectedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_ServerCertificateErrorDetected, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(ClearServerCertificateErrorActions, ICoreWebView2ClearServerCertificateErrorActionsCompletedHandler*)
  SENDARO_NOT_IMPLEMENTED(add_FaviconChanged, ICoreWebView2FaviconChangedEventHandler*, EventRegistrationToken*)
  SENDARO_NOT_IMPLEMENTED(remove_FaviconChanged, EventRegistrationToken)
  SENDARO_NOT_IMPLEMENTED(get_FaviconUri, LPWSTR*)
  SENDARO_NOT_IMPLEMENTED(GetFavicon, COREWEBVIEW2_FAVICON_IMAGE_FORMAT, ICoreWebView2GetFaviconCompletedHandler*)
  SENDARO_NOT_IMPLEMENTED(Print, ICoreWebView2PrintSettings*, ICoreWebView2PrintCompletedHandler*)
  SENDARO_NOT_IMPLEMENTED(ShowPrintUI, COREWEBVIEW2_PRINT_DIALOG_KIND)
  SENDARO_NOT_IMPLEMENTED(PrintToPdfStream, ICoreWebView2PrintSettings*, ICoreWebView2PrintToPdfStreamCompletedHandler*)
  SENDARO_NOT_IMPLEMENTED(PostSharedBufferToScript, ICoreWebView2SharedBuffer*, COREWEBVIEW2_SHARED_BUFFER_ACCESS, LPCWSTR)

 protected:
  bool Answers(REFIID iid) const override {
    return AnyOf(iid, {&IID_ICoreWebView2, &IID_ICoreWebView2_2, &IID_ICoreWebView2_3,
                       &IID_ICoreWebView2_4, &IID_ICoreWebView2_5, &IID_ICoreWebView2_6,
                       &IID_ICoreWebView2_7, &IID_ICoreWebView2_8, &IID_ICoreWebView2_9,
                       &IID_ICoreWebView2_10, &IID_ICoreWebView2_11, &IID_ICoreWebView2_12,
                       &IID_ICoreWebView2_13, &IID_ICoreWebView2_14, &IID_ICoreWebView2_15,
                       &IID_ICoreWebView2_16, &IID_ICoreWebView2_17, &IID_ICoreWebView2_18});
  }

 private:
  struct Hop {
    uint64_t navigation;
    PageRequest request;
    bool user_initiated;
    bool redirected;
    int redirects;
  };
  void StartNavigation(PageRequest request, bool user_initiated);
  void BeginHop(Hop hop);
  void FinishHop(Hop hop, const PageResponse& response);
  void ShowPage(const Hop& hop, const PageResponse& response);
  void Complete(uint64_t navigation, bool success, int web_error_status);
  void RunPageBehaviour(uint64_t navigation);
  void SubmitFirstForm(const std::vector<std::pair<std::string, std::string>>& fields,
                       bool user_initiated);
  void RequestNewWindow(const std::string& reference, bool user_initiated);
  bool DownloadAllowed(const WebAddress& from);
  bool NavigateFrames(const std::vector<std::string>& frames);
  void AskToLaunch(const std::string& uri, bool user_initiated);
  bool ServerMayAnswer(const Hop& hop);
  void AskForCredentials(const Hop& hop, const PageResponse& response);
  void LetUserAct(uint64_t page);
  void PerformUserStep(uint64_t page, const UserStep& step);
  bool Current(uint64_t navigation) const { return !closed_ && navigation == navigation_; }
  bool PageStillActs(uint64_t page) const {
    return !closed_ && page == page_serial_ && !navigating_;
  }

  std::shared_ptr<BrowserProfile> profile_;
  std::shared_ptr<Dispatcher> dispatcher_;
  std::shared_ptr<HostWindow> host_;
  ComPtr<ICoreWebView2Environment> environment_;
  std::shared_ptr<CookieStore> cookie_store_;
  ComPtr<ICoreWebView2CookieManager> cookie_manager_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // seen by worker-thread results
  HandlerList<ICoreWebView2NavigationStartingEventHandler> starting_handlers_;
  HandlerList<ICoreWebView2NavigationCompletedEventHandler> completed_handlers_;
  HandlerList<ICoreWebView2NavigationStartingEventHandler> frame_handlers_;
  HandlerList<ICoreWebView2NewWindowRequestedEventHandler> new_window_handlers_;
  HandlerList<ICoreWebView2DownloadStartingEventHandler> download_handlers_;
  HandlerList<ICoreWebView2LaunchingExternalUriSchemeEventHandler> launch_handlers_;
  HandlerList<ICoreWebView2ClientCertificateRequestedEventHandler> certificate_handlers_;
  HandlerList<ICoreWebView2BasicAuthenticationRequestedEventHandler> credentials_handlers_;
  int64_t next_token_ = 1;
  uint64_t navigation_ = 0;
  bool navigating_ = false;  // a navigation started and not yet completed
  uint64_t page_serial_ = 0;  // counts the pages shown
  bool closed_ = false;
  WebAddress address_;
  bool has_page_ = false;
  bool frames_loaded_ = true;  // every frame of the page shown loaded
  HtmlPage page_;
};
