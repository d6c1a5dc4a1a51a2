// A stand-in for murako_sign_bridge.dll that the provider tests copy under that name beside the
// provider. Every call does what the calling test scripted in environment variables of the
// process.
//
//   TEST_SIGN_BRIDGE_MODE        "sign" (default): S_OK with the real signature of the key's
//                                private key blob "<key name>.key" in TEST_SIGN_BRIDGE_KEYS,
//                                made as the real bridge asks the service to (raw hash, PSS
//                                salt as long as the hash), or the known signature when the
//                                folder has no such key;
//                                "corrupt": the real signature with its last byte changed;
//                                "strip_zeros": a real signature (made again until one begins
//                                with a zero byte) without its leading zero bytes, as a service
//                                that sends it as a number would;
//                                "fail": E_FAIL with the last-error text;
//                                "fail_with_buffer": E_FAIL but a signature buffer as well;
//                                "empty": S_OK without a signature buffer;
//                                "throw": E_FAIL after an exception thrown and caught inside
//   TEST_SIGN_BRIDGE_SIG_BYTES   length of the returned signature, cut or padded with zeros
//                                (default: the real signature's, else 256)
//   TEST_SIGN_BRIDGE_ERROR       last-error text of a failure (default "scripted failure")
//   TEST_SIGN_BRIDGE_RECORD      file that receives one line per call:
//                                "<key name>|<hash in hex>|<flags in hex>"
// Counters kept in the environment for the test to read:
//   TEST_SIGN_BRIDGE_LOADS       incremented each time the library is loaded into the process
//   TEST_SIGN_BRIDGE_FREES       incremented by every MurakoFreeSig with a buffer
//
// The known signature: byte i is (hash[i mod hash length] + i) mod 256.

#include <windows.h>
#include <bcrypt.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "hash_classification.h"
#include "own_unwind_tables.h"
#include "sign_bridge_api.h"

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

std::vector<BYTE> KnownSignature(const BYTE* hash, DWORD hash_bytes, DWORD length) {
  std::vector<BYTE> signature(length);
  for (DWORD i = 0; i < length; ++i) {
    BYTE base = (hash != nullptr && hash_bytes > 0) ? hash[i % hash_bytes] : 0;
    signature[i] = static_cast<BYTE>(base + i);
  }
  return signature;
}

std::vector<BYTE> PrivateKeyBlob(LPCWSTR key_name) {
  std::string folder = Environment("TEST_SIGN_BRIDGE_KEYS", "");
  if (folder.empty() || key_name == nullptr) return {};
  std::string name;
  for (const wchar_t* unit = key_name; *unit != L'\0'; ++unit) name += static_cast<char>(*unit);
  std::ifstream file(folder + "\\" + name + ".key", std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

const wchar_t* HashAlgorithm(size_t raw_hash_bytes) {
  return raw_hash_bytes == 32 ? BCRYPT_SHA256_ALGORITHM
         : raw_hash_bytes == 48 ? BCRYPT_SHA384_ALGORITHM
                                : BCRYPT_SHA512_ALGORITHM;
}

std::vector<BYTE> SignWithKey(std::vector<BYTE>& blob, const std::vector<uint8_t>& raw_hash,
                              DWORD flags) {
  std::vector<BYTE> signature;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_KEY_HANDLE key = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_RSA_ALGORITHM, nullptr, 0) == 0 &&
      BCryptImportKeyPair(algorithm, nullptr, BCRYPT_RSAPRIVATE_BLOB, &key, blob.data(),
                          static_cast<ULONG>(blob.size()), 0) == 0) {
    const bool pss = (flags & BCRYPT_PAD_PSS) != 0;
    BCRYPT_PKCS1_PADDING_INFO pkcs1{HashAlgorithm(raw_hash.size())};
    BCRYPT_PSS_PADDING_INFO pss_info{HashAlgorithm(raw_hash.size()),
                                     static_cast<ULONG>(raw_hash.size())};
    void* padding = pss ? static_cast<void*>(&pss_info) : static_cast<void*>(&pkcs1);
    ULONG size = 0;
    std::vector<BYTE> hash(raw_hash.begin(), raw_hash.end());
    if (BCryptSignHash(key, padding, hash.data(), static_cast<ULONG>(hash.size()), nullptr, 0,
                       &size, pss ? BCRYPT_PAD_PSS : BCRYPT_PAD_PKCS1) == 0) {
      signature.resize(size);
      if (BCryptSignHash(key, padding, hash.data(), static_cast<ULONG>(hash.size()),
                         signature.data(), size, &size,
                         pss ? BCRYPT_PAD_PSS : BCRYPT_PAD_PKCS1) != 0) {
        signature.clear();
      }
    }
  }
  if (key != nullptr) BCryptDestroyKey(key);
  if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  return signature;
}

// The key's real signature when the test gave its key, else the known signature.
std::vector<BYTE> Signature(LPCWSTR key_name, const BYTE* hash, DWORD hash_bytes, DWORD flags) {
  std::vector<BYTE> blob = PrivateKeyBlob(key_name);
  HashClassification classified = ClassifyHash(hash, hash_bytes);
  std::vector<BYTE> signature;
  if (!blob.empty() && classified.accepted) signature = SignWithKey(blob, classified.raw_hash, flags);
  if (signature.empty()) return KnownSignature(hash, hash_bytes, 256);
  return signature;
}

BYTE* Handed(std::vector<BYTE> signature, const std::string& length_text) {
  if (!length_text.empty()) signature.resize(std::atol(length_text.c_str()), 0);
  BYTE* buffer = static_cast<BYTE*>(CoTaskMemAlloc(signature.empty() ? 1 : signature.size()));
  if (buffer != nullptr && !signature.empty()) memcpy(buffer, signature.data(), signature.size());
  return buffer;
}

}  // namespace

extern "C" HRESULT WINAPI MurakoSignHashRemote(LPCWSTR key_name, const BYTE* hash,
                                               DWORD hash_bytes, DWORD padding_flags,
                                               BYTE** signature, DWORD* signature_bytes) {
  Record(key_name, hash, hash_bytes, padding_flags);
  std::string mode = Environment("TEST_SIGN_BRIDGE_MODE", "sign");
  std::string length = Environment("TEST_SIGN_BRIDGE_SIG_BYTES", "");
  if (mode == "fail" || mode == "fail_with_buffer") {
    SetThreadError(Environment("TEST_SIGN_BRIDGE_ERROR", "scripted failure"));
    if (mode == "fail_with_buffer") {
      *signature = Handed(KnownSignature(hash, hash_bytes, 256), length);
      *signature_bytes = length.empty() ? 256 : std::atol(length.c_str());
    }
    return E_FAIL;
  }
  if (mode == "empty") {
    return S_OK;
  }
  if (mode == "throw") {
    try {
      throw std::runtime_error("scripted exception");
    } catch (const std::exception& error) {
      SetThreadError(std::string("Exception: ") + error.what());
    }
    return E_FAIL;
  }
  std::vector<BYTE> made = Signature(key_name, hash, hash_bytes, padding_flags);
  if (mode == "corrupt") made.back() ^= 0x01;
  if (mode == "strip_zeros") {
    for (int attempt = 0; attempt < 4096 && !made.empty() && made[0] != 0; ++attempt) {
      made = Signature(key_name, hash, hash_bytes, padding_flags);
    }
    while (!made.empty() && made[0] == 0) made.erase(made.begin());
  }
  const DWORD bytes = length.empty() ? static_cast<DWORD>(made.size()) : std::atol(length.c_str());
  *signature = Handed(std::move(made), length);
  if (*signature == nullptr) return E_OUTOFMEMORY;
  *signature_bytes = bytes;
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
  KeepOwnUnwindTables(reason);
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
