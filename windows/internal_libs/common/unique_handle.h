#pragma once

#include <windows.h>

#include <cstdint>

// The one owner of a system handle: closes it exactly once, on every path, and can be moved
// (out of a function, into a container) but never copied. `Traits` names the handle type, the
// value that means "nothing" and the release function; UniqueAny below writes it for a handle
// type, its one-argument release function and its "nothing" (0 or null unless told):
//
//   using UniqueRegistryKey = UniqueAny<HKEY, RegCloseKey>;
template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
  ~UniqueHandle() { reset(); }

  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != Traits::Invalid(); }

  // Gives the handle up without closing it.
  Handle release() noexcept {
    Handle handle = handle_;
    handle_ = Traits::Invalid();
    return handle;
  }

  // Closes the handle held so far (if any) and takes `handle`.
  void reset(Handle handle = Traits::Invalid()) noexcept {
    Handle old = handle_;
    handle_ = handle;
    if (old != Traits::Invalid()) Traits::Close(old);
  }

  // For functions that return a handle through an out-parameter: closes the current one first.
  Handle* put() noexcept {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

// The policy of one kind of handle: `kInvalid` is converted as Windows' own headers convert
// their "nothing" values (INVALID_HANDLE_VALUE is the handle -1), for pointer and integer handle
// types alike.
template <typename T, auto kClose, std::intptr_t kInvalid = 0>
struct HandlePolicy {
  using Handle = T;
  static Handle Invalid() { return (Handle)kInvalid; }
  static void Close(Handle handle) { kClose(handle); }
};

template <typename T, auto kClose, std::intptr_t kInvalid = 0>
using UniqueAny = UniqueHandle<HandlePolicy<T, kClose, kInvalid>>;

using UniqueModule = UniqueAny<HMODULE, FreeLibrary>;
using UniqueRegistryKey = UniqueAny<HKEY, RegCloseKey>;
// Kernel objects whose "nothing" is null (threads, events, mutexes, tokens).
using UniqueKernelHandle = UniqueAny<HANDLE, CloseHandle>;
// Files, whose "nothing" is INVALID_HANDLE_VALUE.
using UniqueFile = UniqueAny<HANDLE, CloseHandle, -1>;
// Blocks Windows allocates for the caller with LocalAlloc (decoded structures, argument lists,
// security descriptors).
using UniqueLocalMemory = UniqueAny<HLOCAL, LocalFree>;
