#include "bcrypt_functions.h"

namespace {

template <typename Function>
void Resolve(HMODULE library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace

BCryptFunctions::~BCryptFunctions() {
  if (library_ != nullptr) FreeLibrary(library_);
}

BCryptFunctions::LoadResult BCryptFunctions::Load(DWORD& error) {
  library_ = LoadLibraryW(L"bcrypt.dll");
  if (library_ == nullptr) {
    error = GetLastError();
    return LoadResult::LibraryMissing;
  }
  Resolve(library_, "BCryptRegisterProvider", RegisterProvider);
  Resolve(library_, "BCryptUnregisterProvider", UnregisterProvider);
  Resolve(library_, "BCryptAddContextFunction", AddContextFunction);
  Resolve(library_, "BCryptRemoveContextFunction", RemoveContextFunction);
  Resolve(library_, "BCryptAddContextFunctionProvider", AddContextFunctionProvider);
  Resolve(library_, "BCryptRemoveContextFunctionProvider", RemoveContextFunctionProvider);
  Resolve(library_, "BCryptEnumRegisteredProviders", EnumRegisteredProviders);
  Resolve(library_, "BCryptFreeBuffer", FreeBuffer);
  // The two Remove functions are optional: the tool copes without them.
  if (RegisterProvider == nullptr || UnregisterProvider == nullptr ||
      AddContextFunction == nullptr || AddContextFunctionProvider == nullptr ||
      EnumRegisteredProviders == nullptr || FreeBuffer == nullptr) {
    FreeLibrary(library_);
    library_ = nullptr;
    return LoadResult::FunctionsMissing;
  }
  return LoadResult::Loaded;
}
