// The embedded-browser COM interfaces, loader function and IIDs that the sign-in window uses,
// declared with the SDK's names, IIDs and vtable order (every slot up to the last method used),
// so code written against this header compiles unchanged against the SDK's own header.
// GCC attaches no GUID to MIDL_INTERFACE types: each interface also gets an IID_ constant and,
// under mingw-w64, a __CRT_UUID_DECL so __uuidof, IID_PPV_ARGS and ComPtr::As work.
#ifndef __WebView2_h__
#define __WebView2_h__

#include <windows.h>
#include <objidl.h>
#include <oaidl.h>
#include <eventtoken.h>

#define SENDARO_WEBVIEW2_SELECTANY __declspec(selectany)

// IID_name, and under mingw-w64 the type's GUID for __uuidof (the interfaces are declared
// before this is used).
#if defined(__MINGW32__)
#define SENDARO_WEBVIEW2_UUIDOF(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  __CRT_UUID_DECL(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#else
#define SENDARO_WEBVIEW2_UUIDOF(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#endif
#define SENDARO_WEBVIEW2_IID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  EXTERN_C SENDARO_WEBVIEW2_SELECTANY const IID IID_##name = {                 \
      l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}};                            \
  SENDARO_WEBVIEW2_UUIDOF(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)

typedef enum COREWEBVIEW2_WEB_ERROR_STATUS {
  COREWEBVIEW2_WEB_ERROR_STATUS_UNKNOWN = 0,
  COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_COMMON_NAME_IS_INCORRECT = 1,
  COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_EXPIRED = 2,
  COREWEBVIEW2_WEB_ERROR_STATUS_CLIENT_CERTIFICATE_CONTAINS_ERRORS = 3,
  COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_REVOKED = 4,
  COREWEBVIEW2_WEB_ERROR_STATUS_CERTIFICATE_IS_INVALID = 5,
  COREWEBVIEW2_WEB_ERROR_STATUS_SERVER_UNREACHABLE = 6,
  COREWEBVIEW2_WEB_ERROR_STATUS_TIMEOUT = 7,
  COREWEBVIEW2_WEB_ERROR_STATUS_ERROR_HTTP_INVALID_SERVER_RESPONSE = 8,
  COREWEBVIEW2_WEB_ERROR_STATUS_CONNECTION_ABORTED = 9,
  COREWEBVIEW2_WEB_ERROR_STATUS_CONNECTION_RESET = 10,
  COREWEBVIEW2_WEB_ERROR_STATUS_DISCONNECTED = 11,
  COREWEBVIEW2_WEB_ERROR_STATUS_CANNOT_CONNECT = 12,
  COREWEBVIEW2_WEB_ERROR_STATUS_HOST_NAME_NOT_RESOLVED = 13,
  COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED = 14,
  COREWEBVIEW2_WEB_ERROR_STATUS_REDIRECT_FAILED = 15,
  COREWEBVIEW2_WEB_ERROR_STATUS_UNEXPECTED_ERROR = 16
} COREWEBVIEW2_WEB_ERROR_STATUS;

typedef enum COREWEBVIEW2_COOKIE_SAME_SITE_KIND {
  COREWEBVIEW2_COOKIE_SAME_SITE_KIND_NONE = 0,
  COREWEBVIEW2_COOKIE_SAME_SITE_KIND_LAX = 1,
  COREWEBVIEW2_COOKIE_SAME_SITE_KIND_STRICT = 2
} COREWEBVIEW2_COOKIE_SAME_SITE_KIND;

typedef enum COREWEBVIEW2_MOVE_FOCUS_REASON {
  COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC = 0,
  COREWEBVIEW2_MOVE_FOCUS_REASON_NEXT = 1,
  COREWEBVIEW2_MOVE_FOCUS_REASON_PREVIOUS = 2
} COREWEBVIEW2_MOVE_FOCUS_REASON;

typedef enum COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT {
  COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_PNG = 0,
  COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_JPEG = 1
} COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT;

typedef enum COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND {
  COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND_DENY = 0,
  COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND_ALLOW = 1,
  COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND_DENY_CORS = 2
} COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND;

typedef enum COREWEBVIEW2_WEB_RESOURCE_CONTEXT {
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL = 0,
  COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT = 1
} COREWEBVIEW2_WEB_RESOURCE_CONTEXT;

#ifdef __cplusplus

// Interfaces that appear only as parameters of slots the product never calls.
struct ICoreWebView2AcceleratorKeyPressedEventHandler;
struct ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler;
struct ICoreWebView2CallDevToolsProtocolMethodCompletedHandler;
struct ICoreWebView2CapturePreviewCompletedHandler;
struct ICoreWebView2ContainsFullScreenElementChangedEventHandler;
struct ICoreWebView2ContentLoadingEventHandler;
struct ICoreWebView2DevToolsProtocolEventReceiver;
struct ICoreWebView2DocumentTitleChangedEventHandler;
struct ICoreWebView2DOMContentLoadedEventHandler;
struct ICoreWebView2ExecuteScriptCompletedHandler;
struct ICoreWebView2FocusChangedEventHandler;
struct ICoreWebView2HistoryChangedEventHandler;
struct ICoreWebView2HttpRequestHeaders;
struct ICoreWebView2MoveFocusRequestedEventHandler;
struct ICoreWebView2NewBrowserVersionAvailableEventHandler;
struct ICoreWebView2NewWindowRequestedEventHandler;
struct ICoreWebView2PermissionRequestedEventHandler;
struct ICoreWebView2ProcessFailedEventHandler;
struct ICoreWebView2ScriptDialogOpeningEventHandler;
struct ICoreWebView2Settings;
struct ICoreWebView2SourceChangedEventHandler;
struct ICoreWebView2WebMessageReceivedEventHandler;
struct ICoreWebView2WebResourceRequest;
struct ICoreWebView2WebResourceRequestedEventHandler;
struct ICoreWebView2WebResourceResponse;
struct ICoreWebView2WebResourceResponseReceivedEventHandler;
struct ICoreWebView2WindowCloseRequestedEventHandler;
struct ICoreWebView2ZoomFactorChangedEventHandler;
struct ICoreWebView2EnvironmentOptions;
struct ICoreWebView2Deferral;
struct ICoreWebView2DownloadOperation;
struct ICoreWebView2FrameCreatedEventHandler;
struct ICoreWebView2TrySuspendCompletedHandler;
struct ICoreWebView2WindowFeatures;

struct ICoreWebView2;
struct ICoreWebView2Controller;
struct ICoreWebView2Cookie;
struct ICoreWebView2CookieList;
struct ICoreWebView2Environment;
struct ICoreWebView2NavigationCompletedEventArgs;
struct ICoreWebView2NavigationStartingEventArgs;
struct ICoreWebView2NewWindowRequestedEventArgs;
struct ICoreWebView2DownloadStartingEventArgs;

MIDL_INTERFACE("4E8A3389-C9D8-4BD2-B6B5-124FEE6CC14D")
ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode,
                                           ICoreWebView2Environment* createdEnvironment) = 0;
};

MIDL_INTERFACE("6C4819F3-C9B7-4260-8127-C9F5BDE7F68C")
ICoreWebView2CreateCoreWebView2ControllerCompletedHandler : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode,
                                           ICoreWebView2Controller* createdController) = 0;
};

MIDL_INTERFACE("9ADBE429-F36D-432B-9DDC-F8881FBD76E3")
ICoreWebView2NavigationStartingEventHandler : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                           ICoreWebView2NavigationStartingEventArgs* args) = 0;
};

MIDL_INTERFACE("D33A35BF-1C49-4F98-93AB-006E0533FE1C")
ICoreWebView2NavigationCompletedEventHandler : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                           ICoreWebView2NavigationCompletedEventArgs* args) = 0;
};

MIDL_INTERFACE("D4C185FE-C81C-4989-97AF-2D3FA7AB5651")
ICoreWebView2NewWindowRequestedEventHandler : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                           ICoreWebView2NewWindowRequestedEventArgs* args) = 0;
};

MIDL_INTERFACE("EFEDC989-C396-41CA-83F7-07F845A55724")
ICoreWebView2DownloadStartingEventHandler : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender,
                                           ICoreWebView2DownloadStartingEventArgs* args) = 0;
};

MIDL_INTERFACE("5A4F5069-5C15-47C3-8646-F4DE1C116670")
ICoreWebView2GetCookiesCompletedHandler : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT result, ICoreWebView2CookieList* cookieList) = 0;
};

MIDL_INTERFACE("5C4889F0-5EF6-4C5A-952C-D8F1B92D0574")
ICoreWebView2CallDevToolsProtocolMethodCompletedHandler : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, LPCWSTR returnObjectAsJson) = 0;
};

MIDL_INTERFACE("B96D755E-0319-4E92-A296-23436F46A1FC")
ICoreWebView2Environment : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parentWindow, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(
      IStream* content, int statusCode, LPCWSTR reasonPhrase, LPCWSTR headers,
      ICoreWebView2WebResourceResponse** response) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR* versionInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_NewBrowserVersionAvailable(
      ICoreWebView2NewBrowserVersionAvailableEventHandler* eventHandler,
      EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_NewBrowserVersionAvailable(
      EventRegistrationToken token) = 0;
};

MIDL_INTERFACE("4D00C0D1-9434-4EB6-8078-8697A560334F")
ICoreWebView2Controller : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* isVisible) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL isVisible) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Bounds(RECT* bounds) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ZoomFactor(double* zoomFactor) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ZoomFactor(double zoomFactor) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_ZoomFactorChanged(
      ICoreWebView2ZoomFactorChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_ZoomFactorChanged(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetBoundsAndZoomFactor(RECT bounds, double zoomFactor) = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_MoveFocusRequested(
      ICoreWebView2MoveFocusRequestedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_MoveFocusRequested(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_GotFocus(ICoreWebView2FocusChangedEventHandler* eventHandler,
                                                 EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_GotFocus(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_LostFocus(ICoreWebView2FocusChangedEventHandler* eventHandler,
                                                  EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_LostFocus(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_AcceleratorKeyPressed(
      ICoreWebView2AcceleratorKeyPressedEventHandler* eventHandler,
      EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_AcceleratorKeyPressed(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* parentWindow) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ParentWindow(HWND parentWindow) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() = 0;
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** coreWebView2) = 0;
};

MIDL_INTERFACE("76ECEACB-0462-4D94-AC83-423A6793775E")
ICoreWebView2 : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR htmlContent) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_NavigationStarting(
      ICoreWebView2NavigationStartingEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_NavigationStarting(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_ContentLoading(
      ICoreWebView2ContentLoadingEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_ContentLoading(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_SourceChanged(
      ICoreWebView2SourceChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_SourceChanged(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_HistoryChanged(
      ICoreWebView2HistoryChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_HistoryChanged(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_NavigationCompleted(
      ICoreWebView2NavigationCompletedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_NavigationCompleted(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_FrameNavigationStarting(
      ICoreWebView2NavigationStartingEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_FrameNavigationStarting(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_FrameNavigationCompleted(
      ICoreWebView2NavigationCompletedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_FrameNavigationCompleted(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_ScriptDialogOpening(
      ICoreWebView2ScriptDialogOpeningEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_ScriptDialogOpening(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_PermissionRequested(
      ICoreWebView2PermissionRequestedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_PermissionRequested(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_ProcessFailed(
      ICoreWebView2ProcessFailedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_ProcessFailed(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
      LPCWSTR javaScript, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveScriptToExecuteOnDocumentCreated(LPCWSTR id) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExecuteScript(
      LPCWSTR javaScript, ICoreWebView2ExecuteScriptCompletedHandler* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE CapturePreview(
      COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT imageFormat, IStream* imageStream,
      ICoreWebView2CapturePreviewCompletedHandler* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reload() = 0;
  virtual HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR webMessageAsJson) = 0;
  virtual HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR webMessageAsString) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_WebMessageReceived(
      ICoreWebView2WebMessageReceivedEventHandler* handler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE CallDevToolsProtocolMethod(
      LPCWSTR methodName, LPCWSTR parametersAsJson,
      ICoreWebView2CallDevToolsProtocolMethodCompletedHandler* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BrowserProcessId(UINT32* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CanGoBack(BOOL* canGoBack) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CanGoForward(BOOL* canGoForward) = 0;
  virtual HRESULT STDMETHODCALLTYPE GoBack() = 0;
  virtual HRESULT STDMETHODCALLTYPE GoForward() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDevToolsProtocolEventReceiver(
      LPCWSTR eventName, ICoreWebView2DevToolsProtocolEventReceiver** receiver) = 0;
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
  virtual HRESULT STDMETHODCALLTYPE add_NewWindowRequested(
      ICoreWebView2NewWindowRequestedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_NewWindowRequested(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_DocumentTitleChanged(
      ICoreWebView2DocumentTitleChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_DocumentTitleChanged(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DocumentTitle(LPWSTR* title) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddHostObjectToScript(LPCWSTR name, VARIANT* object) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveHostObjectFromScript(LPCWSTR name) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenDevToolsWindow() = 0;
  virtual HRESULT STDMETHODCALLTYPE add_ContainsFullScreenElementChanged(
      ICoreWebView2ContainsFullScreenElementChangedEventHandler* eventHandler,
      EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_ContainsFullScreenElementChanged(
      EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ContainsFullScreenElement(BOOL* containsFullScreenElement) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_WebResourceRequested(
      ICoreWebView2WebResourceRequestedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_WebResourceRequested(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(
      const LPCWSTR uri, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilter(
      const LPCWSTR uri, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_WindowCloseRequested(
      ICoreWebView2WindowCloseRequestedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_WindowCloseRequested(EventRegistrationToken token) = 0;
};

struct ICoreWebView2CookieManager;

MIDL_INTERFACE("9E8F0CF8-E670-4B5E-B2BC-73E061E3184C")
ICoreWebView2_2 : public ICoreWebView2 {
 public:
  virtual HRESULT STDMETHODCALLTYPE add_WebResourceResponseReceived(
      ICoreWebView2WebResourceResponseReceivedEventHandler* eventHandler,
      EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_WebResourceResponseReceived(
      EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE NavigateWithWebResourceRequest(
      ICoreWebView2WebResourceRequest* request) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_DOMContentLoaded(
      ICoreWebView2DOMContentLoadedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_DOMContentLoaded(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CookieManager(ICoreWebView2CookieManager** cookieManager) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Environment(ICoreWebView2Environment** environment) = 0;
};

MIDL_INTERFACE("A0D6DF20-3B92-416D-AA0C-437A9C727857")
ICoreWebView2_3 : public ICoreWebView2_2 {
 public:
  virtual HRESULT STDMETHODCALLTYPE TrySuspend(ICoreWebView2TrySuspendCompletedHandler* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE Resume() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsSuspended(BOOL* isSuspended) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetVirtualHostNameToFolderMapping(
      LPCWSTR hostName, LPCWSTR folderPath, COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND accessKind) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearVirtualHostNameToFolderMapping(LPCWSTR hostName) = 0;
};

MIDL_INTERFACE("20D02D59-6DF2-42DC-BD06-F98A694B1302")
ICoreWebView2_4 : public ICoreWebView2_3 {
 public:
  virtual HRESULT STDMETHODCALLTYPE add_FrameCreated(
      ICoreWebView2FrameCreatedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_FrameCreated(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_DownloadStarting(
      ICoreWebView2DownloadStartingEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_DownloadStarting(EventRegistrationToken token) = 0;
};

MIDL_INTERFACE("AD26D6BE-1486-43E6-BF87-A2034006CA21")
ICoreWebView2Cookie : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Name(LPWSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Value(LPWSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Value(LPCWSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Domain(LPWSTR* domain) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Path(LPWSTR* path) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Expires(double* expires) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Expires(double expires) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsHttpOnly(BOOL* isHttpOnly) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsHttpOnly(BOOL isHttpOnly) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SameSite(COREWEBVIEW2_COOKIE_SAME_SITE_KIND* sameSite) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_SameSite(COREWEBVIEW2_COOKIE_SAME_SITE_KIND sameSite) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsSecure(BOOL* isSecure) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsSecure(BOOL isSecure) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsSession(BOOL* isSession) = 0;
};

MIDL_INTERFACE("F7F6F714-5D2A-43C6-9503-346ECE02D186")
ICoreWebView2CookieList : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Count(UINT* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetValueAtIndex(UINT index, ICoreWebView2Cookie** cookie) = 0;
};

MIDL_INTERFACE("177CD9E7-B6F5-451A-94A0-5D7A3A4C4141")
ICoreWebView2CookieManager : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE CreateCookie(LPCWSTR name, LPCWSTR value, LPCWSTR domain,
                                                 LPCWSTR path, ICoreWebView2Cookie** cookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyCookie(ICoreWebView2Cookie* cookieParam,
                                               ICoreWebView2Cookie** cookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCookies(LPCWSTR uri,
                                               ICoreWebView2GetCookiesCompletedHandler* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddOrUpdateCookie(ICoreWebView2Cookie* cookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteCookie(ICoreWebView2Cookie* cookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteCookies(LPCWSTR name, LPCWSTR uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteCookiesWithDomainAndPath(LPCWSTR name, LPCWSTR domain,
                                                                   LPCWSTR path) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteAllCookies() = 0;
};

MIDL_INTERFACE("5B495469-E119-438A-9B18-7604F25F2E49")
ICoreWebView2NavigationStartingEventArgs : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsRedirected(BOOL* isRedirected) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RequestHeaders(
      ICoreWebView2HttpRequestHeaders** requestHeaders) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* cancel) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* navigationId) = 0;
};

MIDL_INTERFACE("30D68B7D-20D9-4752-A9CA-EC8448FBB5C1")
ICoreWebView2NavigationCompletedEventArgs : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_IsSuccess(BOOL* isSuccess) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_WebErrorStatus(
      COREWEBVIEW2_WEB_ERROR_STATUS* webErrorStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* navigationId) = 0;
};

MIDL_INTERFACE("34ACB11C-FC37-4418-9132-F9C21D1EAFB9")
ICoreWebView2NewWindowRequestedEventArgs : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_NewWindow(ICoreWebView2* newWindow) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NewWindow(ICoreWebView2** newWindow) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_WindowFeatures(ICoreWebView2WindowFeatures** value) = 0;
};

MIDL_INTERFACE("E99BBE21-43E9-4544-A732-282764EAFA60")
ICoreWebView2DownloadStartingEventArgs : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_DownloadOperation(
      ICoreWebView2DownloadOperation** downloadOperation) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* cancel) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ResultFilePath(LPWSTR* resultFilePath) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ResultFilePath(LPCWSTR resultFilePath) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) = 0;
};

SENDARO_WEBVIEW2_IID(ICoreWebView2Environment, 0xb96d755e, 0x0319, 0x4e92, 0xa2, 0x96, 0x23,
                     0x43, 0x6f, 0x46, 0xa1, 0xfc)
SENDARO_WEBVIEW2_IID(ICoreWebView2Controller, 0x4d00c0d1, 0x9434, 0x4eb6, 0x80, 0x78, 0x86, 0x97,
                     0xa5, 0x60, 0x33, 0x4f)
SENDARO_WEBVIEW2_IID(ICoreWebView2, 0x76eceacb, 0x0462, 0x4d94, 0xac, 0x83, 0x42, 0x3a, 0x67,
                     0x93, 0x77, 0x5e)
SENDARO_WEBVIEW2_IID(ICoreWebView2_2, 0x9e8f0cf8, 0xe670, 0x4b5e, 0xb2, 0xbc, 0x73, 0xe0, 0x61,
                     0xe3, 0x18, 0x4c)
SENDARO_WEBVIEW2_IID(ICoreWebView2_3, 0xa0d6df20, 0x3b92, 0x416d, 0xaa, 0x0c, 0x43, 0x7a, 0x9c,
                     0x72, 0x78, 0x57)
SENDARO_WEBVIEW2_IID(ICoreWebView2_4, 0x20d02d59, 0x6df2, 0x42dc, 0xbd, 0x06, 0xf9, 0x8a, 0x69,
                     0x4b, 0x13, 0x02)
SENDARO_WEBVIEW2_IID(ICoreWebView2CookieManager, 0x177cd9e7, 0xb6f5, 0x451a, 0x94, 0xa0, 0x5d,
                     0x7a, 0x3a, 0x4c, 0x41, 0x41)
SENDARO_WEBVIEW2_IID(ICoreWebView2CookieList, 0xf7f6f714, 0x5d2a, 0x43c6, 0x95, 0x03, 0x34, 0x6e,
                     0xce, 0x02, 0xd1, 0x86)
SENDARO_WEBVIEW2_IID(ICoreWebView2Cookie, 0xad26d6be, 0x1486, 0x43e6, 0xbf, 0x87, 0xa2, 0x03,
                     0x40, 0x06, 0xca, 0x21)
SENDARO_WEBVIEW2_IID(ICoreWebView2NavigationStartingEventArgs, 0x5b495469, 0xe119, 0x438a, 0x9b,
                     0x18, 0x76, 0x04, 0xf2, 0x5f, 0x2e, 0x49)
SENDARO_WEBVIEW2_IID(ICoreWebView2NavigationCompletedEventArgs, 0x30d68b7d, 0x20d9, 0x4752, 0xa9,
                     0xca, 0xec, 0x84, 0x48, 0xfb, 0xb5, 0xc1)
SENDARO_WEBVIEW2_IID(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, 0x4e8a3389,
                     0xc9d8, 0x4bd2, 0xb6, 0xb5, 0x12, 0x4f, 0xee, 0x6c, 0xc1, 0x4d)
SENDARO_WEBVIEW2_IID(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, 0x6c4819f3,
                     0xc9b7, 0x4260, 0x81, 0x27, 0xc9, 0xf5, 0xbd, 0xe7, 0xf6, 0x8c)
SENDARO_WEBVIEW2_IID(ICoreWebView2NavigationStartingEventHandler, 0x9adbe429, 0xf36d, 0x432b,
                     0x9d, 0xdc, 0xf8, 0x88, 0x1f, 0xbd, 0x76, 0xe3)
SENDARO_WEBVIEW2_IID(ICoreWebView2NavigationCompletedEventHandler, 0xd33a35bf, 0x1c49, 0x4f98,
                     0x93, 0xab, 0x00, 0x6e, 0x05, 0x33, 0xfe, 0x1c)
SENDARO_WEBVIEW2_IID(ICoreWebView2NewWindowRequestedEventArgs, 0x34acb11c, 0xfc37, 0x4418, 0x91,
                     0x32, 0xf9, 0xc2, 0x1d, 0x1e, 0xaf, 0xb9)
SENDARO_WEBVIEW2_IID(ICoreWebView2NewWindowRequestedEventHandler, 0xd4c185fe, 0xc81c, 0x4989,
                     0x97, 0xaf, 0x2d, 0x3f, 0xa7, 0xab, 0x56, 0x51)
SENDARO_WEBVIEW2_IID(ICoreWebView2DownloadStartingEventArgs, 0xe99bbe21, 0x43e9, 0x4544, 0xa7,
                     0x32, 0x28, 0x27, 0x64, 0xea, 0xfa, 0x60)
SENDARO_WEBVIEW2_IID(ICoreWebView2DownloadStartingEventHandler, 0xefedc989, 0xc396, 0x41ca, 0x83,
                     0xf7, 0x07, 0xf8, 0x45, 0xa5, 0x57, 0x24)
SENDARO_WEBVIEW2_IID(ICoreWebView2GetCookiesCompletedHandler, 0x5a4f5069, 0x5c15, 0x47c3, 0x86,
                     0x46, 0xf4, 0xde, 0x1c, 0x11, 0x66, 0x70)
SENDARO_WEBVIEW2_IID(ICoreWebView2CallDevToolsProtocolMethodCompletedHandler, 0x5c4889f0, 0x5ef6,
                     0x4c5a, 0x95, 0x2c, 0xd8, 0xf1, 0xb9, 0x2d, 0x05, 0x74)
SENDARO_WEBVIEW2_IID(ICoreWebView2EnvironmentOptions, 0x2fde08a8, 0x1e9a, 0x4766, 0x8c, 0x05,
                     0x95, 0xa9, 0xce, 0xb9, 0xd1, 0xc5)

#include "WebView2_5_to_18.h"
#include "WebView2_requests_and_profile.h"

#undef SENDARO_WEBVIEW2_IID
#undef SENDARO_WEBVIEW2_UUIDOF

STDAPI CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR browserExecutableFolder, PCWSTR userDataFolder,
    ICoreWebView2EnvironmentOptions* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler);

#endif  // __cplusplus
#endif  // __WebView2_h__
