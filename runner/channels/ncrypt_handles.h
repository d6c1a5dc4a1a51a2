#pragma once

#include <windows.h>
#include <ncrypt.h>

#include "unique_handle.h"

// NCrypt provider and key handles share one type and one release function.
struct NCryptObjectTraits {
  using Handle = NCRYPT_HANDLE;
  static Handle Invalid() { return 0; }
  static void Close(Handle handle) { NCryptFreeObject(handle); }
};
using NCryptObject = UniqueHandle<NCryptObjectTraits>;
