#include "ksp_log_file.h"

#include "scoped_srw_exclusive_lock.h"

namespace {

// A byte far beyond any real end of the log, locked by the writer of one line: the end of the
// file moves only under this lock. (Append-only access alone lands each write at the end on
// Windows, but Wine reads the end and writes in two steps, so two processes could write one
// place.) The wait for another process's single write is bounded; after it the line is written
// anyway rather than lost.
constexpr DWORD kWriterLockOffsetHigh = 0x7FFFFFFF;
constexpr int kWriterLockAttempts = 200;

class CrossProcessWriterLock {
 public:
  explicit CrossProcessWriterLock(HANDLE file) : file_(file) {
    for (int attempt = 0; attempt < kWriterLockAttempts && !held_; ++attempt) {
      OVERLAPPED at{};
      at.OffsetHigh = kWriterLockOffsetHigh;
      held_ = LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                         &at) != FALSE;
      if (!held_) Sleep(attempt < 10 ? 0 : 1);
    }
  }
  ~CrossProcessWriterLock() {
    if (!held_) return;
    OVERLAPPED at{};
    at.OffsetHigh = kWriterLockOffsetHigh;
    UnlockFileEx(file_, 0, 1, 0, &at);
  }
  CrossProcessWriterLock(const CrossProcessWriterLock&) = delete;
  CrossProcessWriterLock& operator=(const CrossProcessWriterLock&) = delete;

 private:
  HANDLE file_;
  bool held_ = false;
};

}  // namespace

void KspLogFile::Append(const std::string& path, const char* line, size_t length) {
  ScopedSrwExclusiveLock exclusive(lock_);
  if (!OpenFor(path)) return;
  WriteAtEnd(line, length);
}

bool KspLogFile::OpenFor(const std::string& path) {
  if (file_ && path == path_) return true;
  file_.reset();
  path_.clear();
  // Read access only so that the file can be locked; writes stay append-only.
  UniqueFile file(CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  path_ = path;
  file_ = std::move(file);
  return true;
}

void KspLogFile::WriteAtEnd(const char* line, size_t length) {
  CrossProcessWriterLock writer(file_.get());
  DWORD written = 0;
  if (!WriteFile(file_.get(), line, static_cast<DWORD>(length), &written, nullptr)) {
    // A handle that no longer writes (the volume went away) is dropped, and the next line
    // opens the file anew.
    file_.reset();
    path_.clear();
  }
}

namespace {
// Destroyed, and its file closed, when the library is unloaded.
KspLogFile g_provider_log_file;
}  // namespace

KspLogFile& ProviderLogFile() { return g_provider_log_file; }
