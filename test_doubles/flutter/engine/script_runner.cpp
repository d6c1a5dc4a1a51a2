#include "script_runner.h"

#include <windows.h>

#include <iostream>

#include "engine_module.h"
#include "engine_objects.h"

namespace flutter_stand_in {

namespace {

constexpr UINT_PTR kResumeTimer = 1;
// Sign-in answers arrive when the scripted user is done; nothing waits longer than this.
constexpr unsigned kAwaitLimitMs = 120000;
constexpr size_t kRecentLineCount = 40;

std::optional<std::vector<std::string>> ReadLines(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(_wfopen(WideFromUtf8(path).c_str(), L"rb"), &std::fclose);
  if (!file) {
    return std::nullopt;
  }
  std::vector<std::string> lines(1);
  int c;
  while ((c = std::fgetc(file.get())) != EOF) {
    if (c == '\n') {
      lines.emplace_back();
    } else {
      lines.back().push_back(static_cast<char>(c));
    }
  }
  if (lines.back().empty()) {
    lines.pop_back();  // the end of the last line, not a line of its own
  }
  return lines;
}

std::optional<std::string> ArgumentValue(const std::vector<std::string>& arguments,
                                         const std::string& prefix) {
  for (const std::string& argument : arguments) {
    if (argument.compare(0, prefix.size(), prefix) == 0) {
      return argument.substr(prefix.size());
    }
  }
  return std::nullopt;
}

HWND HostWindow(const FlutterDesktopEngine* engine) {
  if (!engine->view_controller || !engine->view_controller->view) {
    return nullptr;
  }
  HWND view = engine->view_controller->view->window;
  HWND root = GetAncestor(view, GA_ROOT);
  return root && root != view ? root : nullptr;
}

void Repaint(const FlutterDesktopEngine* engine) {
  if (engine->view_controller && engine->view_controller->view) {
    InvalidateRect(engine->view_controller->view->window, nullptr, FALSE);
  }
}

}  // namespace

std::unique_ptr<ScriptRunner> ScriptRunner::FromArguments(
    FlutterDesktopEngine* engine,
    const std::vector<std::string>& arguments) {
  std::optional<std::string> script = ArgumentValue(arguments, "--script=");
  if (!script) {
    return nullptr;
  }
  return std::make_unique<ScriptRunner>(engine, *script,
                                        ArgumentValue(arguments, "--transcript=").value_or(""));
}

ScriptRunner::ScriptRunner(FlutterDesktopEngine* engine,
                           std::string script_path,
                           std::string transcript_path)
    : engine_(engine),
      script_path_(std::move(script_path)),
      transcript_path_(std::move(transcript_path)) {}

ScriptRunner::~ScriptRunner() = default;

void ScriptRunner::Start() {
  if (started_) {
    return;
  }
  started_ = true;
  std::optional<std::vector<std::string>> lines = ReadLines(script_path_);
  if (!lines) {
    Note("cannot read the script " + script_path_);
    finished_ = true;
    return;
  }
  lines_ = std::move(*lines);
  if (!transcript_path_.empty()) {
    transcript_.reset(_wfopen(WideFromUtf8(transcript_path_).c_str(), L"wb"));
    if (!transcript_) {
      Note("cannot write the transcript " + transcript_path_);
    }
  }
  Advance();
}

std::string ScriptRunner::Status() const {
  std::string status = "script " + script_path_ + ": ";
  if (finished_) {
    return status + "finished, " + std::to_string(replies_) + " answers";
  }
  return status + "line " + std::to_string(next_line_ + 1) + " of " +
         std::to_string(lines_.size()) + ", " + std::to_string(pending_replies_) +
         " answers pending";
}

void ScriptRunner::Advance() {
  if (advancing_ || suspended_ || finished_) {
    return;
  }
  advancing_ = true;
  std::weak_ptr<int> engine_alive = engine_->lifetime;
  while (next_line_ < lines_.size()) {
    size_t index = next_line_;
    ParsedLine parsed = ParseScriptLine(lines_[index]);
    if (!parsed.step) {
      if (!parsed.error.empty()) {
        Note("step " + std::to_string(index) + " skipped: " + parsed.error);
      }
      ++next_line_;
      continue;
    }
    Outcome outcome = RunStep(index, *parsed.step);
    if (engine_alive.expired()) {
      return;  // The step destroyed the window, the engine and this runner with it.
    }
    if (outcome != Outcome::kSuspendHere) {
      ++next_line_;
    }
    if (outcome != Outcome::kNext) {
      advancing_ = false;
      Repaint(engine_);
      return;
    }
  }
  finished_ = true;
  advancing_ = false;
  Note("script finished");
}

ScriptRunner::Outcome ScriptRunner::RunStep(size_t index, const ScriptStep& step) {
  if (const auto* send = std::get_if<SendStep>(&step)) {
    Send(index, *send);
    return Outcome::kNext;
  }
  if (std::holds_alternative<AwaitAllStep>(step)) {
    return AwaitAll();
  }
  if (const auto* wait = std::get_if<WaitStep>(&step)) {
    ResumeAfter(wait->milliseconds);
    return Outcome::kSuspendAfter;
  }
  ActOnWindow(std::get<WindowStep>(step).action);
  return Outcome::kNext;
}

void ScriptRunner::Send(size_t index, const SendStep& step) {
  if (!engine_->messenger) {
    return;
  }
  ++pending_replies_;
  std::optional<std::string> method = step.method;
  DeliverToNative(engine_->messenger, step.channel, step.message,
                  [this, index, method](const std::vector<uint8_t>& reply) {
                    OnReply(index, method, reply);
                  });
}

ScriptRunner::Outcome ScriptRunner::AwaitAll() {
  if (pending_replies_ == 0) {
    await_deadline_ = 0;
    return Outcome::kNext;
  }
  unsigned long long now = GetTickCount64();
  if (await_deadline_ == 0) {
    await_deadline_ = now + kAwaitLimitMs;
  }
  if (now >= await_deadline_) {
    Note("await all: gave up with " + std::to_string(pending_replies_) + " answers missing");
    await_deadline_ = 0;
    return Outcome::kNext;
  }
  awaiting_replies_ = true;
  ResumeAfter(static_cast<unsigned>(await_deadline_ - now));
  return Outcome::kSuspendHere;
}

void ScriptRunner::ActOnWindow(WindowAction action) {
  HWND window = HostWindow(engine_);
  if (!window) {
    Note("window step: the view has no host window");
    return;
  }
  if (action == WindowAction::kClose) {
    SendMessageW(window, WM_CLOSE, 0, 0);
  } else {
    DestroyWindow(window);
  }
}

void ScriptRunner::ResumeAfter(unsigned milliseconds) {
  suspended_ = true;
  PostDelayedTask(engine_, kResumeTimer, milliseconds, [this] {
    suspended_ = false;
    awaiting_replies_ = false;
    Advance();
  });
}

void ScriptRunner::OnReply(size_t index,
                           const std::optional<std::string>& method,
                           const std::vector<uint8_t>& reply) {
  if (pending_replies_ > 0) {
    --pending_replies_;
  }
  ++replies_;
  Json entry = TranscriptEntry(index, method, reply);
  if (transcript_) {
    std::fputs(JsonLine(entry).c_str(), transcript_.get());
    std::fputc('\n', transcript_.get());
    std::fflush(transcript_.get());
  }
  entry.erase("reply_hex");  // the view has room for the answer, not its bytes
  Note(JsonLine(entry));
  if (awaiting_replies_ && pending_replies_ == 0) {
    ResumeAfter(0);
  }
}

void ScriptRunner::Note(const std::string& line) {
  std::cerr << "[script] " << line << std::endl;
  recent_lines_.push_back(line);
  while (recent_lines_.size() > kRecentLineCount) {
    recent_lines_.pop_front();
  }
  Repaint(engine_);
}

}  // namespace flutter_stand_in
