#pragma once

#include <windows.h>

#include "unique_handle.h"

// The signing bridge "murako_sign_bridge.dll", loaded by bare name through the host process's
// library search for one signature and unloaded when the owner goes out of scope.

typedef HRESULT(WINAPI* MurakoSignHashRemoteFn)(LPCWSTR key_name, const BYTE* hash,
                                                DWORD hash_bytes, DWORD padding_flags,
                                                BYTE** signature, DWORD* signature_bytes);
typedef const char*(WINAPI* MurakoGetLastErrorFn)();
typedef void(WINAPI* MurakoFreeSigFn)(BYTE* signature);

class SignBridgeLibrary {
 public:
  SignBridgeLibrary();

  bool loaded() const { return static_cast<bool>(module_); }
  // Null when the export is missing.
  MurakoSignHashRemoteFn SignHashRemote() const;
  MurakoFreeSigFn FreeSig() const;
  MurakoGetLastErrorFn GetLastErrorText() const;

  void Unload();

 private:
  FARPROC Resolve(const char* name) const;

  UniqueModule module_;
};
