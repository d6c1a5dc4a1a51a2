#ifndef FLUTTER_STAND_IN_SCRIPT_RUNNER_H_
#define FLUTTER_STAND_IN_SCRIPT_RUNNER_H_

#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dart_script.h"

struct FlutterDesktopEngine;

namespace flutter_stand_in {

// The stand-in's Dart side: runs a JSON-lines script of channel messages and window actions
// (dart_script.h) after the first frame and writes one transcript line per answer. Runs on
// the engine's thread, resumed by the engine's tasks and timers; the engine owns it.
class ScriptRunner {
 public:
  // nullptr unless the Dart entry-point arguments hold --script=PATH; --transcript=PATH
  // names the transcript file.
  static std::unique_ptr<ScriptRunner> FromArguments(FlutterDesktopEngine* engine,
                                                     const std::vector<std::string>& arguments);

  ScriptRunner(FlutterDesktopEngine* engine, std::string script_path, std::string transcript_path);
  ~ScriptRunner();

  ScriptRunner(const ScriptRunner&) = delete;
  ScriptRunner& operator=(const ScriptRunner&) = delete;

  // Reads the script and runs it; a second call does nothing.
  void Start();

  std::string Status() const;
  const std::deque<std::string>& RecentLines() const { return recent_lines_; }

 private:
  enum class Outcome { kNext, kSuspendAfter, kSuspendHere };

  void Advance();
  Outcome RunStep(size_t index, const ScriptStep& step);
  void Send(size_t index, const SendStep& step);
  Outcome AwaitAll();
  void ActOnWindow(WindowAction action);
  void ResumeAfter(unsigned milliseconds);
  void OnReply(size_t index, const std::optional<std::string>& method,
               const std::vector<uint8_t>& reply);
  void Note(const std::string& line);

  FlutterDesktopEngine* engine_;
  std::string script_path_;
  std::string transcript_path_;
  std::unique_ptr<FILE, int (*)(FILE*)> transcript_{nullptr, &std::fclose};
  std::vector<std::string> lines_;
  std::deque<std::string> recent_lines_;
  size_t next_line_ = 0;
  size_t pending_replies_ = 0;
  size_t replies_ = 0;
  bool started_ = false;
  bool finished_ = false;
  bool suspended_ = false;
  bool awaiting_replies_ = false;
  bool advancing_ = false;
  unsigned long long await_deadline_ = 0;
};

}  // namespace flutter_stand_in

#endif  // FLUTTER_STAND_IN_SCRIPT_RUNNER_H_
