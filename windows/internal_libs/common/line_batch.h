#pragma once

#include <string>

// The lines one thread logs during one call into the library, held back and written together
// when the call ends (or at a Flush before a long wait): one file write, one cross-process lock
// and one debugger message per call instead of one of each per line. Lines keep their own
// timestamps and their order, and a call's lines no longer interleave with other threads'.
// Each log has its own sink; a thread inside nested batches of one sink writes once, at the
// outermost. Nothing here throws: without room for another batch, lines go out one at a time.
class LineBatch {
 public:
  using Sink = void (*)(const std::string& lines);

  explicit LineBatch(Sink sink) noexcept;
  ~LineBatch();
  LineBatch(const LineBatch&) = delete;
  LineBatch& operator=(const LineBatch&) = delete;

  // Hands the lines held so far to the sink, for instance before waiting on the network, so
  // that the log shows what the call was doing if it never returns.
  void Flush() noexcept;

  // Keeps `line` in the calling thread's open batch for `sink`. False when the thread has none
  // (or the line cannot be kept): the caller then writes the line itself.
  static bool Hold(Sink sink, const std::string& line) noexcept;
  // Flush of the calling thread's open batch for `sink`, from code that cannot reach it.
  static void FlushOpen(Sink sink) noexcept;

 private:
  Sink sink_;
  bool collecting_ = false;  // false for a batch nested in another of the same sink
  std::string lines_;
};
