#pragma once

#include <windows.h>

#include <string>

#include "service_log_location.h"
#include "unique_handle.h"

// At this size the log moves to one older file ("<name>.1"), replacing the one before.
constexpr unsigned long long kKspLogCapBytes = 10ull * 1024 * 1024;

// The debug log file, opened for its first line and kept open for the next ones: opening and
// closing it for every line costs more than the line itself. It is reopened when the lines are
// to go to another path (the temporary directory changed) and closed with the library.
// The file is opened append-only and shared for reading, writing and deleting, so other
// processes can write to it, a reader can follow it and the user can delete it at any time.
// A name that is a link (a symbolic link, a mount point, or one of several hard links to one
// file) is never written through: the line is dropped.
class KspLogFile {
 public:
  explicit KspLogFile(unsigned long long cap_bytes = kKspLogCapBytes) : cap_bytes_(cap_bytes) {}

  // Appends `length` bytes at the end of the file at `path`; lines of other threads and other
  // processes are never written over. A line that would take the file past the cap first moves
  // its content to the older file and empties it, under the same cross-process lock as the
  // writes, so every process's handle stays on the live file. Failures are dropped: the log
  // never fails its caller.
  void Append(const std::string& path, const char* line, size_t length);

 private:
  bool OpenFor(const std::string& path);
  void WriteAtEnd(const char* line, size_t length);
  void RotateIfFull(size_t length);

  const unsigned long long cap_bytes_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::string path_;
  UniqueFile file_;
};

// The provider's one log file.
KspLogFile& ProviderLogFile();
