#pragma once

#include <windows.h>

#include "bcrypt_provider_registration.h"
#include "unique_handle.h"

// The BCrypt provider-configuration functions, resolved at run time from bcrypt.dll so that
// the tool starts on every Windows version and reports what is missing. The library is
// unloaded when the object goes away.
class BCryptFunctions {
 public:
  enum class LoadResult { Loaded, LibraryMissing, FunctionsMissing };
  // `error` receives the system error code of a failed library load.
  LoadResult Load(DWORD& error);

  decltype(&BCryptRegisterProvider) RegisterProvider = nullptr;
  decltype(&BCryptUnregisterProvider) UnregisterProvider = nullptr;
  decltype(&BCryptAddContextFunction) AddContextFunction = nullptr;
  decltype(&BCryptRemoveContextFunction) RemoveContextFunction = nullptr;
  decltype(&BCryptAddContextFunctionProvider) AddContextFunctionProvider = nullptr;
  decltype(&BCryptRemoveContextFunctionProvider) RemoveContextFunctionProvider = nullptr;
  decltype(&BCryptEnumRegisteredProviders) EnumRegisteredProviders = nullptr;
  decltype(&BCryptFreeBuffer) FreeBuffer = nullptr;

 private:
  UniqueModule library_;
};
