#include "log_file_rotation.h"

#include <windows.h>

#include <cstdio>

#include "unique_handle.h"

namespace {

constexpr DWORD kLockWaitMs = 2000;

// One lock per log file: its name carries a hash of the file's path, so writers of other
// users' files (another temporary folder) never wait for it.
std::string LockName(const std::string& path) {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (char c : path) {
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    hash = (hash ^ static_cast<unsigned char>(lower)) * 1099511628211ull;
  }
  char name[64];
  snprintf(name, sizeof(name), "Local\\MurakoLogRotation-%016llx",
           static_cast<unsigned long long>(hash));
  return name;
}

bool FileSize(const std::string& path, uint64_t& size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

class RotationLock {
 public:
  explicit RotationLock(const std::string& path)
      : mutex_(CreateMutexA(nullptr, FALSE, LockName(path).c_str())) {
    if (!mutex_) return;
    const DWORD waited = WaitForSingleObject(mutex_.get(), kLockWaitMs);
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  }
  ~RotationLock() {
    if (held_) ReleaseMutex(mutex_.get());
  }
  RotationLock(const RotationLock&) = delete;
  RotationLock& operator=(const RotationLock&) = delete;
  bool held() const { return held_; }

 private:
  UniqueKernelHandle mutex_;
  bool held_ = false;
};

}  // namespace

std::string OlderLogFilePath(const std::string& path) { return path + ".1"; }

bool LogFileIsFull(uint64_t size, uint64_t incoming) {
  return size + incoming > kLogFileLimitBytes;
}

bool RotateFullLogFile(const std::string& path, uint64_t incoming) {
  RotationLock lock(path);
  if (!lock.held()) return false;
  uint64_t size = 0;
  // Rotated meanwhile by another writer, or gone: nothing to do.
  if (!FileSize(path, size) || !LogFileIsFull(size, incoming)) return true;
  return MoveFileExA(path.c_str(), OlderLogFilePath(path).c_str(), MOVEFILE_REPLACE_EXISTING) !=
         FALSE;
}
