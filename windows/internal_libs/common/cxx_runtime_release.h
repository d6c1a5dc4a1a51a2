#pragma once

// Both libraries are loaded and unloaded by their hosts again and again (the provider unloads
// the signing bridge after every signature); nothing the runtime linked into them keeps may
// outlive an unload.
//
// The GNU C++ runtime linked into each keeps an
// emergency exception-allocation pool (about 73 KB) on the process heap until the process
// ends; releasing it when the library is unloaded keeps every load/unload cycle from leaking it.

#include <windows.h>

#include "system_library.h"

#if defined(__GLIBCXX__)
namespace __gnu_cxx {
void __freeres() throw();
}
#endif

// Call from DllMain with its reason and reserved arguments. Does nothing at process exit
// (reserved is not null then), when the heap goes away anyway.
inline void ReleaseCxxRuntimeOnUnload(DWORD reason, LPVOID reserved) {
#if defined(__GLIBCXX__)
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) __gnu_cxx::__freeres();
#else
  (void)reason;
  (void)reserved;
#endif
}

// The GNU runtime's thread layer gives a thread that is not its own a record holding two
// handles (a copy of the thread handle and an event) the first time the thread throws an
// exception or touches thread-local runtime data in this library, and releases it only when the
// thread ends. A host thread that outlives the library (it is unloaded after every signature)
// would keep both handles and the record once per load. Call at the end of an exported function,
// after every exception handler has finished: it runs this library's thread-detach callbacks
// for the calling thread, which close the handles and free the thread's runtime data; the
// runtime builds them anew if the thread calls in again. (The first exception of a load also
// makes the runtime create a lock with two semaphores that no call releases: the signing path
// raises none for the failures it expects.)
inline void ReleaseThreadRuntimeOfThisModule() {
#if defined(__MINGW32__)
  HMODULE module =
      ModuleContaining(reinterpret_cast<const void*>(&ReleaseThreadRuntimeOfThisModule));
  if (module == nullptr) return;
  const BYTE* base = reinterpret_cast<const BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
  if (directory.VirtualAddress == 0) return;
  const auto* tls = reinterpret_cast<const IMAGE_TLS_DIRECTORY*>(base + directory.VirtualAddress);
  auto* callback = reinterpret_cast<PIMAGE_TLS_CALLBACK*>(tls->AddressOfCallBacks);
  for (; callback != nullptr && *callback != nullptr; ++callback) {
    (*callback)(module, DLL_THREAD_DETACH, nullptr);
  }
#endif
}
