#include "ksp_handles.h"

#include <cstring>
#include <cwchar>

#include "unique_handle.h"

namespace {

template <typename Record>
Record* RecordWithMagic(ULONG_PTR handle, DWORD magic) {
  Record* record = reinterpret_cast<Record*>(handle);
  if (record == nullptr || record->magic != magic) {
    return nullptr;
  }
  return record;
}

}  // namespace

KspProviderHandle* ProviderFromHandle(NCRYPT_PROV_HANDLE handle) {
  return RecordWithMagic<KspProviderHandle>(handle, kProviderMagic);
}

KspKeyHandle* KeyFromHandle(NCRYPT_KEY_HANDLE handle) {
  return RecordWithMagic<KspKeyHandle>(handle, kKeyMagic);
}

bool IsEnumState(const void* buffer) {
  return buffer != nullptr && static_cast<const KspKeyEnumState*>(buffer)->magic == kEnumMagic;
}

void* KspHeapAlloc(size_t bytes) {
  return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}

void* KspHeapAllocUninitialised(size_t bytes) {
  return HeapAlloc(GetProcessHeap(), 0, bytes);
}

void KspHeapFree(void* block) {
  if (block != nullptr) FreeProcessHeapBlock(block);
}

DWORD RecordSizeWithText(size_t header_bytes, const wchar_t* text) {
  const size_t limit = 0x7FFFFFFF;
  size_t characters = wcslen(text);
  if (characters > (limit - header_bytes) / sizeof(wchar_t) - 1) {
    return 0;
  }
  return static_cast<DWORD>(header_bytes + (characters + 1) * sizeof(wchar_t));
}

KspKeyHandle* CreateKeyHandle(KspProviderHandle* provider, const wchar_t* key_name,
                              DWORD key_length_bits, const KeyCertificate& found) {
  DWORD size = RecordSizeWithText(sizeof(KspKeyHandle), key_name);
  if (size == 0) {
    return nullptr;
  }
  PCCERT_CONTEXT certificate = found.certificate.get();
  UniqueCertContext copy(CertCreateCertificateContext(
      certificate->dwCertEncodingType, certificate->pbCertEncoded, certificate->cbCertEncoded));
  if (!copy) {
    return nullptr;
  }
  KspKeyHandle* key = static_cast<KspKeyHandle*>(KspHeapAlloc(size));
  if (key == nullptr) {
    return nullptr;
  }
  key->size = size;
  key->magic = kKeyMagic;
  key->provider = provider;
  key->keyName = reinterpret_cast<LPWSTR>(reinterpret_cast<BYTE*>(key) + sizeof(KspKeyHandle));
  key->keyLengthBits = key_length_bits;
  key->certificate = copy.release();
  key->thumbprint = found.thumbprint;
  key->match = found.match;
  memcpy(key->keyName, key_name, size - sizeof(KspKeyHandle));
  return key;
}

void FreeKeyHandle(KspKeyHandle* key) {
  const UniqueCertContext certificate(key->certificate);
  WipeAndFree(key, key->size);
}

void WipeAndFree(void* record, DWORD size) {
  SecureZeroMemory(record, size);
  KspHeapFree(record);
}
