#include "web_view.h"

#include <algorithm>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "browser_profile_object.h"
#include "browser_trace.h"
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
      environment_(std::move(environment)),
      cookie_store_(std::make_shared<CookieStore>(profile_, dispatcher_)) {}

WebView::~WebView() = default;

void WebView::Close() {
  closed_ = true;
  cookie_store_->Close();
  starting_handlers_.Clear();
  completed_handlers_.Clear();
  frame_handlers_.Clear();
  new_window_handlers_.Clear();
  download_handlers_.Clear();
  launch_handlers_.Clear();
  certificate_handlers_.Clear();
  credentials_handlers_.Clear();
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

HRESULT STDMETHODCALLTYPE WebView::get_CookieManager(ICoreWebView2CookieManager** manager) {
  if (manager == nullptr) return E_POINTER;
  if (!cookie_manager_) cookie_manager_ = Make<CookieManager>(cookie_store_);
  return cookie_manager_.CopyTo(manager);
}

HRESULT STDMETHODCALLTYPE WebView::get_Profile(ICoreWebView2Profile** profile) {
  if (profile == nullptr) return E_POINTER;
  *profile = Make<ProfileObject>(cookie_store_).Detach();
  return *profile != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE WebView::CallDevToolsProtocolMethod(
    LPCWSTR method, LPCWSTR parameters,
    ICoreWebView2CallDevToolsProtocolMethodCompletedHandler* handler) {
  if (method == nullptr || parameters == nullptr) return E_INVALIDARG;
  if (std::wstring(method) != L"Storage.clearDataForOrigin") return E_NOTIMPL;
  const nlohmann::json request = nlohmann::json::parse(WideToUtf8(parameters), nullptr, false);
  std::string origin;
  if (request.is_object() && request.contains("origin") && request["origin"].is_string()) {
    origin = request["origin"].get<std::string>();
  }
  ComPtr<ICoreWebView2CallDevToolsProtocolMethodCompletedHandler> kept(handler);
  const bool queued = cookie_store_->Enqueue([kept, origin](BrowserProfile& profile) {
    if (!origin.empty()) {
      profile.ClearSiteDataOf(origin);
      Trace("site data cleared: " + origin);
    }
    if (kept) kept->Invoke(origin.empty() ? E_INVALIDARG : S_OK, L"{}");
  });
  return queued ? S_OK : HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
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
  for (const auto& handler : starting_handlers_.Snapshot()) handler->Invoke(this, args.Get());
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
  if (!ServerMayAnswer(hop)) {
    if (Current(hop.navigation)) Complete(hop.navigation, false, kConnectionAborted);
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
    if (response.status == 401) AskForCredentials(hop, response);
    if (!Current(hop.navigation)) return;
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
  frames_loaded_ = true;
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
  for (const std::string& key : behaviour.stored_items) {
    profile_->StoreSiteData(address_.Origin(), key);
    Trace("page: stores site data for " + address_.Origin());
  }
  frames_loaded_ = NavigateFrames(behaviour.frames);
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

void WebView::Complete(uint64_t navigation, bool success, int web_error_status) {
  if (navigation == navigation_) navigating_ = false;
  auto args = Make<NavigationCompletedArgs>(success, web_error_status, navigation);
  for (const auto& handler : completed_handlers_.Snapshot()) handler->Invoke(this, args.Get());
}

// Decided once the page's own navigations started: a cancelled one leaves the user's turn.
void WebView::LetUserAct(uint64_t page) {
  if (closed_ || page != page_serial_) return;
  if (!frames_loaded_) {
    Trace("user: the page waits for a frame that did not load");
    return;
  }
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
