// The requests a page can make of the browser's user beyond navigating (a TLS client
// certificate, HTTP basic credentials, a new window from some frame) and the browser profile's
// data clearing, with the SDK's names, IIDs and vtable order. Included by WebView2.h only,
// after the interfaces these appear in.
#ifndef __WebView2_requests_and_profile_h__
#define __WebView2_requests_and_profile_h__

typedef enum COREWEBVIEW2_BROWSING_DATA_KINDS {
  COREWEBVIEW2_BROWSING_DATA_KINDS_FILE_SYSTEMS = 1 << 0,
  COREWEBVIEW2_BROWSING_DATA_KINDS_INDEXED_DB = 1 << 1,
  COREWEBVIEW2_BROWSING_DATA_KINDS_LOCAL_STORAGE = 1 << 2,
  COREWEBVIEW2_BROWSING_DATA_KINDS_WEB_SQL = 1 << 3,
  COREWEBVIEW2_BROWSING_DATA_KINDS_CACHE_STORAGE = 1 << 4,
  COREWEBVIEW2_BROWSING_DATA_KINDS_ALL_DOM_STORAGE = 1 << 5,
  COREWEBVIEW2_BROWSING_DATA_KINDS_COOKIES = 1 << 6,
  COREWEBVIEW2_BROWSING_DATA_KINDS_ALL_SITE = 1 << 7,
  COREWEBVIEW2_BROWSING_DATA_KINDS_DISK_CACHE = 1 << 8
} COREWEBVIEW2_BROWSING_DATA_KINDS;

typedef enum COREWEBVIEW2_PREFERRED_COLOR_SCHEME {
  COREWEBVIEW2_PREFERRED_COLOR_SCHEME_AUTO = 0,
  COREWEBVIEW2_PREFERRED_COLOR_SCHEME_LIGHT = 1,
  COREWEBVIEW2_PREFERRED_COLOR_SCHEME_DARK = 2
} COREWEBVIEW2_PREFERRED_COLOR_SCHEME;

typedef enum COREWEBVIEW2_FRAME_KIND {
  COREWEBVIEW2_FRAME_KIND_UNKNOWN = 0,
  COREWEBVIEW2_FRAME_KIND_MAIN_FRAME = 1,
  COREWEBVIEW2_FRAME_KIND_IFRAME = 2,
  COREWEBVIEW2_FRAME_KIND_EMBED = 3,
  COREWEBVIEW2_FRAME_KIND_OBJECT = 4
} COREWEBVIEW2_FRAME_KIND;

// Interfaces that appear only as parameters of slots the product never calls.
struct ICoreWebView2BasicAuthenticationResponse;
struct ICoreWebView2ClientCertificate;
struct ICoreWebView2ClientCertificateCollection;
struct ICoreWebView2StringCollection;

struct ICoreWebView2BasicAuthenticationRequestedEventArgs;
struct ICoreWebView2ClientCertificateRequestedEventArgs;

MIDL_INTERFACE("D7175BA2-BCC3-11EB-8529-0242AC130003")
ICoreWebView2ClientCertificateRequestedEventHandler : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE Invoke(
      ICoreWebView2* sender, ICoreWebView2ClientCertificateRequestedEventArgs* args) = 0;
};

MIDL_INTERFACE("BC59DB28-BCC3-11EB-8529-0242AC130003")
ICoreWebView2ClientCertificateRequestedEventArgs : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Host(LPWSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Port(int* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsProxy(BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AllowedCertificateAuthorities(
      ICoreWebView2StringCollection** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_MutuallyTrustedCertificates(
      ICoreWebView2ClientCertificateCollection** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SelectedCertificate(
      ICoreWebView2ClientCertificate** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_SelectedCertificate(
      ICoreWebView2ClientCertificate* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Cancel(BOOL value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Handled(BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Handled(BOOL value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) = 0;
};

MIDL_INTERFACE("58B4D6C2-18D4-497E-B39B-9A96533FA278")
ICoreWebView2BasicAuthenticationRequestedEventHandler : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE Invoke(
      ICoreWebView2* sender, ICoreWebView2BasicAuthenticationRequestedEventArgs* args) = 0;
};

MIDL_INTERFACE("EF05516F-D897-4F9E-B672-D8E2307A3FB0")
ICoreWebView2BasicAuthenticationRequestedEventArgs : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Challenge(LPWSTR* challenge) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Response(
      ICoreWebView2BasicAuthenticationResponse** response) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* cancel) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) = 0;
};

MIDL_INTERFACE("DA86B8A1-BDF3-4F11-9955-528CEFA59727")
ICoreWebView2FrameInfo : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Name(LPWSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* source) = 0;
};

MIDL_INTERFACE("56F85CFA-72C4-11EE-B962-0242AC120002")
ICoreWebView2FrameInfo2 : public ICoreWebView2FrameInfo {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_ParentFrameInfo(ICoreWebView2FrameInfo** frameInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FrameId(UINT32* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FrameKind(COREWEBVIEW2_FRAME_KIND* kind) = 0;
};

MIDL_INTERFACE("BBC7BAED-74C6-4C92-B63A-7F5AEAE03DE3")
ICoreWebView2NewWindowRequestedEventArgs2 : public ICoreWebView2NewWindowRequestedEventArgs {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Name(LPWSTR* value) = 0;
};

MIDL_INTERFACE("842BED3C-6AD6-4DD9-B938-28C96667AD66")
ICoreWebView2NewWindowRequestedEventArgs3 : public ICoreWebView2NewWindowRequestedEventArgs2 {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_OriginalSourceFrameInfo(
      ICoreWebView2FrameInfo** frameInfo) = 0;
};

MIDL_INTERFACE("E9710A06-1D1D-49B2-8234-226F35846AE5")
ICoreWebView2ClearBrowsingDataCompletedHandler : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode) = 0;
};

MIDL_INTERFACE("79110AD3-CD5D-4373-8BC3-C60658F17A5F")
ICoreWebView2Profile : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_ProfileName(LPWSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsInPrivateModeEnabled(BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ProfilePath(LPWSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DefaultDownloadFolderPath(LPWSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_DefaultDownloadFolderPath(LPCWSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PreferredColorScheme(
      COREWEBVIEW2_PREFERRED_COLOR_SCHEME* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_PreferredColorScheme(
      COREWEBVIEW2_PREFERRED_COLOR_SCHEME value) = 0;
};

MIDL_INTERFACE("FA740D4B-5EAE-4344-A8AD-74BE31925397")
ICoreWebView2Profile2 : public ICoreWebView2Profile {
 public:
  virtual HRESULT STDMETHODCALLTYPE ClearBrowsingData(
      COREWEBVIEW2_BROWSING_DATA_KINDS dataKinds,
      ICoreWebView2ClearBrowsingDataCompletedHandler* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearBrowsingDataInTimeRange(
      COREWEBVIEW2_BROWSING_DATA_KINDS dataKinds, double startTime, double endTime,
      ICoreWebView2ClearBrowsingDataCompletedHandler* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearBrowsingDataAll(
      ICoreWebView2ClearBrowsingDataCompletedHandler* handler) = 0;
};

SENDARO_WEBVIEW2_IID(ICoreWebView2ClientCertificateRequestedEventHandler, 0xd7175ba2, 0xbcc3,
                     0x11eb, 0x85, 0x29, 0x02, 0x42, 0xac, 0x13, 0x00, 0x03)
SENDARO_WEBVIEW2_IID(ICoreWebView2ClientCertificateRequestedEventArgs, 0xbc59db28, 0xbcc3,
                     0x11eb, 0x85, 0x29, 0x02, 0x42, 0xac, 0x13, 0x00, 0x03)
SENDARO_WEBVIEW2_IID(ICoreWebView2BasicAuthenticationRequestedEventHandler, 0x58b4d6c2, 0x18d4,
                     0x497e, 0xb3, 0x9b, 0x9a, 0x96, 0x53, 0x3f, 0xa2, 0x78)
SENDARO_WEBVIEW2_IID(ICoreWebView2BasicAuthenticationRequestedEventArgs, 0xef05516f, 0xd897,
                     0x4f9e, 0xb6, 0x72, 0xd8, 0xe2, 0x30, 0x7a, 0x3f, 0xb0)
SENDARO_WEBVIEW2_IID(ICoreWebView2FrameInfo, 0xda86b8a1, 0xbdf3, 0x4f11, 0x99, 0x55, 0x52, 0x8c,
                     0xef, 0xa5, 0x97, 0x27)
SENDARO_WEBVIEW2_IID(ICoreWebView2FrameInfo2, 0x56f85cfa, 0x72c4, 0x11ee, 0xb9, 0x62, 0x02,
                     0x42, 0xac, 0x12, 0x00, 0x02)
SENDARO_WEBVIEW2_IID(ICoreWebView2NewWindowRequestedEventArgs2, 0xbbc7baed, 0x74c6, 0x4c92,
                     0xb6, 0x3a, 0x7f, 0x5a, 0xea, 0xe0, 0x3d, 0xe3)
SENDARO_WEBVIEW2_IID(ICoreWebView2NewWindowRequestedEventArgs3, 0x842bed3c, 0x6ad6, 0x4dd9,
                     0xb9, 0x38, 0x28, 0xc9, 0x66, 0x67, 0xad, 0x66)
SENDARO_WEBVIEW2_IID(ICoreWebView2ClearBrowsingDataCompletedHandler, 0xe9710a06, 0x1d1d, 0x49b2,
                     0x82, 0x34, 0x22, 0x6f, 0x35, 0x84, 0x6a, 0xe5)
SENDARO_WEBVIEW2_IID(ICoreWebView2Profile, 0x79110ad3, 0xcd5d, 0x4373, 0x8b, 0xc3, 0xc6, 0x06,
                     0x58, 0xf1, 0x7a, 0x5f)
SENDARO_WEBVIEW2_IID(ICoreWebView2Profile2, 0xfa740d4b, 0x5eae, 0x4344, 0xa8, 0xad, 0x74, 0xbe,
                     0x31, 0x92, 0x53, 0x97)

#endif  // __WebView2_requests_and_profile_h__
