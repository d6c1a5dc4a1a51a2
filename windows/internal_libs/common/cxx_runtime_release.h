#pragma once

// Both libraries are loaded and unloaded by their hosts again and again (the provider unloads
// the signing bridge after every signature). The GNU C++ runtime linked into each keeps an
// emergency exception-allocation pool (about 73 KB) on the process heap until the process
// ends; releasing it when the library is unloaded keeps every load/unload cycle from leaking it.

#include <windows.h>

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
