#pragma once

#include <windows.h>

// The stand-in DLL's own module handle, for the window classes it registers.
inline HMODULE ThisModule() {
  static int marker = 0;
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&marker), &module);
  return module;
}
