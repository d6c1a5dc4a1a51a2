// SignInService, its sign-outs: disarming what is pending, ending the browser's session (all of
// it, or one account's site data) once the browser confirms it is gone, and the sign-out at the
// end of the program, which awaits the deletions. The flows are in sign_in_service.cpp.
#include "sign_in_service.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "auth_vocabulary.h"
#include "cookie_deletion.h"
#include "logger.h"
#include "service_endpoints.h"
#include "session_state.h"
#include "webview_runtime.h"

bool SignInService::SignOut(const std::function<void()>& clear_stored_session,
                            std::optional<UserType> type) {
  if (IsDelivering()) {
    LogError("Sign-out not run: the sign-in result being delivered is handled first");
    return false;
  }
  RunSignOut(clear_stored_session, type);
  return true;
}

void SignInService::RunSignOut(const std::function<void()>& clear_stored_session,
                               std::optional<UserType> type) {
  DisarmPendingFlows("signed out", type);
  if (clear_stored_session) clear_stored_session();
  if (type && OtherAccountStays(*type)) {
    EndAccountBrowserSession(*type);
  } else {
    EndBrowserSession();
  }
}

void SignInService::SignOutAtEnd(const std::function<void()>& clear_stored_session) {
  // Nothing returns to the delivery after the end of a Windows session: it cannot wait.
  if (IsDelivering()) {
    LogInfo("Signing out at once; the sign-in result being delivered keeps its window until it "
            "returns");
  }
  RunSignOut(clear_stored_session, std::nullopt);
  AwaitCookieDeletions(kEndOfProgramWaitMs);
}

bool SignInService::IsDelivering() const { return window_ && window_->IsDelivering(); }

// The account's authorization server runs on its REST hosts, in either environment.
void SignInService::EndAccountBrowserSession(UserType type) {
  LogInfo("Ending the " + UserTypeWord(type) +
          " session in the sign-in browser (its cookies and site data only)");
  const ServiceHosts hosts = DeploymentServiceHosts();
  std::vector<std::string> account_hosts = {ServiceHostFor(hosts, type, false),
                                            ServiceHostFor(hosts, type, true)};
  const std::vector<std::string> account_origins = {ChooseApiEndpoint(hosts, type, false).base_url,
                                                    ChooseApiEndpoint(hosts, type, true).base_url};
  if (!window_ || window_->webview() == nullptr) {
    MarkSignedOut();
    return;
  }
  // A page the browser still loads, or a sign-in page left on screen, could set the account's
  // cookies again after they went: it is stopped and the window hidden, unless the page is the
  // other account's sign-in, which goes on.
  if (!OtherAccountFlowPending(type)) {
    window_->StopBrowser();
    window_->Hide();
  }
  const OAuthWebViewWindow* window = window_.get();
  const bool started = DeleteCookiesIn(
      window,
      [&](CookieDeletionDone done) {
        return DeleteSiteDataOfHosts(window->webview(), std::move(account_hosts),
                                     account_origins, options_.cookie_deletion_bound_ms,
                                     std::move(done));
      },
      [](bool gone) {
        if (!gone) MarkSignedOut();
      });
  if (!started) MarkSignedOut();
}

// Called once `type`'s flows are disarmed: a flow still pending is the other account's.
bool SignInService::OtherAccountFlowPending(UserType type) const {
  return window_ && window_->IsFlowPending() && window_->FlowUserType() != type;
}

bool SignInService::OtherAccountStays(UserType type) const {
  return HasStoredSession(OtherUserType(type)) || OtherAccountFlowPending(type);
}

// The renewal guard first: the window's answer to an abandoned renewal then finds it disarmed.
void SignInService::DisarmPendingFlows(const std::string& reason, std::optional<UserType> type) {
  silent_refresh_.Disarm(type);
  if (!window_) return;
  if (!type || *type == window_->FlowUserType()) window_->AbandonFlow(reason, false);
}

void SignInService::EndBrowserSession() {
  LogInfo("Ending the sign-in browser's session (cookies and hidden window)");
  DisarmPendingFlows("signed out");
  // Marked first: should the process end before the browser confirms the deletion, the next
  // browser deletes the site data again before it goes anywhere.
  const std::string mark = MarkSignedOut();
  const OAuthWebViewWindow* closing = window_.get();
  if (closing != nullptr && closing->webview() != nullptr) {
    window_->StopBrowser();
    DeleteCookiesIn(
        closing,
        [&](CookieDeletionDone done) {
          return DeleteAllSiteData(closing->webview(), options_.cookie_deletion_bound_ms,
                                   std::move(done));
        },
        [mark](bool gone) {
          if (gone) TakeSignedOutMark(mark);
        });
  }
  if (!IsDelivering()) Retire(std::move(window_));
}

bool SignInService::DeleteCookiesIn(const OAuthWebViewWindow* window,
                                    const std::function<bool(CookieDeletionDone)>& start,
                                    std::function<void(bool)> outcome) {
  std::weak_ptr<SignInService*> alive = alive_;
  deleting_.push_back(window);
  const bool started = start([alive, window, outcome](bool gone) {
    outcome(gone);
    if (auto self = alive.lock()) (*self)->DeletionDone(window);
  });
  if (!started) DeletionDone(window);
  return started;
}

// Closing a browser drops what it still has to delete: a window leaving the service meanwhile
// waits, hidden, until its browser is done.
void SignInService::Retire(std::unique_ptr<OAuthWebViewWindow> window) {
  if (!window) return;
  if (std::find(deleting_.begin(), deleting_.end(), window.get()) == deleting_.end()) return;
  window->Hide();
  closing_.push_back(std::move(window));
}

void SignInService::DeletionDone(const OAuthWebViewWindow* window) {
  const auto deletion = std::find(deleting_.begin(), deleting_.end(), window);
  if (deletion != deleting_.end()) deleting_.erase(deletion);
  if (std::find(deleting_.begin(), deleting_.end(), window) != deleting_.end()) return;
  for (auto it = closing_.begin(); it != closing_.end(); ++it) {
    if (it->get() != window) continue;
    std::unique_ptr<OAuthWebViewWindow> closed = std::move(*it);
    closing_.erase(it);
    return;  // `closed` closes its browser and window here
  }
}

// The deletions answer from the message queue; a WM_QUIT met meanwhile is posted again for the
// message loop. Each dispatch may end this object.
void SignInService::AwaitCookieDeletions(uint32_t limit_ms) {
  const std::weak_ptr<SignInService*> alive = alive_;
  const ULONGLONG deadline = GetTickCount64() + limit_ms;
  std::optional<WPARAM> quit;
  while (alive.lock() && !deleting_.empty()) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) {
      LogError("The sign-in browser's cookies were not confirmed deleted before the end - the "
               "next start deletes them");
      break;
    }
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
    MSG message;
    while (alive.lock() && !deleting_.empty() &&
           PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = message.wParam;
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  if (quit) PostQuitMessage(static_cast<int>(*quit));
}
