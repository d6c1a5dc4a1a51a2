// A stand-in for murako_sign_bridge.dll that the provider tests copy under that name into a
// folder of their choice. It signs nothing: every call does what the calling test scripted in
// environment variables of the process.
//
//   TEST_SIGN_BRIDGE_MODE        "sign" (default): S_OK with a known signature;
//                                "fail": E_FAIL with the last-error text;
//                                "fail_with_buffer": E_FAIL but a signature buffer as well;
//                                "empty": S_OK without a signature buffer
//   TEST_SIGN_BRIDGE_SIG_BYTES   length of the returned signature (default 256)
//   TEST_SIGN_BRIDGE_ERROR       last-error text of a failure (default "scripted failure")
//   TEST_SIGN_BRIDGE_RECORD      file that receives one line per call:
//                                "<key name>|<hash in hex>|<flags in hex>"
// Counters kept in the environment for the test to read:
//   TEST_SIGN_BRIDGE_LOADS       incremented each time the library is loaded into the process
//   TEST_SIGN_BRIDGE_FREES       incremented by every MurakoFreeSig with a buffer
//
// The known signature: byte i is (hash[i mod hash length] + i) mod 256.

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

DWORD g_error_slot = TLS_OUT_OF_INDEXES;
const char kEmptyText[] = "";

std::string Environment(const char* name, const char* fallback) {
  char value[1024];
  DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
  if (length == 0 || length >= sizeof(value)) {
    return fallback;
  }
  return std::string(value, length);
}

void IncrementCounter(const char* name) {
  long count = std::atol(Environment(name, "0").c_str()) + 1;
  SetEnvironmentVariableA(name, std::to_string(count).c_str());
}

void FreeThreadError() {
  if (g_error_slot == TLS_OUT_OF_INDEXES) return;
  char* text = static_cast<char*>(TlsGetValue(g_error_slot));
  if (text != nullptr) {
    HeapFree(GetProcessHeap(), 0, text);
    TlsSetValue(g_error_slot, nullptr);
  }
}

void SetThreadError(const std::string& text) {
  FreeThreadError();
  char* copy = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, text.size() + 1));
  if (copy != nullptr) {
    memcpy(copy, text.c_str(), text.size() + 1);
    TlsSetValue(g_error_slot, copy);
  }
}

void Record(LPCWSTR key_name, const BYTE* hash, DWORD hash_bytes, DWORD flags) {
  std::string path = Environment("TEST_SIGN_BRIDGE_RECORD", "");
  if (path.empty()) return;
  std::string line;
  char name[1024] = {};
  if (key_name != nullptr) {
    WideCharToMultiByte(CP_UTF8, 0, key_name, -1, name, sizeof(name) - 1, nullptr, nullptr);
  }
  line += name;
  line += "|";
  for (DWORD i = 0; hash != nullptr && i < hash_bytes; ++i) {
    char digits[3];
    snprintf(digits, sizeof(digits), "%02X", hash[i]);
    line += digits;
  }
  char flag_text[16];
  snprintf(flag_text, sizeof(flag_text), "|%lX\n", flags);
  line += flag_text;
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

BYTE* KnownSignature(const BYTE* hash, DWORD hash_bytes, DWORD length) {
  BYTE* signature = static_cast<BYTE*>(CoTaskMemAlloc(length));
  if (signature == nullptr) return nullptr;
  for (DWORD i = 0; i < length; ++i) {
    BYTE base = (hash != nullptr && hash_bytes > 0) ? hash[i % hash_bytes] : 0;
    signature[i] = static_cast<BYTE>(base + i);
  }
  return signature;
}

}  // namespace

extern "C" HRESULT WINAPI MurakoSignHashRemote(LPCWSTR key_name, const BYTE* hash,
                                               DWORD hash_bytes, DWORD padding_flags,
                                               BYTE** signature, DWORD* signature_bytes) {
  Record(key_name, hash, hash_bytes, padding_flags);
  std::string mode = Environment("TEST_SIGN_BRIDGE_MODE", "sign");
  DWORD length = static_cast<DWORD>(std::atol(Environment("TEST_SIGN_BRIDGE_SIG_BYTES", "256").c_str()));
  if (mode == "fail" || mode == "fail_with_buffer") {
    SetThreadError(Environment("TEST_SIGN_BRIDGE_ERROR", "scripted failure"));
    if (mode == "fail_with_buffer") {
      *signature = KnownSignature(hash, hash_bytes, length);
      *signature_bytes = length;
    }
    return E_FAIL;
  }
  if (mode == "empty") {
    return S_OK;
  }
  *signature = KnownSignature(hash, hash_bytes, length);
  if (*signature == nullptr) return E_OUTOFMEMORY;
  *signature_bytes = length;
  return S_OK;
}

extern "C" const char* WINAPI MurakoGetLastError() {
  const char* text = static_cast<const char*>(TlsGetValue(g_error_slot));
  return text != nullptr ? text : kEmptyText;
}

extern "C" void WINAPI MurakoFreeSig(BYTE* signature) {
  if (signature != nullptr) {
    IncrementCounter("TEST_SIGN_BRIDGE_FREES");
    CoTaskMemFree(signature);
  }
}

BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID /*reserved*/) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      g_error_slot = TlsAlloc();
      IncrementCounter("TEST_SIGN_BRIDGE_LOADS");
      break;
    case DLL_THREAD_DETACH:
      FreeThreadError();
      break;
    case DLL_PROCESS_DETACH:
      FreeThreadError();
      if (g_error_slot != TLS_OUT_OF_INDEXES) TlsFree(g_error_slot);
      break;
  }
  return TRUE;
}
