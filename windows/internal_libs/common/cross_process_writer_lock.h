#pragma once

#include <windows.h>

// Held by the writer of one line to a log file that several processes append to: a byte far
// beyond any real end of the file, locked for the write, so the end of the file moves only
// under this lock. Append-only access alone lands each write at the end on Windows, but Wine
// reads the end and writes in two steps, so two processes could write one place and a line
// would be lost. The handle needs read or write data access for the lock. The wait for another
// process's single write is bounded; after it the line is written anyway rather than lost.
class CrossProcessWriterLock {
 public:
  explicit CrossProcessWriterLock(HANDLE file) : file_(file) {
    for (int attempt = 0; attempt < kAttempts && !held_; ++attempt) {
      OVERLAPPED at{};
      at.OffsetHigh = kOffsetHigh;
      held_ = LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                         &at) != FALSE;
      if (!held_) Sleep(attempt < 10 ? 0 : 1);
    }
  }
  ~CrossProcessWriterLock() {
    if (!held_) return;
    OVERLAPPED at{};
    at.OffsetHigh = kOffsetHigh;
    UnlockFileEx(file_, 0, 1, 0, &at);
  }
  CrossProcessWriterLock(const CrossProcessWriterLock&) = delete;
  CrossProcessWriterLock& operator=(const CrossProcessWriterLock&) = delete;

 private:
  static constexpr DWORD kOffsetHigh = 0x7FFFFFFF;
  static constexpr int kAttempts = 200;

  HANDLE file_;
  bool held_ = false;
};
