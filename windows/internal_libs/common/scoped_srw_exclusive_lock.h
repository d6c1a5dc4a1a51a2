#pragma once

#include <windows.h>

// Holds a slim reader/writer lock exclusively for its lifetime. A slim lock owns no kernel
// object and needs no function-local static to set up, so a library that is loaded and unloaded
// again and again (the signing bridge, once per signature) leaves nothing behind.
class ScopedSrwExclusiveLock {
 public:
  explicit ScopedSrwExclusiveLock(SRWLOCK& lock) : lock_(lock) {
    AcquireSRWLockExclusive(&lock_);
  }
  ~ScopedSrwExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
  ScopedSrwExclusiveLock(const ScopedSrwExclusiveLock&) = delete;
  ScopedSrwExclusiveLock& operator=(const ScopedSrwExclusiveLock&) = delete;

 private:
  SRWLOCK& lock_;
};

// Holds a slim reader/writer lock shared for its lifetime.
class ScopedSrwSharedLock {
 public:
  explicit ScopedSrwSharedLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockShared(&lock_); }
  ~ScopedSrwSharedLock() { ReleaseSRWLockShared(&lock_); }
  ScopedSrwSharedLock(const ScopedSrwSharedLock&) = delete;
  ScopedSrwSharedLock& operator=(const ScopedSrwSharedLock&) = delete;

 private:
  SRWLOCK& lock_;
};
