#include "sign_bridge_library.h"

#include <vector>

#include "system_library.h"

namespace {

// The module this code was linked into: murako_ksp.dll in a host, the program in a test.
HMODULE ThisModule() { return ModuleContaining(reinterpret_cast<const void*>(&ThisModule)); }

// The full file name of `module`; empty on failure, however long the path.
std::wstring ModuleFileName(HMODULE module) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD length = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::wstring();
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    if (buffer.size() >= 32768) return std::wstring();
    buffer.resize(buffer.size() * 2);
  }
}

HMODULE LoadBridgeBesideProvider() {
  HMODULE provider = ThisModule();
  if (provider == nullptr) return nullptr;
  const std::wstring path = BridgePathBeside(ModuleFileName(provider));
  if (path.empty()) return nullptr;
  return LoadLibraryExW(path.c_str(), nullptr,
                        LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

std::wstring BridgePathBeside(const std::wstring& module_path) {
  const size_t separator = module_path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return std::wstring();
  return module_path.substr(0, separator + 1) + kSignBridgeFileName;
}

SignBridgeLibrary::SignBridgeLibrary() : module_(LoadBridgeBesideProvider()) {}

FARPROC SignBridgeLibrary::Resolve(const char* name) const {
  return module_ ? GetProcAddress(module_.get(), name) : nullptr;
}

MurakoSignHashRemoteFn SignBridgeLibrary::SignHashRemote() const {
  return reinterpret_cast<MurakoSignHashRemoteFn>(Resolve("MurakoSignHashRemote"));
}

MurakoFreeSigFn SignBridgeLibrary::FreeSig() const {
  return reinterpret_cast<MurakoFreeSigFn>(Resolve("MurakoFreeSig"));
}

MurakoGetLastErrorFn SignBridgeLibrary::GetLastErrorText() const {
  return reinterpret_cast<MurakoGetLastErrorFn>(Resolve("MurakoGetLastError"));
}
