// The three exports of murako_sign_bridge.dll. No exception crosses them.
#include <objbase.h>
#include <windows.h>

#include <cstring>
#include <vector>

#include "bridge_last_error.h"
#include "cxx_runtime_release.h"
#include "guarded_entry.h"
#include "hash_classification.h"
#include "logger.h"
#include "own_unwind_tables.h"
#include "remote_signer.h"
#include "sign_bridge_api.h"

namespace {

HRESULT SignHashUnguarded(LPCWSTR key_name, const BYTE* hash, DWORD hash_length,
                          DWORD padding_flags, BYTE** signature_out,
                          DWORD* signature_length_out) {
  const std::string rule(40, '=');
  LogInfo(rule);
  LogInfo("MurakoSignHashRemote v5.0 - DigestInfo extraction + AnyConnect compatibility");
  LogInfo(rule);
  LogInfo("MurakoSignHashRemote: Starting remote signature");
  LogInfo("Padding flags: " + DescribePaddingFlags(padding_flags));
  if (key_name == nullptr || hash == nullptr || signature_out == nullptr ||
      signature_length_out == nullptr) {
    SetBridgeError("Invalid parameters");
    return E_INVALIDARG;
  }
  std::vector<uint8_t> signature;
  HRESULT result =
      SignHashRemotely(KeyNameToNarrow(key_name), hash, hash_length, padding_flags, signature);
  if (FAILED(result)) return result;

  auto* buffer = static_cast<BYTE*>(CoTaskMemAlloc(signature.size()));
  if (buffer == nullptr) {
    SetBridgeError("Failed to allocate memory for signature");
    return E_OUTOFMEMORY;
  }
  if (!signature.empty()) std::memcpy(buffer, signature.data(), signature.size());
  *signature_out = buffer;
  *signature_length_out = static_cast<DWORD>(signature.size());
  LogInfo("Remote signature successful: " + std::to_string(signature.size()) + " bytes");
  return S_OK;
}

// Recording the failure may itself run out of memory; E_FAIL stands either way.
HRESULT ExceptionFailure(const CaughtFailure& caught) {
  return GuardEntry(
      [&] {
        SetBridgeError("Exception: " + caught.Text("unknown error"));
        return E_FAIL;
      },
      [](const CaughtFailure&) { return E_FAIL; });
}

HRESULT SignHashRemote(LPCWSTR key_name, const BYTE* hash, DWORD hash_length,
                       DWORD padding_flags, BYTE** signature_out, DWORD* signature_length_out) {
  return GuardEntry(
      [&] {
        return SignHashUnguarded(key_name, hash, hash_length, padding_flags, signature_out,
                                 signature_length_out);
      },
      ExceptionFailure);
}

}  // namespace

extern "C" {

HRESULT WINAPI MurakoSignHashRemote(LPCWSTR key_name, const BYTE* hash, DWORD hash_length,
                                    DWORD padding_flags, BYTE** signature_out,
                                    DWORD* signature_length_out) {
  HRESULT result = E_FAIL;
  {
    LogBatch lines_of_this_call;
    result = SignHashRemote(key_name, hash, hash_length, padding_flags,
                            signature_out, signature_length_out);
  }
  ReleaseThreadRuntimeOfThisModule();
  return result;
}

const char* WINAPI MurakoGetLastError() {
  return GuardEntry([] { return BridgeLastError(); }, [](const CaughtFailure&) { return ""; });
}

void WINAPI MurakoFreeSig(BYTE* signature) {
  if (signature != nullptr) CoTaskMemFree(signature);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  KeepOwnUnwindTables(reason);
  ReleaseCxxRuntimeOnUnload(reason, reserved);
  if (reason == DLL_THREAD_DETACH) {
    GuardEntry([] { ForgetBridgeErrorOfThread(GetCurrentThreadId()); },
               [](const CaughtFailure&) {});
  }
  return TRUE;
}

}  // extern "C"
