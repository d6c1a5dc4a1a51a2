#include "web_view.h"

#include <algorithm>
#include <fstream>
#include <thread>
#include <vector>

#include "cookie_manager.h"
#include "event_args.h"
#include "log_redaction.h"
#include "string_conversion.h"

namespace {

constexpr int kMaxRedirects = 20;
// COREWEBVIEW2_WEB_ERROR_STATUS values used here.
constexpr int kUnknown = 0, kConnectionAborted = 9, kOperationCanceled = 14,
              kRedirectFailed = 15;
// A page that refreshes itself later than this does so after this long.
constexpr unsigned kLongestRefreshMs = 5000;

// SENDARO_WEBVIEW_LOG names a file that gets one line per thing the browser and its user did.
void Trace(const std::string& line) {
  wchar_t path[MAX_PATH * 2];
  const DWORD length = GetEnvironmentVariableW(L"SENDARO_WEBVIEW_LOG", path,
                                               static_cast<DWORD>(std::size(path)));
  if (length == 0 || length >= std::size(path)) return;
  std::ofstream(path, std::ios::app | std::ios::binary) << line << "\n";
}

template <typename Handler>
std::vector<ComPtr<Handler>> Snapshot(const std::map<int64_t, ComPtr<Handler>>& handlers) {
  std::vector<ComPtr<Handler>> list;
  for (const auto& entry : handlers) list.push_back(entry.second);
  return list;
}

template <typename Handler>
HRESULT AddHandler(std::map<int64_t, ComPtr<Handler>>& handlers, int64_t& next_token,
                   Handler* handler, EventRegistrationToken* token) {
  if (handler == nullptr || token == nullptr) return E_INVALIDARG;
  token->value = next_token++;
  handlers[token->value] = handler;
  return S_OK;
}

const HtmlLink* FindLink(const HtmlPage& page, const std::string& wanted) {
  for (const HtmlLink& link : page.links) {
    if (!wanted.empty() ? (link.id == wanted || link.class_name == wanted || link.text == wanted)
                        : (link.id.find("cancel") != std::string::npos ||
                           link.class_name.find("cancel") != std::string::npos)) {
      return &link;
    }
  }
  return nullptr;
}

// One line per visible form field and link: what a person would see and use on the page.
std::string PageOutline(const HtmlPage& page) {
  std::string outline;
  for (const HtmlForm& form : page.forms) {
    for (const HtmlInput& input : form.inputs) {
      if (input.type == "hidden") continue;
      if (input.type == "submit") {
        outline += "[" + (!input.value.empty() ? input.value : !input.name.empty() ? input.name : "submit") + "]\n";
      } else {
        const bool masked = input.type == "password" && !input.value.empty();
        outline += input.name + ": " + (masked ? "****" : input.value) + "\n";
      }
    }
  }
  for (const HtmlLink& link : page.links) outline += "<" + link.text + ">\n";
  return outline;
}

}  // namespace

WebView::WebView(std::shared_ptr<BrowserProfile> profile, std::shared_ptr<Dispatcher> dispatcher,
                 std::shared_ptr<HostWindow> host, ComPtr<ICoreWebView2Environment> environment)
    : profile_(std::move(profile)),
      dispatcher_(std::move(dispatcher)),
      host_(std::move(host)),
      environment_(std::move(environment)) {}

WebView::~WebView() = default;

void WebView::Close() {
  closed_ = true;
  starting_handlers_.clear();
  completed_handlers_.clear();
  frame_handlers_.clear();
  new_window_handlers_.clear();
  download_handlers_.clear();
  launch_handlers_.clear();
}

HRESULT STDMETHODCALLTYPE WebView::get_Source(LPWSTR* uri) {
  return CopyToCoTaskMem(has_page_ ? Utf8ToWide(address_.Text()) : L"about:blank", uri);
}

HRESULT STDMETHODCALLTYPE WebView::get_DocumentTitle(LPWSTR* title) {
  return CopyToCoTaskMem(Utf8ToWide(page_.title), title);
}

HRESULT STDMETHODCALLTYPE WebView::Navigate(LPCWSTR uri) {
  if (closed_) return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
  if (uri == nullptr) return E_INVALIDARG;
  const auto address = ParseWebAddress(WideToUtf8(uri));
  if (!address) return E_INVALIDARG;
  PageRequest request;
  request.address = *address;
  StartNavigation(std::move(request), false);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE WebView::Stop() {
  ++navigation_;
  navigating_ = false;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE WebView::add_FrameNavigationStarting(
    ICoreWebView2NavigationStartingEventHandler* handler, EventRegistrationToken* token) {
  return AddHandler(frame_handlers_, next_token_, handler, token);
}

HRESULT STDMETHODCALLTYPE WebView::remove_FrameNavigationStarting(EventRegistrationToken token) {
  frame_handlers_.erase(token.value);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE WebView::add_NavigationStarting(
    ICoreWebView2NavigationStartingEventHandler* handler, EventRegistrationToken* token) {
  return AddHandler(starting_handlers_, next_token_, handler, token);
}

HRESULT STDMETHODCALLTYPE WebView::remove_NavigationStarting(EventRegistrationToken token) {
  starting_handlers_.erase(token.value);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE WebView::add_NavigationCompleted(
    ICoreWebView2NavigationCompletedEventHandler* handler, EventRegistrationToken* token) {
  return AddHandler(completed_handlers_, next_token_, handler, token);
}

HRESULT STDMETHODCALLTYPE WebView::remove_NavigationCompleted(EventRegistrationToken token) {
  completed_handlers_.erase(token.value);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE WebView::add_NewWindowRequested(
    ICoreWebView2NewWindowRequestedEventHandler* handler, EventRegistrationToken* token) {
  return AddHandler(new_window_handlers_, next_token_, handler, token);
}

HRESULT STDMETHODCALLTYPE WebView::remove_NewWindowRequested(EventRegistrationToken token) {
  new_window_handlers_.erase(token.value);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE WebView::add_DownloadStarting(
    ICoreWebView2DownloadStartingEventHandler* handler, EventRegistrationToken* token) {
  return AddHandler(download_handlers_, next_token_, handler, token);
}

HRESULT STDMETHODCALLTYPE WebView::remove_DownloadStarting(EventRegistrationToken token) {
  download_handlers_.erase(token.value);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE WebView::add_LaunchingExternalUriScheme(
    ICoreWebView2LaunchingExternalUriSchemeEventHandler* handler, EventRegistrationToken* token) {
  return AddHandler(launch_handlers_, next_token_, handler, token);
}

HRESULT STDMETHODCALLTYPE WebView::remove_LaunchingExternalUriScheme(EventRegistrationToken token) {
  launch_handlers_.erase(token.value);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE WebView::get_CookieManager(ICoreWebView2CookieManager** manager) {
  if (manager == nullptr) return E_POINTER;
  if (!cookie_manager_) cookie_manager_ = Make<CookieManager>(profile_, dispatcher_);
  return cookie_manager_.CopyTo(manager);
}

HRESULT STDMETHODCALLTYPE WebView::get_Environment(ICoreWebView2Environment** environment) {
  if (environment == nullptr) return E_POINTER;
  return environment_.CopyTo(environment);
}

void WebView::StartNavigation(PageRequest request, bool user_initiated) {
  Hop hop{++navigation_, std::move(request), user_initiated, false, 0};
  navigating_ = true;
  ComPtr<WebView> self(this);
  dispatcher_->Post([self, hop]() { self->BeginHop(hop); });
}

void WebView::BeginHop(Hop hop) {
  if (!Current(hop.navigation)) return;
  const std::string target = hop.request.address.Text();
  Trace("navigation starting: " + RedactAddressForLog(target));
  auto args = Make<NavigationStartingArgs>(Utf8ToWide(target), hop.user_initiated, hop.redirected,
                                           hop.navigation);
  for (const auto& handler : Snapshot(starting_handlers_)) handler->Invoke(this, args.Get());
  if (!Current(hop.navigation)) return;  // a handler navigated elsewhere or closed the browser
  if (args->cancelled()) {
    Trace("navigation cancelled: " + RedactAddressForLog(target));
    Complete(hop.navigation, false, kOperationCanceled);
    return;
  }
  if (!hop.request.address.IsHttp()) {
    Trace("not fetched (no handler for the scheme): " + RedactAddressForLog(target));
    AskToLaunch(target, hop.user_initiated);
    if (Current(hop.navigation)) Complete(hop.navigation, false, kUnknown);
    return;
  }
  hop.request.cookie_header = profile_->cookies().HeaderFor(hop.request.address, BrowserProfile::Now());
  std::weak_ptr<Dispatcher> dispatcher = dispatcher_;
  std::weak_ptr<int> alive = alive_;
  WebView* self = this;
  std::thread([dispatcher, alive, self, hop]() {
    PageResponse response = FetchPage(hop.request);
    if (auto target = dispatcher.lock()) {
      // Runs on the browser's thread, where the browser is destroyed too: `alive` tells
      // whether `self` still exists.
      target->Post([alive, self, hop, response]() {
        if (!alive.expired()) self->FinishHop(hop, response);
      });
    }
  }).detach();
}

void WebView::FinishHop(Hop hop, const PageResponse& response) {
  if (!Current(hop.navigation)) return;
  const WebAddress& from = hop.request.address;
  if (!response.received) {
    Trace("navigation failed: " + RedactAddressForLog(from.Text()) + " error " +
          std::to_string(response.error));
    Complete(hop.navigation, false, response.web_error_status);
    return;
  }
  const double now = BrowserProfile::Now();
  for (const std::string& cookie : response.set_cookies) profile_->cookies().Store(from, cookie, now);
  if (!response.set_cookies.empty()) profile_->SaveCookies();
  if (response.attachment && !response.IsRedirect()) {
    // The page stays; the navigation ends as a download does.
    DownloadAllowed(from);
    Complete(hop.navigation, false, kConnectionAborted);
    return;
  }
  if (!response.IsRedirect()) {
    ShowPage(hop, response);
    return;
  }
  const auto next = ResolveWebAddress(from, response.location);
  if (!next || hop.redirects >= kMaxRedirects) {
    Complete(hop.navigation, false, kRedirectFailed);
    return;
  }
  const bool keeps_method = response.status == 307 || response.status == 308;
  Hop following{hop.navigation, PageRequest{}, hop.user_initiated, true, hop.redirects + 1};
  following.request.address = *next;
  if (keeps_method) {
    following.request.method = hop.request.method;
    following.request.body = hop.request.body;
    following.request.content_type = hop.request.content_type;
  }
  ComPtr<WebView> self(this);
  dispatcher_->Post([self, following]() { self->BeginHop(following); });
}

void WebView::ShowPage(const Hop& hop, const PageResponse& response) {
  address_ = hop.request.address;
  has_page_ = true;
  ++page_serial_;
  page_ = ReadHtmlPage(response.body);
  const std::string shown_title = page_.title.empty() ? address_.Text() : page_.title;
  if (host_) {
    host_->ShowPage(Utf8ToWide(shown_title), Utf8ToWide(address_.Text()), Utf8ToWide(PageOutline(page_)));
  }
  Trace("page " + std::to_string(response.status) + ": " + RedactAddressForLog(address_.Text()) +
        " title: " + page_.title);
  const bool success = response.status < 400;
  Complete(hop.navigation, success, success ? 0 : kUnknown);
  if (!Current(hop.navigation)) return;
  ComPtr<WebView> self(this);
  const uint64_t navigation = hop.navigation;
  const uint64_t page = page_serial_;
  dispatcher_->Post([self, navigation, page]() {
    self->RunPageBehaviour(navigation);
    self->LetUserAct(page);
  });
}

// Runs whether or not anybody can see the window: pages do this by themselves.
void WebView::RunPageBehaviour(uint64_t navigation) {
  if (!Current(navigation)) return;
  const PageBehaviour behaviour = page_.behaviour;
  NavigateFrames(behaviour.frames);
  for (const std::string& opened : behaviour.opens) RequestNewWindow(opened, false);
  if (!Current(navigation)) return;
  if (behaviour.submits_first_form) {
    SubmitFirstForm({}, false);
    return;
  }
  if (!behaviour.location.empty()) {
    const auto target = ResolveWebAddress(address_, behaviour.location);
    if (target) {
      Trace("page: its script navigates to " + RedactAddressForLog(target->Text()));
      PageRequest request;
      request.address = *target;
      StartNavigation(std::move(request), false);
    }
  }
  if (!behaviour.refresh_url.empty()) {
    const auto target = ResolveWebAddress(address_, behaviour.refresh_url);
    if (!target) return;
    Trace("page: refreshes to " + RedactAddressForLog(target->Text()));
    ComPtr<WebView> self(this);
    const WebAddress address = *target;
    const uint64_t page = page_serial_;
    dispatcher_->PostAfter(std::min(behaviour.refresh_seconds * 1000, kLongestRefreshMs),
                           [self, page, address]() {
                             if (!self->PageStillActs(page)) return;
                             PageRequest request;
                             request.address = address;
                             self->StartNavigation(std::move(request), false);
                           });
  }
}

void WebView::NavigateFrames(const std::vector<std::string>& frames) {
  for (const std::string& frame : frames) {
    const auto target = ResolveWebAddress(address_, frame);
    const std::string uri = target ? target->Text() : frame;
    auto args = Make<NavigationStartingArgs>(Utf8ToWide(uri), false, false, navigation_);
    for (const auto& handler : Snapshot(frame_handlers_)) handler->Invoke(this, args.Get());
    Trace(std::string(args->cancelled() ? "frame navigation cancelled: "
                                        : "frame navigation allowed: ") +
          RedactAddressForLog(uri));
    const auto address = ParseWebAddress(uri);
    if (!args->cancelled() && address && !address->IsHttp()) AskToLaunch(uri, false);
  }
}

void WebView::AskToLaunch(const std::string& uri, bool user_initiated) {
  WebAddress origin = address_;
  origin.path_and_query.clear();
  const std::wstring initiating = has_page_ ? Utf8ToWide(origin.Text()) : std::wstring();
  auto args = Make<LaunchingExternalUriSchemeArgs>(Utf8ToWide(uri), initiating, user_initiated);
  for (const auto& handler : Snapshot(launch_handlers_)) handler->Invoke(this, args.Get());
  Trace(std::string(args->cancelled() ? "external scheme launch cancelled: "
                                      : "external application launched for: ") +
        RedactAddressForLog(uri));
}

void WebView::SubmitFirstForm(const std::vector<std::pair<std::string, std::string>>& fields,
                              bool user_initiated) {
  if (page_.forms.empty()) {
    Trace("user: no form to submit");
    return;
  }
  const HtmlForm& form = page_.forms.front();
  const auto target = ResolveWebAddress(address_, form.action);
  if (!target) return;
  PageRequest request;
  request.address = *target;
  const std::string encoded = FormUrlEncode(form.Submission(fields));
  if (form.method == "POST") {
    request.method = "POST";
    request.body = encoded;
    request.content_type = "application/x-www-form-urlencoded";
  } else {
    request.address.path_and_query = target->Path() + "?" + encoded;
  }
  Trace(std::string(user_initiated ? "user: submits the form to " : "page: submits its form to ") +
        RedactAddressForLog(request.address.Text()));
  StartNavigation(std::move(request), user_initiated);
}

void WebView::RequestNewWindow(const std::string& reference, bool user_initiated) {
  const auto target = ResolveWebAddress(address_, reference);
  const std::string uri = target ? target->Text() : reference;
  auto args = Make<NewWindowRequestedArgs>(Utf8ToWide(uri), user_initiated);
  for (const auto& handler : Snapshot(new_window_handlers_)) handler->Invoke(this, args.Get());
  if (args->handled() || args->given_window()) {
    Trace("new window request handled by the application: " + RedactAddressForLog(uri));
  } else {
    Trace("new window opened outside the application: " + RedactAddressForLog(uri));
  }
}

bool WebView::DownloadAllowed(const WebAddress& from) {
  auto args = Make<DownloadStartingArgs>(L"download.bin");
  for (const auto& handler : Snapshot(download_handlers_)) handler->Invoke(this, args.Get());
  if (args->cancelled()) {
    Trace("download cancelled: " + RedactAddressForLog(from.Text()));
    return false;
  }
  Trace("download saved: " + RedactAddressForLog(from.Text()));
  return true;
}

void WebView::Complete(uint64_t navigation, bool success, int web_error_status) {
  if (navigation == navigation_) navigating_ = false;
  auto args = Make<NavigationCompletedArgs>(success, web_error_status, navigation);
  for (const auto& handler : Snapshot(completed_handlers_)) handler->Invoke(this, args.Get());
}

// Decided once the page's own navigations started: a cancelled one leaves the user's turn.
void WebView::LetUserAct(uint64_t page) {
  if (closed_ || page != page_serial_) return;
  if (!host_ || !host_->UserCanSee()) {
    Trace("user: the window is hidden, nothing to do");
    return;
  }
  const UserStep step = ScriptedUserStep(address_.Path(), page_.title);
  ComPtr<WebView> self(this);
  dispatcher_->PostAfter(step.delay_ms, [self, page, step]() {
    self->PerformUserStep(page, step);
  });
}

void WebView::PerformUserStep(uint64_t page, const UserStep& step) {
  if (!PageStillActs(page)) return;
  switch (step.kind) {
    case UserStep::Kind::kSubmit:
      SubmitFirstForm(step.fields, true);
      return;
    case UserStep::Kind::kCancel: {
      const HtmlLink* link = FindLink(page_, step.link);
      const auto target = link ? ResolveWebAddress(address_, link->href) : std::nullopt;
      if (!target) {
        Trace("user: no such link");
        return;
      }
      if (link->OpensNewWindow()) {
        Trace("user: follows the link " + link->text + " (target " + link->target + ")");
        RequestNewWindow(link->href, true);
        return;
      }
      Trace("user: follows the link " + link->text);
      PageRequest request;
      request.address = *target;
      StartNavigation(std::move(request), true);
      return;
    }
    case UserStep::Kind::kClose:
      Trace("user: closes the window");
      if (host_) host_->CloseTopLevelWindow();
      return;
    case UserStep::Kind::kNothing:
      Trace("user: does nothing");
      return;
  }
}
