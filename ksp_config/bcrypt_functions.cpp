#include "bcrypt_functions.h"

namespace {

template <typename Function>
void Resolve(HMODULE library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace

BCryptFunctions::LoadResult BCryptFunctions::Load(DWORD& error) {
  library_.reset(LoadLibraryW(L"bcrypt.dll"));
  if (!library_) {
    error = GetLastError();
    return LoadResult::LibraryMissing;
  }
  Resolve(library_.get(), "BCryptRegisterProvider", RegisterProvider);
  Resolve(library_.get(), "BCryptUnregisterProvider", UnregisterProvider);
  Resolve(library_.get(), "BCryptAddContextFunction", AddContextFunction);
  Resolve(library_.get(), "BCryptRemoveContextFunction", RemoveContextFunction);
  Resolve(library_.get(), "BCryptAddContextFunctionProvider", AddContextFunctionProvider);
  Resolve(library_.get(), "BCryptRemoveContextFunctionProvider", RemoveContextFunctionProvider);
  Resolve(library_.get(), "BCryptEnumRegisteredProviders", EnumRegisteredProviders);
  Resolve(library_.get(), "BCryptFreeBuffer", FreeBuffer);
  // The two Remove functions are optional: the tool copes without them.
  if (RegisterProvider == nullptr || UnregisterProvider == nullptr ||
      AddContextFunction == nullptr || AddContextFunctionProvider == nullptr ||
      EnumRegisteredProviders == nullptr || FreeBuffer == nullptr) {
    library_.reset();
    return LoadResult::FunctionsMissing;
  }
  return LoadResult::Loaded;
}
