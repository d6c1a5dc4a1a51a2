#include "sign_bridge_library.h"

SignBridgeLibrary::SignBridgeLibrary() : module_(LoadLibraryW(L"murako_sign_bridge.dll")) {}

void SignBridgeLibrary::Unload() { module_.reset(); }

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
