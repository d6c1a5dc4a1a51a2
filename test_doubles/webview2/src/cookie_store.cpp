#include "cookie_store.h"

namespace {

// How long each operation waits in the queue.
constexpr unsigned kOperationDelayMs = 100;

}  // namespace

bool CookieStore::Enqueue(std::function<void(BrowserProfile&)> operation) {
  if (closed_) return false;
  waiting_.push_back(std::move(operation));
  if (scheduled_ || Schedule()) return true;
  waiting_.pop_back();
  return false;
}

void CookieStore::Close() {
  closed_ = true;
  waiting_.clear();
}

bool CookieStore::Schedule() {
  std::weak_ptr<CookieStore> self = weak_from_this();
  scheduled_ = dispatcher_->PostAfter(kOperationDelayMs, [self]() {
    if (auto store = self.lock()) store->RunNext();
  });
  return scheduled_;
}

void CookieStore::RunNext() {
  scheduled_ = false;
  if (closed_ || waiting_.empty()) return;
  std::function<void(BrowserProfile&)> operation = std::move(waiting_.front());
  waiting_.pop_front();
  if (!waiting_.empty()) Schedule();
  operation(*profile_);
}
