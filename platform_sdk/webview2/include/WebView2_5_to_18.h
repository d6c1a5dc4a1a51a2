// ICoreWebView2_5 to ICoreWebView2_18 with the SDK's names, IIDs and vtable order, so that the
// ICoreWebView2_18 slots (LaunchingExternalUriScheme) sit where the runtime has them, and the
// event that interface adds. Included by WebView2.h only, after the interfaces it derives from.
#ifndef __WebView2_5_to_18_h__
#define __WebView2_5_to_18_h__

typedef enum COREWEBVIEW2_DEFAULT_DOWNLOAD_DIALOG_CORNER_ALIGNMENT {
  COREWEBVIEW2_DEFAULT_DOWNLOAD_DIALOG_CORNER_ALIGNMENT_TOP_LEFT = 0,
  COREWEBVIEW2_DEFAULT_DOWNLOAD_DIALOG_CORNER_ALIGNMENT_TOP_RIGHT = 1,
  COREWEBVIEW2_DEFAULT_DOWNLOAD_DIALOG_CORNER_ALIGNMENT_BOTTOM_LEFT = 2,
  COREWEBVIEW2_DEFAULT_DOWNLOAD_DIALOG_CORNER_ALIGNMENT_BOTTOM_RIGHT = 3
} COREWEBVIEW2_DEFAULT_DOWNLOAD_DIALOG_CORNER_ALIGNMENT;

typedef enum COREWEBVIEW2_FAVICON_IMAGE_FORMAT {
  COREWEBVIEW2_FAVICON_IMAGE_FORMAT_PNG = 0,
  COREWEBVIEW2_FAVICON_IMAGE_FORMAT_JPEG = 1
} COREWEBVIEW2_FAVICON_IMAGE_FORMAT;

typedef enum COREWEBVIEW2_PRINT_DIALOG_KIND {
  COREWEBVIEW2_PRINT_DIALOG_KIND_BROWSER = 0,
  COREWEBVIEW2_PRINT_DIALOG_KIND_SYSTEM = 1
} COREWEBVIEW2_PRINT_DIALOG_KIND;

typedef enum COREWEBVIEW2_SHARED_BUFFER_ACCESS {
  COREWEBVIEW2_SHARED_BUFFER_ACCESS_READ_ONLY = 0,
  COREWEBVIEW2_SHARED_BUFFER_ACCESS_READ_WRITE = 1
} COREWEBVIEW2_SHARED_BUFFER_ACCESS;

// Interfaces that appear only as parameters of slots the product never calls.
struct ICoreWebView2ClearServerCertificateErrorActionsCompletedHandler;
struct ICoreWebView2ContextMenuRequestedEventHandler;
struct ICoreWebView2FaviconChangedEventHandler;
struct ICoreWebView2GetFaviconCompletedHandler;
struct ICoreWebView2IsDefaultDownloadDialogOpenChangedEventHandler;
struct ICoreWebView2IsDocumentPlayingAudioChangedEventHandler;
struct ICoreWebView2IsMutedChangedEventHandler;
struct ICoreWebView2PrintCompletedHandler;
struct ICoreWebView2PrintSettings;
struct ICoreWebView2PrintToPdfCompletedHandler;
struct ICoreWebView2PrintToPdfStreamCompletedHandler;
struct ICoreWebView2ServerCertificateErrorDetectedEventHandler;
struct ICoreWebView2SharedBuffer;
struct ICoreWebView2StatusBarTextChangedEventHandler;

// Declared in full in WebView2_requests_and_profile.h.
struct ICoreWebView2BasicAuthenticationRequestedEventHandler;
struct ICoreWebView2ClientCertificateRequestedEventHandler;
struct ICoreWebView2Profile;

struct ICoreWebView2LaunchingExternalUriSchemeEventArgs;

MIDL_INTERFACE("74F712E0-8165-43A9-A13F-0CCE597E75DF")
ICoreWebView2LaunchingExternalUriSchemeEventHandler : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE Invoke(
      ICoreWebView2* sender, ICoreWebView2LaunchingExternalUriSchemeEventArgs* args) = 0;
};

MIDL_INTERFACE("07D1A6C3-7175-4BA1-9306-E593CA07E46C")
ICoreWebView2LaunchingExternalUriSchemeEventArgs : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_InitiatingOrigin(LPWSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Cancel(BOOL value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** value) = 0;
};

MIDL_INTERFACE("BEDB11B8-D63C-11EB-B8BC-0242AC130003")
ICoreWebView2_5 : public ICoreWebView2_4 {
 public:
  virtual HRESULT STDMETHODCALLTYPE add_ClientCertificateRequested(
      ICoreWebView2ClientCertificateRequestedEventHandler* eventHandler,
      EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_ClientCertificateRequested(
      EventRegistrationToken token) = 0;
};

MIDL_INTERFACE("499AADAC-D92C-4589-8A75-111BFC167795")
ICoreWebView2_6 : public ICoreWebView2_5 {
 public:
  virtual HRESULT STDMETHODCALLTYPE OpenTaskManagerWindow() = 0;
};

MIDL_INTERFACE("79C24D83-09A3-45AE-9418-487F32A58740")
ICoreWebView2_7 : public ICoreWebView2_6 {
 public:
  virtual HRESULT STDMETHODCALLTYPE PrintToPdf(LPCWSTR ResultFilePath,
                                               ICoreWebView2PrintSettings* printSettings,
                                               ICoreWebView2PrintToPdfCompletedHandler* handler) = 0;
};

MIDL_INTERFACE("E9632730-6E1E-43AB-B7B8-7B2C9E62E094")
ICoreWebView2_8 : public ICoreWebView2_7 {
 public:
  virtual HRESULT STDMETHODCALLTYPE add_IsMutedChanged(
      ICoreWebView2IsMutedChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_IsMutedChanged(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsMuted(BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsMuted(BOOL value) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_IsDocumentPlayingAudioChanged(
      ICoreWebView2IsDocumentPlayingAudioChangedEventHandler* eventHandler,
      EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_IsDocumentPlayingAudioChanged(
      EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsDocumentPlayingAudio(BOOL* value) = 0;
};

MIDL_INTERFACE("4D7B2EAB-9FDC-468D-B998-A9260B5ED651")
ICoreWebView2_9 : public ICoreWebView2_8 {
 public:
  virtual HRESULT STDMETHODCALLTYPE add_IsDefaultDownloadDialogOpenChanged(
      ICoreWebView2IsDefaultDownloadDialogOpenChangedEventHandler* handler,
      EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_IsDefaultDownloadDialogOpenChanged(
      EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsDefaultDownloadDialogOpen(BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenDefaultDownloadDialog() = 0;
  virtual HRESULT STDMETHODCALLTYPE CloseDefaultDownloadDialog() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DefaultDownloadDialogCornerAlignment(
      COREWEBVIEW2_DEFAULT_DOWNLOAD_DIALOG_CORNER_ALIGNMENT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_DefaultDownloadDialogCornerAlignment(
      COREWEBVIEW2_DEFAULT_DOWNLOAD_DIALOG_CORNER_ALIGNMENT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DefaultDownloadDialogMargin(POINT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_DefaultDownloadDialogMargin(POINT value) = 0;
};

MIDL_INTERFACE("B1690564-6F5A-4983-8E48-31D1143FECDB")
ICoreWebView2_10 : public ICoreWebView2_9 {
 public:
  virtual HRESULT STDMETHODCALLTYPE add_BasicAuthenticationRequested(
      ICoreWebView2BasicAuthenticationRequestedEventHandler* eventHandler,
      EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_BasicAuthenticationRequested(
      EventRegistrationToken token) = 0;
};

MIDL_INTERFACE("0BE78E56-C193-4051-B943-23B460C08BDB")
ICoreWebView2_11 : public ICoreWebView2_10 {
 public:
  virtual HRESULT STDMETHODCALLTYPE CallDevToolsProtocolMethodForSession(
      LPCWSTR sessionId, LPCWSTR methodName, LPCWSTR parametersAsJson,
      ICoreWebView2CallDevToolsProtocolMethodCompletedHandler* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_ContextMenuRequested(
      ICoreWebView2ContextMenuRequestedEventHandler* eventHandler,
      EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_ContextMenuRequested(EventRegistrationToken token) = 0;
};

MIDL_INTERFACE("35D69927-BCFA-4566-9349-6B3E0D154CAC")
ICoreWebView2_12 : public ICoreWebView2_11 {
 public:
  virtual HRESULT STDMETHODCALLTYPE add_StatusBarTextChanged(
      ICoreWebView2StatusBarTextChangedEventHandler* eventHandler,
      EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_StatusBarTextChanged(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_StatusBarText(LPWSTR* value) = 0;
};

MIDL_INTERFACE("F75F09A8-667E-4983-88D6-C8773F315E84")
ICoreWebView2_13 : public ICoreWebView2_12 {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Profile(ICoreWebView2Profile** value) = 0;
};

MIDL_INTERFACE("6DAA4F10-4A90-4753-8898-77C5DF534165")
ICoreWebView2_14 : public ICoreWebView2_13 {
 public:
  virtual HRESULT STDMETHODCALLTYPE add_ServerCertificateErrorDetected(
      ICoreWebView2ServerCertificateErrorDetectedEventHandler* eventHandler,
      EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_ServerCertificateErrorDetected(
      EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearServerCertificateErrorActions(
      ICoreWebView2ClearServerCertificateErrorActionsCompletedHandler* handler) = 0;
};

MIDL_INTERFACE("517B2D1D-7DAE-4A66-A4F4-10352FFB9518")
ICoreWebView2_15 : public ICoreWebView2_14 {
 public:
  virtual HRESULT STDMETHODCALLTYPE add_FaviconChanged(
      ICoreWebView2FaviconChangedEventHandler* eventHandler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_FaviconChanged(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FaviconUri(LPWSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFavicon(
      COREWEBVIEW2_FAVICON_IMAGE_FORMAT format,
      ICoreWebView2GetFaviconCompletedHandler* completedHandler) = 0;
};

MIDL_INTERFACE("0EB34DC9-9F91-41E1-8639-95CD5943906B")
ICoreWebView2_16 : public ICoreWebView2_15 {
 public:
  virtual HRESULT STDMETHODCALLTYPE Print(ICoreWebView2PrintSettings* printSettings,
                                          ICoreWebView2PrintCompletedHandler* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE ShowPrintUI(COREWEBVIEW2_PRINT_DIALOG_KIND printDialogKind) = 0;
  virtual HRESULT STDMETHODCALLTYPE PrintToPdfStream(
      ICoreWebView2PrintSettings* printSettings,
      ICoreWebView2PrintToPdfStreamCompletedHandler* handler) = 0;
};

MIDL_INTERFACE("702E75D4-FD44-434D-9D70-1A68A6B1192A")
ICoreWebView2_17 : public ICoreWebView2_16 {
 public:
  virtual HRESULT STDMETHODCALLTYPE PostSharedBufferToScript(
      ICoreWebView2SharedBuffer* sharedBuffer, COREWEBVIEW2_SHARED_BUFFER_ACCESS access,
      LPCWSTR additionalDataAsJson) = 0;
};

MIDL_INTERFACE("7A626017-28BE-49B2-B865-3BA2B3522D90")
ICoreWebView2_18 : public ICoreWebView2_17 {
 public:
  virtual HRESULT STDMETHODCALLTYPE add_LaunchingExternalUriScheme(
      ICoreWebView2LaunchingExternalUriSchemeEventHandler* eventHandler,
      EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_LaunchingExternalUriScheme(
      EventRegistrationToken token) = 0;
};

SENDARO_WEBVIEW2_IID(ICoreWebView2_5, 0xbedb11b8, 0xd63c, 0x11eb, 0xb8, 0xbc, 0x02, 0x42, 0xac,
                     0x13, 0x00, 0x03)
SENDARO_WEBVIEW2_IID(ICoreWebView2_6, 0x499aadac, 0xd92c, 0x4589, 0x8a, 0x75, 0x11, 0x1b, 0xfc,
                     0x16, 0x77, 0x95)
SENDARO_WEBVIEW2_IID(ICoreWebView2_7, 0x79c24d83, 0x09a3, 0x45ae, 0x94, 0x18, 0x48, 0x7f, 0x32,
                     0xa5, 0x87, 0x40)
SENDARO_WEBVIEW2_IID(ICoreWebView2_8, 0xe9632730, 0x6e1e, 0x43ab, 0xb7, 0xb8, 0x7b, 0x2c, 0x9e,
                     0x62, 0xe0, 0x94)
SENDARO_WEBVIEW2_IID(ICoreWebView2_9, 0x4d7b2eab, 0x9fdc, 0x468d, 0xb9, 0x98, 0xa9, 0x26, 0x0b,
                     0x5e, 0xd6, 0x51)
SENDARO_WEBVIEW2_IID(ICoreWebView2_10, 0xb1690564, 0x6f5a, 0x4983, 0x8e, 0x48, 0x31, 0xd1, 0x14,
                     0x3f, 0xec, 0xdb)
SENDARO_WEBVIEW2_IID(ICoreWebView2_11, 0x0be78e56, 0xc193, 0x4051, 0xb9, 0x43, 0x23, 0xb4, 0x60,
                     0xc0, 0x8b, 0xdb)
SENDARO_WEBVIEW2_IID(ICoreWebView2_12, 0x35d69927, 0xbcfa, 0x4566, 0x93, 0x49, 0x6b, 0x3e, 0x0d,
                     0x15, 0x4c, 0xac)
SENDARO_WEBVIEW2_IID(ICoreWebView2_13, 0xf75f09a8, 0x667e, 0x4983, 0x88, 0xd6, 0xc8, 0x77, 0x3f,
                     0x31, 0x5e, 0x84)
SENDARO_WEBVIEW2_IID(ICoreWebView2_14, 0x6daa4f10, 0x4a90, 0x4753, 0x88, 0x98, 0x77, 0xc5, 0xdf,
                     0x53, 0x41, 0x65)
SENDARO_WEBVIEW2_IID(ICoreWebView2_15, 0x517b2d1d, 0x7dae, 0x4a66, 0xa4, 0xf4, 0x10, 0x35, 0x2f,
                     0xfb, 0x95, 0x18)
SENDARO_WEBVIEW2_IID(ICoreWebView2_16, 0x0eb34dc9, 0x9f91, 0x41e1, 0x86, 0x39, 0x95, 0xcd, 0x59,
                     0x43, 0x90, 0x6b)
SENDARO_WEBVIEW2_IID(ICoreWebView2_17, 0x702e75d4, 0xfd44, 0x434d, 0x9d, 0x70, 0x1a, 0x68, 0xa6,
                     0xb1, 0x19, 0x2a)
SENDARO_WEBVIEW2_IID(ICoreWebView2_18, 0x7a626017, 0x28be, 0x49b2, 0xb8, 0x65, 0x3b, 0xa2, 0xb3,
                     0x52, 0x2d, 0x90)
SENDARO_WEBVIEW2_IID(ICoreWebView2LaunchingExternalUriSchemeEventHandler, 0x74f712e0, 0x8165,
                     0x43a9, 0xa1, 0x3f, 0x0c, 0xce, 0x59, 0x7e, 0x75, 0xdf)
SENDARO_WEBVIEW2_IID(ICoreWebView2LaunchingExternalUriSchemeEventArgs, 0x07d1a6c3, 0x7175,
                     0x4ba1, 0x93, 0x06, 0xe5, 0x93, 0xca, 0x07, 0xe4, 0x6c)

#endif  // __WebView2_5_to_18_h__
