#pragma once

#include <deque>
#include <functional>
#include <memory>

#include "browser_profile.h"
#include "dispatcher.h"

// The profile's cookie store as the runtime reaches it: every operation asked of it (listing,
// deleting, clearing) is carried out later, from the dispatcher's queue, in the order asked and
// a moment apart; the call that asked has returned by then, and a navigation started meanwhile
// may already have sent the cookies an operation was to delete. Operations still waiting when
// the browser closes are lost with it, as the runtime's are when its browser process goes:
// their completions never come. Pages still set cookies directly (see WebView).
class CookieStore : public std::enable_shared_from_this<CookieStore> {
 public:
  CookieStore(std::shared_ptr<BrowserProfile> profile, std::shared_ptr<Dispatcher> dispatcher)
      : profile_(std::move(profile)), dispatcher_(std::move(dispatcher)) {}

  // False when the browser is closed or the dispatcher gone.
  bool Enqueue(std::function<void(BrowserProfile&)> operation);
  void Close();
  const std::shared_ptr<BrowserProfile>& profile() const { return profile_; }

 private:
  bool Schedule();
  void RunNext();

  std::shared_ptr<BrowserProfile> profile_;
  std::shared_ptr<Dispatcher> dispatcher_;
  std::deque<std::function<void(BrowserProfile&)>> waiting_;
  bool scheduled_ = false;
  bool closed_ = false;
};
