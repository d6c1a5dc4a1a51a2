#pragma once

#include <windows.h>

#include <exception>
#include <string>

#include "unique_handle.h"

// Loads a library of the operating system from the system folder by its full path; its own
// imports come from that folder too. A DLL of the same name next to the host program, in the
// current directory or on PATH is never picked up. Null when the library cannot be loaded.
inline HMODULE LoadSystemLibrary(const wchar_t* file_name) {
  wchar_t folder[MAX_PATH];
  UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::wstring path(folder, length);
  path += L'\\';
  path += file_name;
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// The module (DLL or program) whose image holds `address`, without taking a reference on it;
// null when there is none.
inline HMODULE ModuleContaining(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(address), &module)) {
    return nullptr;
  }
  return module;
}

// Raised in place of a call into a delay-loaded system library, or one of its functions, that
// could not be loaded (system_delay_load.cpp): the caller's entry point catches it like any
// other exception and answers a failure, where the delay-load helper would raise a structured
// exception that no C++ handler catches and that ends the host program.
class SystemLibraryUnavailable : public std::exception {
 public:
  const char* what() const noexcept override {
    return "a system library or one of its functions could not be loaded";
  }
};
