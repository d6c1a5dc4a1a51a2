#pragma once

#include <windows.h>

#include <string>

#include "sign_bridge_api.h"
#include "unique_handle.h"

// The signing bridge, loaded for one signature from the folder the provider itself was loaded
// from and unloaded when the owner goes out of scope. The load names the full path and lets
// the bridge's own imports come only from that folder and system32, so a DLL of the same name
// next to the host program, in the current directory or on PATH is never picked up.
class SignBridgeLibrary {
 public:
  SignBridgeLibrary();

  bool loaded() const { return static_cast<bool>(module_); }
  // Null when the export is missing.
  MurakoSignHashRemoteFn SignHashRemote() const;
  MurakoFreeSigFn FreeSig() const;
  MurakoGetLastErrorFn GetLastErrorText() const;

 private:
  FARPROC Resolve(const char* name) const;

  UniqueModule module_;
};

// `module_path` with its file name replaced by the bridge's; empty when the path has no folder.
std::wstring BridgePathBeside(const std::wstring& module_path);
