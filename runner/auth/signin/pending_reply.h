#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "guarded_entry.h"
#include "logger.h"
#include "sign_in_results.h"

// A caller's reply held until a flow finishes, shared by the callbacks that may answer it.
// The first answer goes through; later ones are dropped, so a continuation that runs twice
// never answers twice. Released without an answer (the last callback holding it was dropped),
// it gives its `unanswered` answer: every call gets one. A throwing reply is logged, never
// propagated.
template <typename Value>
class PendingReply {
 public:
  using Unanswered = std::function<void(SignInReply<Value>&)>;

  PendingReply(std::unique_ptr<SignInReply<Value>> reply, Unanswered unanswered)
      : reply_(std::move(reply)), unanswered_(std::move(unanswered)) {}
  ~PendingReply() {
    if (!reply_ || !unanswered_) return;
    LogWarning("A sign-in request was released unanswered - answering it as failed");
    Answer(unanswered_);
  }
  PendingReply(const PendingReply&) = delete;
  PendingReply& operator=(const PendingReply&) = delete;

  static std::shared_ptr<PendingReply> Hold(std::unique_ptr<SignInReply<Value>> reply,
                                            Unanswered unanswered) {
    return std::make_shared<PendingReply>(std::move(reply), std::move(unanswered));
  }

  bool IsAnswered() const { return !reply_; }

  void Success(const Value& value) {
    Answer([&](SignInReply<Value>& reply) { reply.Success(value); });
  }
  void Error(const std::string& code, const std::string& message) {
    Answer([&](SignInReply<Value>& reply) { reply.Error(code, message); });
  }

 private:
  template <typename Give>
  void Answer(Give give) {
    std::unique_ptr<SignInReply<Value>> reply = std::move(reply_);
    if (!reply) return;
    GuardEntry([&] { give(*reply); },
               [](const CaughtFailure&) { LogError("Answering a sign-in request failed"); });
  }

  std::unique_ptr<SignInReply<Value>> reply_;
  Unanswered unanswered_;
};
