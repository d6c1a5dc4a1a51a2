// The provider's keys are the certificates of the current user's personal store: opening one
// by thumbprint, container name or subject common name, and listing those with a "Murako"
// friendly name.

#include <cstring>
#include <string>

#include "cert_store.h"
#include "key_certificate.h"
#include "key_length.h"
#include "ksp_handles.h"
#include "ksp_log.h"
#include "ksp_slot_guard.h"
#include "ksp_slots.h"
#include "ksp_status.h"
#include "thumbprint.h"

namespace {

void LogMatch(const KeyCertificate& found) {
  if (found.match == KeyMatch::kThumbprint) {
    KspLog("    Found by THUMBPRINT");
  } else {
    KspLog(found.match == KeyMatch::kContainer ? "    Found by KEY_CONTAINER: '%s'"
                                               : "    Found by CN: '%s'",
           KspLogText(found.matched_text.c_str()).c_str());
  }
}

SlotResult OpenKey(NCRYPT_PROV_HANDLE provider_handle, NCRYPT_KEY_HANDLE* out, LPCWSTR key_name) {
  if (key_name != nullptr) {
    KspLog(">>> MurakoOpenKey: keyName='%s'", KspLogText(key_name).c_str());
    Thumbprint ignored{};
    KspLog("    Search mode: %s",
           ParseThumbprint(key_name, &ignored) ? "THUMBPRINT" : "CN or KEY_CONTAINER");
  } else {
    KspLog(">>> MurakoOpenKey: keyName='NULL'");
  }

  KspProviderHandle* provider = ProviderFromHandle(provider_handle);
  if (provider == nullptr) return Answer(NTE_INVALID_HANDLE);
  if (out == nullptr || key_name == nullptr) return Answer(NTE_INVALID_PARAMETER);

  UniqueCertStore store(OpenPersonalStore());
  if (!store) return Answer(NTE_FAIL, "could not open cert store");
  KeyCertificate found;
  if (!FindKeyCertificate(store.get(), key_name, &found)) {
    return Answer(NTE_BAD_KEYSET, "key not found");
  }
  // The log names a match by name before the key length, a thumbprint's after it.
  const bool by_thumbprint = found.match == KeyMatch::kThumbprint;
  if (!by_thumbprint) LogMatch(found);
  const DWORD key_length_bits =
      KeyLengthFromPublicKey(&found.certificate.get()->pCertInfo->SubjectPublicKeyInfo);
  if (by_thumbprint) LogMatch(found);

  KspKeyHandle* key = CreateKeyHandle(provider, key_name, key_length_bits, found);
  if (key == nullptr) return Answer(NTE_NO_MEMORY);
  *out = reinterpret_cast<NCRYPT_KEY_HANDLE>(key);
  return Answer(ERROR_SUCCESS, "keyLength=%d bits", static_cast<int>(key_length_bits));
}

// One heap block: the NCryptKeyName structure, the thumbprint and "RSA".
NCryptKeyName* CreateKeyNameRecord(const std::wstring& thumbprint) {
  static const wchar_t kAlgorithm[] = L"RSA";
  size_t name_bytes = (thumbprint.size() + 1) * sizeof(wchar_t);
  size_t total = sizeof(NCryptKeyName) + name_bytes + sizeof(kAlgorithm);
  NCryptKeyName* record = static_cast<NCryptKeyName*>(KspHeapAlloc(total));
  if (record == nullptr) return nullptr;
  BYTE* name = reinterpret_cast<BYTE*>(record) + sizeof(NCryptKeyName);
  memcpy(name, thumbprint.c_str(), name_bytes);
  memcpy(name + name_bytes, kAlgorithm, sizeof(kAlgorithm));
  record->pszName = reinterpret_cast<LPWSTR>(name);
  record->pszAlgid = reinterpret_cast<LPWSTR>(name + name_bytes);
  record->dwLegacyKeySpec = 0;
  record->dwFlags = 0;
  return record;
}

SECURITY_STATUS StartEnumeration(PVOID* state_pointer) {
  KspKeyEnumState* state = static_cast<KspKeyEnumState*>(KspHeapAlloc(sizeof(KspKeyEnumState)));
  if (state == nullptr) return NTE_NO_MEMORY;
  state->magic = kEnumMagic;
  state->store = OpenPersonalStore();
  if (state->store == nullptr) {
    KspHeapFree(state);
    return NTE_FAIL;
  }
  *state_pointer = state;
  return ERROR_SUCCESS;
}

// Advances to the next certificate with a "Murako" friendly name and a readable thumbprint.
bool NextProviderCertificate(KspKeyEnumState* state, std::wstring* thumbprint_text) {
  while (!state->finished) {
    state->last = CertEnumCertificatesInStore(state->store, state->last);
    if (state->last == nullptr) {
      state->finished = TRUE;
      break;
    }
    if (!HasMurakoFriendlyName(state->last)) {
      continue;
    }
    std::wstring common_name = SubjectCommonName(state->last);
    Thumbprint thumbprint{};
    if (!ReadThumbprint(state->last, &thumbprint)) {
      KspLog("  WARNING: Failed to get thumbprint for certificate, skipping");
      continue;
    }
    *thumbprint_text = FormatThumbprint(thumbprint.data());
    KspLog("  Found Murako certificate: CN='%s', Thumbprint='%s'",
           KspLogText(common_name.c_str()).c_str(), KspLogText(thumbprint_text->c_str()).c_str());
    return true;
  }
  return false;
}

// The failures of an enumeration answer without a detail: they write no exit line.
SlotResult EnumKeys(NCRYPT_PROV_HANDLE provider_handle, NCryptKeyName** out,
                    PVOID* state_pointer) {
  KspLog(">>> MurakoEnumKeys");
  if (ProviderFromHandle(provider_handle) == nullptr) return Answer(NTE_INVALID_HANDLE);
  if (out == nullptr || state_pointer == nullptr) return Answer(NTE_INVALID_PARAMETER);
  if (*state_pointer == nullptr) {
    SECURITY_STATUS status = StartEnumeration(state_pointer);
    if (status != ERROR_SUCCESS) return Answer(status);
  } else if (!IsEnumState(*state_pointer)) {
    return Answer(NTE_INVALID_PARAMETER);
  }
  KspKeyEnumState* state = static_cast<KspKeyEnumState*>(*state_pointer);

  std::wstring thumbprint;
  if (!NextProviderCertificate(state, &thumbprint)) return Answer(NTE_NO_MORE_ITEMS);
  const SlotResult listed = Answer(ERROR_SUCCESS, "keyName='%s' (thumbprint)",
                                   KspLogText(thumbprint.c_str()).c_str());
  NCryptKeyName* record = CreateKeyNameRecord(thumbprint);
  if (record == nullptr) return Answer(NTE_NO_MEMORY);
  *out = record;
  ++state->count;
  return listed;
}

}  // namespace

SECURITY_STATUS WINAPI MurakoOpenKey(NCRYPT_PROV_HANDLE hProvider, NCRYPT_KEY_HANDLE* phKey,
                                     LPCWSTR pszKeyName, DWORD /*dwLegacyKeySpec*/,
                                     DWORD /*dwFlags*/) {
  return GuardSlot(
      "MurakoOpenKey", [&] { return OpenKey(hProvider, phKey, pszKeyName); },
      kSuccessAfterSpaceExitLine);
}

SECURITY_STATUS WINAPI MurakoEnumKeys(NCRYPT_PROV_HANDLE hProvider, LPCWSTR /*pszScope*/,
                                      NCryptKeyName** ppKeyName, PVOID* ppEnumState,
                                      DWORD /*dwFlags*/) {
  return GuardSlot(
      "MurakoEnumKeys", [&] { return EnumKeys(hProvider, ppKeyName, ppEnumState); },
      kDetailedExitsOnlyLine);
}
