// WebView: what a page asks of the browser besides a navigation of its window: frames, new
// windows, external applications, downloads, a TLS client certificate, basic credentials.
#include <WebView2.h>

#include <optional>

#include "browser_trace.h"
#include "event_args.h"
#include "log_redaction.h"
#include "request_event_args.h"
#include "scripted_user.h"
#include "string_conversion.h"
#include "web_view.h"

namespace {

// The documents a frame gets from the browser itself.
bool IsBrowserDocument(const std::string& uri) {
  return uri == "about:blank" || uri == "about:srcdoc";
}

}  // namespace

bool WebView::NavigateFrames(const std::vector<std::string>& frames) {
  bool all_loaded = true;
  for (const std::string& frame : frames) {
    std::optional<WebAddress> target;
    if (!IsBrowserDocument(frame)) target = ResolveWebAddress(address_, frame);
    const std::string uri = target ? target->Text() : frame;
    auto args = Make<NavigationStartingArgs>(Utf8ToWide(uri), false, false, navigation_);
    for (const auto& handler : frame_handlers_.Snapshot()) handler->Invoke(this, args.Get());
    Trace(std::string(args->cancelled() ? "frame navigation cancelled: "
                                        : "frame navigation allowed: ") +
          RedactAddressForLog(uri));
    const auto address = ParseWebAddress(uri);
    const bool loads = !args->cancelled() && (IsBrowserDocument(uri) || (address && address->IsHttp()));
    if (!args->cancelled() && !loads && address) AskToLaunch(uri, false);
    all_loaded = all_loaded && loads;
  }
  return all_loaded;
}

void WebView::AskToLaunch(const std::string& uri, bool user_initiated) {
  WebAddress origin = address_;
  origin.path_and_query.clear();
  const std::wstring initiating = has_page_ ? Utf8ToWide(origin.Text()) : std::wstring();
  auto args = Make<LaunchingExternalUriSchemeArgs>(Utf8ToWide(uri), initiating, user_initiated);
  for (const auto& handler : launch_handlers_.Snapshot()) handler->Invoke(this, args.Get());
  Trace(std::string(args->cancelled() ? "external scheme launch cancelled: "
                                      : "external application launched for: ") +
        RedactAddressForLog(uri));
}

void WebView::RequestNewWindow(const std::string& reference, bool user_initiated) {
  const auto target = ResolveWebAddress(address_, reference);
  const std::string uri = target ? target->Text() : reference;
  auto args = Make<NewWindowRequestedArgs>(Utf8ToWide(uri), user_initiated,
                                           Utf8ToWide(address_.Text()));
  for (const auto& handler : new_window_handlers_.Snapshot()) handler->Invoke(this, args.Get());
  if (args->handled() || args->given_window()) {
    Trace("new window request handled by the application: " + RedactAddressForLog(uri));
  } else {
    Trace("new window opened outside the application: " + RedactAddressForLog(uri));
  }
}

bool WebView::DownloadAllowed(const WebAddress& from) {
  auto args = Make<DownloadStartingArgs>(L"download.bin");
  for (const auto& handler : download_handlers_.Snapshot()) handler->Invoke(this, args.Get());
  if (args->cancelled()) {
    Trace("download cancelled: " + RedactAddressForLog(from.Text()));
    return false;
  }
  Trace("download saved: " + RedactAddressForLog(from.Text()));
  return true;
}

// A server asks for the certificate in its TLS handshake, before it answers anything.
bool WebView::ServerMayAnswer(const Hop& hop) {
  const WebAddress& to = hop.request.address;
  if (!to.IsSecure() || !ScriptedServerAsksForClientCertificate(to.Path())) return true;
  const std::string server = to.host + ":" + std::to_string(to.port);
  auto args = Make<ClientCertificateRequestedArgs>(Utf8ToWide(to.host), to.port);
  for (const auto& handler : certificate_handlers_.Snapshot()) handler->Invoke(this, args.Get());
  if (!Current(hop.navigation)) return false;
  if (args->cancelled()) {
    Trace("client certificate request cancelled: " + server);
    return false;
  }
  Trace(std::string(args->handled() ? "client certificate request answered by the application: "
                                    : "client certificate picker shown, the user's certificates "
                                      "offered to: ") +
        server);
  return true;
}

void WebView::AskForCredentials(const Hop& hop, const PageResponse& response) {
  if (response.www_authenticate.compare(0, 5, "Basic") != 0) return;
  const std::string uri = hop.request.address.Text();
  auto args = Make<BasicAuthenticationRequestedArgs>(Utf8ToWide(uri),
                                                     Utf8ToWide(response.www_authenticate));
  for (const auto& handler : credentials_handlers_.Snapshot()) handler->Invoke(this, args.Get());
  Trace(std::string(args->cancelled() ? "basic authentication request cancelled: "
                                      : "credentials prompt shown for: ") +
        RedactAddressForLog(uri));
}
