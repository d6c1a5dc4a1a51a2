#pragma once

#include <windows.h>

#include <string>

#include "unique_handle.h"

// The debug log file, opened for its first line and kept open for the next ones: opening and
// closing it for every line costs more than the line itself. It is reopened when the lines are
// to go to another path (the temporary directory changed) and closed with the library.
// The file is opened append-only and shared for reading, writing and deleting, so other
// processes can write to it, a reader can follow it and the user can delete it at any time.
class KspLogFile {
 public:
  // Appends `length` bytes at the end of the file at `path`; lines of other threads and other
  // processes are never written over. Failures are dropped: the log never fails its caller.
  void Append(const std::string& path, const char* line, size_t length);

 private:
  bool OpenFor(const std::string& path);
  void WriteAtEnd(const char* line, size_t length);

  SRWLOCK lock_ = SRWLOCK_INIT;
  std::string path_;
  UniqueFile file_;
};

// The provider's one log file.
KspLogFile& ProviderLogFile();
