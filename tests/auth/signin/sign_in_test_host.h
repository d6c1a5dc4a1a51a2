#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "sign_in_results.h"

// What a test of the sign-in window needs around it: a main window that receives
// WM_OAUTH_COMPLETE, a message loop that runs until something happened, and replies that
// record what a flow answered.

// A hidden top-level window standing in for the application's main window.
class SignInTestHost {
 public:
  SignInTestHost();
  ~SignInTestHost();
  SignInTestHost(const SignInTestHost&) = delete;
  SignInTestHost& operator=(const SignInTestHost&) = delete;

  HWND handle() const { return window_; }
  // What WM_OAUTH_COMPLETE runs, with its wparam (the flow); counts the messages either way.
  void OnOAuthComplete(std::function<void(WPARAM)> handler) { on_complete_ = std::move(handler); }
  int completions() const { return completions_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND window_ = nullptr;
  std::function<void(WPARAM)> on_complete_;
  int completions_ = 0;
};

// Dispatches this thread's messages until `done` holds or `timeout_ms` passed; false on time-out.
bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms);
void PumpFor(DWORD milliseconds);

// The answer a flow gave, if any.
template <typename Value>
struct RecordedAnswer {
  int answers = 0;
  std::optional<Value> value;
  std::string error_code;
  std::string error_message;
};

template <typename Value>
class RecordingReply : public SignInReply<Value> {
 public:
  explicit RecordingReply(std::shared_ptr<RecordedAnswer<Value>> answer)
      : answer_(std::move(answer)) {}
  void Success(const Value& value) override {
    ++answer_->answers;
    answer_->value = value;
  }
  void Error(const std::string& code, const std::string& message) override {
    ++answer_->answers;
    answer_->error_code = code;
    answer_->error_message = message;
  }

 private:
  std::shared_ptr<RecordedAnswer<Value>> answer_;
};

template <typename Value>
std::unique_ptr<SignInReply<Value>> RecordInto(
    const std::shared_ptr<RecordedAnswer<Value>>& answer) {
  return std::make_unique<RecordingReply<Value>>(answer);
}

// The window's title as UTF-8.
std::string WindowTitle(HWND window);
