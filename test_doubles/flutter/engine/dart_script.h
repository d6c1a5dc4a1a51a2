#ifndef FLUTTER_STAND_IN_DART_SCRIPT_H_
#define FLUTTER_STAND_IN_DART_SCRIPT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "script_values.h"

namespace flutter_stand_in {

// Sends |message| on |channel|; |method| is the call's name when the bytes hold one.
struct SendStep {
  std::string channel;
  std::vector<uint8_t> message;
  std::optional<std::string> method;
};

// Waits until every message sent so far has been answered.
struct AwaitAllStep {};

struct WaitStep {
  unsigned milliseconds = 0;
};

enum class WindowAction { kClose, kDestroy };

// WM_CLOSE to, or DestroyWindow on, the window that hosts the view.
struct WindowStep {
  WindowAction action = WindowAction::kClose;
};

using ScriptStep = std::variant<SendStep, AwaitAllStep, WaitStep, WindowStep>;

struct ParsedLine {
  std::optional<ScriptStep> step;  // nullopt for a blank line or an error
  std::string error;               // why the line is no step; empty for a blank line
};

// One line of a script:
//   {"channel": NAME, "method": M, "args": A}   a method call (no "args": null arguments)
//   {"channel": NAME, "raw": HEX}               exactly these bytes
//   {"await": "all"}, {"wait_ms": N}, {"window": "close"|"destroy"}
ParsedLine ParseScriptLine(const std::string& line);

// The transcript entry for the answer to step |step_index|: "step", "method" (null when the
// message held no method call), "reply_hex", then exactly one of "result", "error" or
// "not_implemented".
Json TranscriptEntry(size_t step_index,
                     const std::optional<std::string>& method,
                     const std::vector<uint8_t>& reply);

// One line of JSON text; invalid UTF-8 in a string does not cost the whole line.
std::string JsonLine(const Json& entry);

// TranscriptEntry as its line.
std::string TranscriptLine(size_t step_index,
                           const std::optional<std::string>& method,
                           const std::vector<uint8_t>& reply);

}  // namespace flutter_stand_in

#endif  // FLUTTER_STAND_IN_DART_SCRIPT_H_
