#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <ncrypt.h>

#include "key_certificate.h"
#include "thumbprint.h"

// The records behind the handles the provider gives CNG. Each starts with its total size and a
// magic word, so that a foreign, wrong-kind or freed (wiped) handle is recognised. Every record
// and every buffer handed to CNG comes from the process heap.

constexpr DWORD kProviderMagic = 0x4D524B50;  // 'MRKP'
constexpr DWORD kKeyMagic = 0x4B455950;       // 'KEYP'
constexpr DWORD kEnumMagic = 0x454E554D;      // 'ENUM'

struct KspProviderHandle {
  DWORD size;
  DWORD magic;
  LPWSTR name;  // points at the copy stored right after the record
};

struct KspKeyHandle {
  DWORD size;
  DWORD magic;
  KspProviderHandle* provider;
  LPWSTR keyName;  // points at the copy stored right after the record
  DWORD keyLengthBits;
  // A copy, outside any store, of the certificate that opening found, with its thumbprint and
  // how the name matched it: every later question about the key (its certificate, its public
  // key, the signature check, the bridge's mappings) is answered from it. Released by
  // FreeKeyHandle.
  PCCERT_CONTEXT certificate;
  Thumbprint thumbprint;
  KeyMatch match;
};

struct KspKeyEnumState {
  DWORD count;
  DWORD magic;
  HCERTSTORE store;
  PCCERT_CONTEXT last;
  // Set once the store has no further certificate, so that later calls keep answering
  // "no more items" instead of starting over from the first certificate.
  BOOL finished;
};

// The record behind a handle, or null when the handle is null or carries another magic.
KspProviderHandle* ProviderFromHandle(NCRYPT_PROV_HANDLE handle);
KspKeyHandle* KeyFromHandle(NCRYPT_KEY_HANDLE handle);
bool IsEnumState(const void* buffer);

// Process-heap blocks; KspHeapAlloc returns zero-filled memory or null.
void* KspHeapAlloc(size_t bytes);
void* KspHeapAllocUninitialised(size_t bytes);
void KspHeapFree(void* block);

// Total record size for a record header of `header_bytes` followed by `text` with its
// terminator; 0 when the text is too long to be described by a 32-bit size.
DWORD RecordSizeWithText(size_t header_bytes, const wchar_t* text);

// A key handle record for `key_name` holding a copy of the certificate it found, zero-filled
// and filled in; null when out of memory or the name is too long for a record.
KspKeyHandle* CreateKeyHandle(KspProviderHandle* provider, const wchar_t* key_name,
                              DWORD key_length_bits, const KeyCertificate& found);

// Releases the key's certificate copy, then wipes and frees the record.
void FreeKeyHandle(KspKeyHandle* key);

// Overwrites a record with zeros over its recorded size and returns it to the heap.
void WipeAndFree(void* record, DWORD size);
