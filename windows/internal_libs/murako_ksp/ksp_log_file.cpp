#include "ksp_log_file.h"

#include <vector>

#include "cross_process_writer_lock.h"
#include "scoped_srw_exclusive_lock.h"

namespace {

constexpr DWORD kCopyChunkBytes = 64 * 1024;

bool SameFile(HANDLE first, HANDLE second) {
  BY_HANDLE_FILE_INFORMATION a{}, b{};
  return GetFileInformationByHandle(first, &a) && GetFileInformationByHandle(second, &b) &&
         a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// Copies the first `size` bytes of `from` (read at explicit offsets) into `to`.
void CopyContent(HANDLE from, HANDLE to, unsigned long long size) {
  std::vector<char> chunk(kCopyChunkBytes);
  unsigned long long offset = 0;
  while (offset < size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD wanted = static_cast<DWORD>(
        size - offset < kCopyChunkBytes ? size - offset : kCopyChunkBytes);
    DWORD read = 0, written = 0;
    if (!ReadFile(from, chunk.data(), wanted, &read, &at) || read == 0) return;
    if (!WriteFile(to, chunk.data(), read, &written, nullptr) || written != read) return;
    offset += read;
  }
}

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
  // Read access so that the file can be locked and copied when it is full; writes stay
  // append-only.
  UniqueFile file = OpenLogFileNoLink(path, FILE_APPEND_DATA | FILE_READ_DATA, OPEN_ALWAYS);
  if (!file) return false;
  path_ = path;
  file_ = std::move(file);
  return true;
}

void KspLogFile::WriteAtEnd(const char* line, size_t length) {
  CrossProcessWriterLock writer(file_.get());
  RotateIfFull(length);
  DWORD written = 0;
  if (!WriteFile(file_.get(), line, static_cast<DWORD>(length), &written, nullptr)) {
    // A handle that no longer writes (the volume went away) is dropped, and the next line
    // opens the file anew.
    file_.reset();
    path_.clear();
  }
}

// Copy and empty rather than rename: the handles other processes hold stay on the live file,
// and their next line lands at its new end.
void KspLogFile::RotateIfFull(size_t length) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file_.get(), &size) || size.QuadPart <= 0 ||
      static_cast<unsigned long long>(size.QuadPart) + length <= cap_bytes_) {
    return;
  }
  UniqueFile live = OpenLogFileNoLink(path_, FILE_WRITE_DATA, OPEN_EXISTING);
  if (!live || !SameFile(live.get(), file_.get())) return;
  const std::string older = path_ + ".1";
  DeleteFileA(older.c_str());
  UniqueFile copy = OpenLogFileNoLink(older, GENERIC_WRITE, CREATE_NEW);
  if (copy) CopyContent(file_.get(), copy.get(), static_cast<unsigned long long>(size.QuadPart));
  // Emptied even when the older file could not be written: the cap bounds the disk used.
  SetEndOfFile(live.get());
}

namespace {
// Destroyed, and its file closed, when the library is unloaded.
KspLogFile g_provider_log_file;
}  // namespace

KspLogFile& ProviderLogFile() { return g_provider_log_file; }
