#include "cookie_deletion.h"

#include <WebView2.h>
#include <wrl/client.h>

#include <memory>
#include <optional>
#include <utility>

#include <nlohmann/json.hpp>

#include "cookie_listing.h"
#include "logger.h"
#include "main_thread_timer.h"
#include "string_conversion.h"
#include "webview_handlers.h"

using Microsoft::WRL::ComPtr;

namespace {

using CookieFilter = std::function<bool(const std::string& domain)>;

// What a full sign-out clears: every kind of site data, and the HTTP cache.
constexpr auto kSiteDataKinds = static_cast<COREWEBVIEW2_BROWSING_DATA_KINDS>(
    COREWEBVIEW2_BROWSING_DATA_KINDS_ALL_SITE | COREWEBVIEW2_BROWSING_DATA_KINDS_DISK_CACHE);
// Storage.clearDataForOrigin's types for an origin's web storage (its cookies go by host).
constexpr char kOriginStorageTypes[] =
    "file_systems,indexeddb,local_storage,websql,cache_storage,service_workers";

// One deletion in progress, made of `parts` the browser confirms one by one: answered once,
// when all are confirmed, at the first that fails, or by the time limit.
class Deletion : public std::enable_shared_from_this<Deletion> {
 public:
  Deletion(CookieDeletionDone done, int parts) : done_(std::move(done)), parts_(parts) {}

  // The limit holds the deletion: a browser closed meanwhile drops its completion unanswered.
  void ArmLimit(uint32_t limit_ms) {
    std::shared_ptr<Deletion> self = shared_from_this();
    limit_ = std::make_unique<MainThreadTimer>(limit_ms, [self, limit_ms] {
      LogError("Deleting the sign-in browser's cookies did not complete within " +
               std::to_string(limit_ms / 1000) + " s");
      self->Finish(false);
    });
  }
  // A deletion that did not start as a whole: what of it started answers nobody.
  void Drop() { done_ = nullptr; }
  void PartDone(bool deleted) {
    if (!deleted || --parts_ <= 0) Finish(deleted);
  }
  void Finish(bool deleted) {
    if (!done_) return;
    limit_.reset();
    if (!deleted) LogError("Failed to delete the sign-in browser's cookies");
    CookieDeletionDone done = std::move(done_);
    done_ = nullptr;
    done(deleted);
  }

 private:
  CookieDeletionDone done_;
  int parts_;
  std::unique_ptr<MainThreadTimer> limit_;
};

ComPtr<ICoreWebView2CookieManager> CookieManagerOf(ICoreWebView2* webview) {
  ComPtr<ICoreWebView2_2> webview2;
  ComPtr<ICoreWebView2CookieManager> manager;
  if (webview != nullptr && SUCCEEDED(webview->QueryInterface(IID_PPV_ARGS(&webview2))) &&
      webview2) {
    webview2->get_CookieManager(manager.GetAddressOf());
  }
  return manager;
}

bool EqualIgnoringCase(const std::string& one, const std::string& other) {
  return one.size() == other.size() &&
         CompareStringOrdinal(Utf8ToWide(one).c_str(), -1, Utf8ToWide(other).c_str(), -1,
                              TRUE) == CSTR_EQUAL;
}

bool Matches(const CookieFilter& filter, ICoreWebView2Cookie* cookie) {
  const std::optional<std::string> domain = ReadBrowserCookie(cookie).domain;
  return domain && filter(*domain);
}

// The second listing: the deletions asked before it are behind it in the browser's queue.
HRESULT ConfirmDeleted(const std::shared_ptr<Deletion>& deletion, const CookieFilter& filter,
                       int deleted, HRESULT result, ICoreWebView2CookieList* list) {
  int left = 0;
  if (FAILED(result) || !ForEachBrowserCookie(list, [&](ICoreWebView2Cookie* cookie) {
        if (Matches(filter, cookie)) ++left;
      })) {
    LogError("Failed to list the sign-in browser's cookies for deletion");
    deletion->PartDone(false);
    return S_OK;
  }
  if (left > 0) LogError(std::to_string(left) + " of the cookies to delete are still there");
  if (left == 0) LogInfo("Deleted " + std::to_string(deleted) + " cookies of the sign-in browser");
  deletion->PartDone(left == 0);
  return S_OK;
}

HRESULT DeleteListed(const std::shared_ptr<Deletion>& deletion,
                     const ComPtr<ICoreWebView2CookieManager>& manager, const CookieFilter& filter,
                     HRESULT result, ICoreWebView2CookieList* list) {
  int deleted = 0;
  bool refused = false;
  const bool listed = SUCCEEDED(result) && ForEachBrowserCookie(list, [&](ICoreWebView2Cookie* cookie) {
    if (!Matches(filter, cookie)) return;
    if (SUCCEEDED(manager->DeleteCookie(cookie))) {
      ++deleted;
    } else {
      refused = true;
    }
  });
  if (!listed || refused) {
    LogError(listed ? "The browser refused to delete a cookie"
                    : "Failed to list the sign-in browser's cookies for deletion");
    deletion->PartDone(false);
    return S_OK;
  }
  auto confirm = GetCookiesCompletedHandler::Create(
      [deletion, filter, deleted](HRESULT answer, ICoreWebView2CookieList* left) {
        return ConfirmDeleted(deletion, filter, deleted, answer, left);
      });
  if (FAILED(manager->GetCookies(L"", confirm.Get()))) deletion->PartDone(false);
  return S_OK;
}

bool DeleteThroughCookieManager(ICoreWebView2* webview, CookieFilter filter,
                                const std::shared_ptr<Deletion>& deletion) {
  const ComPtr<ICoreWebView2CookieManager> manager = CookieManagerOf(webview);
  if (!manager) return false;
  auto listed = GetCookiesCompletedHandler::Create(
      [deletion, manager, filter](HRESULT result, ICoreWebView2CookieList* list) {
        return DeleteListed(deletion, manager, filter, result, list);
      });
  return SUCCEEDED(manager->GetCookies(L"", listed.Get()));
}

ComPtr<ICoreWebView2Profile2> ProfileOf(ICoreWebView2* webview) {
  ComPtr<ICoreWebView2_13> webview13;
  ComPtr<ICoreWebView2Profile> profile;
  ComPtr<ICoreWebView2Profile2> profile2;
  if (webview != nullptr && SUCCEEDED(webview->QueryInterface(IID_PPV_ARGS(&webview13))) &&
      webview13 && SUCCEEDED(webview13->get_Profile(profile.GetAddressOf())) && profile) {
    profile->QueryInterface(IID_PPV_ARGS(&profile2));
  }
  return profile2;
}

bool ClearThroughProfile(ICoreWebView2* webview, const std::shared_ptr<Deletion>& deletion) {
  const ComPtr<ICoreWebView2Profile2> profile = ProfileOf(webview);
  if (!profile) return false;
  auto cleared = ClearBrowsingDataCompletedHandler::Create([deletion](HRESULT result) {
    if (SUCCEEDED(result)) LogInfo("Sign-in browser's site data deleted");
    deletion->PartDone(SUCCEEDED(result));
    return S_OK;
  });
  return SUCCEEDED(profile->ClearBrowsingData(kSiteDataKinds, cleared.Get()));
}

bool ClearOriginStorage(ICoreWebView2* webview, const std::string& origin,
                        const std::shared_ptr<Deletion>& deletion) {
  const std::string parameters =
      nlohmann::json{{"origin", origin}, {"storageTypes", kOriginStorageTypes}}.dump();
  auto cleared = DevToolsMethodCompletedHandler::Create(
      [deletion, origin](HRESULT result, LPCWSTR) {
        if (FAILED(result)) LogError("Failed to delete the site data of " + origin);
        deletion->PartDone(SUCCEEDED(result));
        return S_OK;
      });
  if (SUCCEEDED(webview->CallDevToolsProtocolMethod(L"Storage.clearDataForOrigin",
                                                    Utf8ToWide(parameters).c_str(),
                                                    cleared.Get()))) {
    return true;
  }
  LogError("The sign-in browser cannot delete the site data of " + origin);
  return false;
}

// Starts `start` for a new deletion of `parts` with its time limit; false (logged) when it did
// not start.
template <typename Start>
bool StartDeletion(uint32_t limit_ms, int parts, CookieDeletionDone done, Start start) {
  auto deletion = std::make_shared<Deletion>(std::move(done), parts);
  if (!start(deletion)) {
    deletion->Drop();
    LogError("Failed to delete the sign-in browser's cookies");
    return false;
  }
  deletion->ArmLimit(limit_ms);
  return true;
}

}  // namespace

bool DeleteAllSiteData(ICoreWebView2* webview, uint32_t limit_ms, CookieDeletionDone done) {
  const auto start = [webview](const std::shared_ptr<Deletion>& deletion) {
    if (ClearThroughProfile(webview, deletion)) return true;
    LogWarning("Sign-in browser without ICoreWebView2Profile2: only its cookies can be deleted");
    return DeleteThroughCookieManager(webview, [](const std::string&) { return true; }, deletion);
  };
  return StartDeletion(limit_ms, 1, std::move(done), start);
}

bool DeleteSiteDataOfHosts(ICoreWebView2* webview, std::vector<std::string> hosts,
                           const std::vector<std::string>& origins, uint32_t limit_ms,
                           CookieDeletionDone done) {
  const CookieFilter of_hosts = [hosts = std::move(hosts)](const std::string& domain) {
    for (const std::string& host : hosts) {
      if (CookieDomainMatchesHost(domain, host)) return true;
    }
    return false;
  };
  const int parts = static_cast<int>(origins.size()) + 1;
  const auto start = [&](const std::shared_ptr<Deletion>& deletion) {
    if (webview == nullptr) return false;
    for (const std::string& origin : origins) {
      if (!ClearOriginStorage(webview, origin, deletion)) return false;
    }
    return DeleteThroughCookieManager(webview, of_hosts, deletion);
  };
  return StartDeletion(limit_ms, parts, std::move(done), start);
}

bool CookieDomainMatchesHost(const std::string& domain, const std::string& host) {
  const bool domain_cookie = !domain.empty() && domain[0] == '.';
  const std::string bare = domain_cookie ? domain.substr(1) : domain;
  if (bare.empty()) return false;
  if (EqualIgnoringCase(bare, host)) return true;
  const size_t below = host.size() - bare.size();  // where the parent domain starts
  return domain_cookie && host.size() > bare.size() + 1 && host[below - 1] == '.' &&
         EqualIgnoringCase(host.substr(below), bare);
}
