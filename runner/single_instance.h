#pragma once

#include <windows.h>

#include "unique_handle.h"

// The single-instance rule: the first process holds the named mutex; a later one brings the
// first one's main window forward and leaves.
class SingleInstanceMutex {
 public:
  // Creates "Global\MurakoSendaro_SingleInstance" asking for initial ownership.
  SingleInstanceMutex();
  ~SingleInstanceMutex();
  SingleInstanceMutex(const SingleInstanceMutex&) = delete;
  SingleInstanceMutex& operator=(const SingleInstanceMutex&) = delete;

  // True when another process created the mutex first, also one whose mutex may not be opened
  // from here (another user, an elevated instance).
  bool AlreadyRunning() const { return already_running_; }
  // Releases (when owned) and closes the handle.
  void Release();

 private:
  UniqueKernelHandle handle_;
  bool already_running_ = false;
};

// Shows, restores and foregrounds the running instance's window ("Sendaro", else "Sendaroa").
// Does nothing when there is no such window.
void ActivateRunningInstance();
