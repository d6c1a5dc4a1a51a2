#pragma once

#include <windows.h>

// The one owner of a system handle: closes it exactly once, on every path, and can be moved
// (out of a function, into a container) but never copied. `Traits` names the handle type, the
// value that means "nothing" and the release function:
//
//   struct RegistryKeyTraits {
//     using Handle = HKEY;
//     static Handle Invalid() { return nullptr; }
//     static void Close(Handle key) { RegCloseKey(key); }
//   };
//   using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;
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

struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle module) { FreeLibrary(module); }
};
using UniqueModule = UniqueHandle<ModuleTraits>;

struct RegistryKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle key) { RegCloseKey(key); }
};
using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;

// Kernel objects whose "nothing" is null (threads, events, mutexes, tokens).
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) { CloseHandle(handle); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

// Files, whose "nothing" is INVALID_HANDLE_VALUE.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { CloseHandle(handle); }
};
using UniqueFile = UniqueHandle<FileHandleTraits>;

// Blocks Windows allocates for the caller with LocalAlloc (decoded structures, argument lists,
// security descriptors).
struct LocalMemoryTraits {
  using Handle = HLOCAL;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle block) { LocalFree(block); }
};
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits>;
