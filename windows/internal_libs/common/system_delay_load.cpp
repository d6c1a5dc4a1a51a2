// Compiled into every product binary that delay-loads system libraries (see
// sendaro_delay_load_system_libraries in cmake/SendaroWindows.cmake). Those libraries are not
// "known DLLs", so a bare-name load would search the program's own folder first, where anyone
// able to write there could plant one; here each comes from the system folder by its full path.
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
  // A null answer would make the helper search for the library by its bare name. This module
  // instead: the function is not found in it, and the call fails as a missing export does.
  if (library == nullptr) library = ModuleContaining(reinterpret_cast<const void*>(&LoadFromSystemFolder));
  return reinterpret_cast<FARPROC>(library);
}

}  // namespace

#if defined(_MSC_VER)
extern "C" const PfnDliHook __pfnDliNotifyHook2 = LoadFromSystemFolder;
#else
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = LoadFromSystemFolder;
}
#endif
