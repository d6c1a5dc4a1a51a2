// Compiled into every product binary that delay-loads system libraries (see
// sendaro_delay_load_system_libraries in cmake/SendaroWindows.cmake). Those libraries are not
// "known DLLs", so a bare-name load would search the program's own folder first, where anyone
// able to write there could plant one; here each comes from the system folder by its full path.
// A library or function that cannot be loaded makes the call raise SystemLibraryUnavailable.
#include <windows.h>
#include <delayimp.h>

#include "system_library.h"

namespace {

FARPROC WINAPI LoadFromSystemFolder(unsigned notification, PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary || info == nullptr || info->szDll == nullptr) {
    return nullptr;
  }
  wchar_t name[MAX_PATH] = {};
  HMODULE library = nullptr;
  if (MultiByteToWideChar(CP_ACP, 0, info->szDll, -1, name, MAX_PATH) > 0) {
    library = LoadSystemLibrary(name);
  }
  // A null answer would make the helper search for the library by its bare name. kernel32
  // instead, with a reference of its own as for any library handed over (the helper may free
  // it): it exports none of the functions asked for, so each call fails as a missing function
  // does, below.
  if (library == nullptr) GetModuleHandleExW(0, L"kernel32.dll", &library);
  return reinterpret_cast<FARPROC>(library);
}

// Stands in for a function that could not be found. Whatever its arguments and calling
// convention, it never returns: unwinding takes the caller's frame as it was at the call.
[[noreturn]] void RaiseUnavailableSystemFunction() { throw SystemLibraryUnavailable(); }

// Without an answer the helper raises a structured exception, which ends the program that
// made the call (for the provider, whatever program loaded it). The helper keeps the answer in
// the function's slot: later calls come straight here.
FARPROC WINAPI ReplaceMissingFunction(unsigned notification, PDelayLoadInfo) {
  if (notification != dliFailGetProc) return nullptr;
  return reinterpret_cast<FARPROC>(&RaiseUnavailableSystemFunction);
}

}  // namespace

#if defined(_MSC_VER)
extern "C" const PfnDliHook __pfnDliNotifyHook2 = LoadFromSystemFolder;
extern "C" const PfnDliHook __pfnDliFailureHook2 = ReplaceMissingFunction;
#else
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = LoadFromSystemFolder;
PfnDliHook __pfnDliFailureHook2 = ReplaceMissingFunction;
}
#endif
