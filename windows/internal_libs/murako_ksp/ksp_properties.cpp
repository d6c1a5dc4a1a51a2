// Provider and key properties: the keys present themselves as non-exportable RSA signing keys
// held in hardware, with their certificate available as the smart-card key certificate.

#include <cstring>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "key_certificate.h"
#include "ksp_handles.h"
#include "ksp_log.h"
#include "ksp_slot_guard.h"
#include "ksp_slots.h"
#include "ksp_status.h"
#include "provider_name.h"

namespace {

constexpr size_t kPropertyNameBytes = 256;
constexpr DWORD kProviderVersion = 0x00010000;

bool NameIs(LPCWSTR name, const wchar_t* expected) {
  return name != nullptr && wcscmp(name, expected) == 0;
}

std::vector<BYTE> DwordValue(DWORD value) {
  std::vector<BYTE> bytes(sizeof(DWORD));
  memcpy(bytes.data(), &value, sizeof(DWORD));
  return bytes;
}

std::vector<BYTE> TextValue(const wchar_t* text) {
  const BYTE* begin = reinterpret_cast<const BYTE*>(text);
  return std::vector<BYTE>(begin, begin + (wcslen(text) + 1) * sizeof(wchar_t));
}

// One answerable property: its value and the details of its exit lines.
struct PropertyAnswer {
  std::vector<BYTE> value;
  std::string success_detail;
  std::string query_detail;
  std::string too_small_detail{};  // empty: no detail
};

// A 32-bit key property whose size-query and too-small lines name it by `label`.
PropertyAnswer LabelledDword(DWORD value, std::string success_detail, const char* label) {
  return {DwordValue(value), std::move(success_detail), std::string("query size, ") + label,
          label};
}

PropertyAnswer KeyNameAnswer(const KspKeyHandle& key, const char* label) {
  std::vector<BYTE> value = TextValue(key.keyName);
  const unsigned long bytes = static_cast<unsigned long>(value.size());
  return {std::move(value), KspFormat("%s='%s'", label, KspLogText(key.keyName).c_str()),
          KspFormat("query size, %s=%lu bytes", label, bytes), label};
}

template <typename Reader>
struct PropertyReader {
  const wchar_t* name;
  Reader read;
};

// The reader of the property called `name` exactly; null when the table has none.
template <typename Reader, size_t kCount>
Reader FindReader(const PropertyReader<Reader> (&table)[kCount], LPCWSTR name) {
  for (const PropertyReader<Reader>& entry : table) {
    if (NameIs(name, entry.name)) return entry.read;
  }
  return nullptr;
}

using ProviderPropertyReader = PropertyAnswer (*)();
using KeyPropertyReader = PropertyAnswer (*)(const KspKeyHandle& key);

const PropertyReader<ProviderPropertyReader> kProviderProperties[] = {
    {NCRYPT_NAME_PROPERTY,
     []() -> PropertyAnswer {
       return {TextValue(kMurakoProviderName), "returned NAME='" MURAKO_PROVIDER_NAME "'",
               KspFormat("query size, NAME=%lu bytes",
                         static_cast<unsigned long>(sizeof(kMurakoProviderName)))};
     }},
    {NCRYPT_IMPL_TYPE_PROPERTY,
     []() -> PropertyAnswer {
       return {DwordValue(NCRYPT_IMPL_HARDWARE_FLAG), "IMPL_TYPE=HARDWARE",
               "query size, IMPL_TYPE=4 bytes"};
     }},
    {NCRYPT_VERSION_PROPERTY,
     []() -> PropertyAnswer {
       return {DwordValue(kProviderVersion),
               KspFormat("VERSION=0x%08X", static_cast<unsigned>(kProviderVersion)),
               "query size, VERSION=4 bytes"};
     }},
};

// The certificate property ("SmartCardKeyCertificate") is answered apart: its lines have forms
// of their own.
const PropertyReader<KeyPropertyReader> kKeyProperties[] = {
    {NCRYPT_LENGTH_PROPERTY,
     [](const KspKeyHandle& key) -> PropertyAnswer {
       return {DwordValue(key.keyLengthBits),
               KspFormat("LENGTH=%lu", static_cast<unsigned long>(key.keyLengthBits)),
               "query size, LENGTH=4"};
     }},
    {NCRYPT_ALGORITHM_PROPERTY,
     [](const KspKeyHandle&) -> PropertyAnswer {
       return {TextValue(L"RSA"), "ALGORITHM=RSA", "query size, ALGORITHM"};
     }},
    {NCRYPT_ALGORITHM_GROUP_PROPERTY,
     [](const KspKeyHandle&) -> PropertyAnswer {
       return {TextValue(L"RSA"), "ALGORITHM_GROUP=RSA", "query size, ALGORITHM_GROUP"};
     }},
    {NCRYPT_NAME_PROPERTY,
     [](const KspKeyHandle& key) { return KeyNameAnswer(key, "NCRYPT_NAME_PROPERTY"); }},
    {NCRYPT_UNIQUE_NAME_PROPERTY,
     [](const KspKeyHandle& key) { return KeyNameAnswer(key, "NCRYPT_UNIQUE_NAME_PROPERTY"); }},
    {NCRYPT_EXPORT_POLICY_PROPERTY,
     [](const KspKeyHandle&) {
       return LabelledDword(0, "EXPORT_POLICY=0 - not exportable", "EXPORT_POLICY");
     }},
    {NCRYPT_KEY_USAGE_PROPERTY,
     [](const KspKeyHandle&) {
       return LabelledDword(NCRYPT_ALLOW_SIGNING_FLAG, "KEY_USAGE=SIGNING", "KEY_USAGE");
     }},
    {NCRYPT_KEY_TYPE_PROPERTY,
     [](const KspKeyHandle&) { return LabelledDword(0, "KEY_TYPE=asymmetric", "KEY_TYPE"); }},
    {NCRYPT_BLOCK_LENGTH_PROPERTY,
     [](const KspKeyHandle& key) {
       const unsigned long block_bytes = key.keyLengthBits / 8;
       return LabelledDword(block_bytes, KspFormat("BLOCK_LENGTH=%lu bytes", block_bytes),
                            "BLOCK_LENGTH");
     }},
};

// The CNG output convention: the size always, the value when the buffer holds it.
SlotResult AnswerProperty(const PropertyAnswer& answer, PBYTE output, DWORD output_bytes,
                          DWORD* result_bytes) {
  DWORD needed = static_cast<DWORD>(answer.value.size());
  *result_bytes = needed;
  if (output == nullptr) return Answer(ERROR_SUCCESS, "%s", answer.query_detail.c_str());
  if (output_bytes < needed) {
    return Answer(NTE_BUFFER_TOO_SMALL, "%s", answer.too_small_detail.c_str());
  }
  memcpy(output, answer.value.data(), needed);
  return Answer(ERROR_SUCCESS, "%s", answer.success_detail.c_str());
}

SlotResult GetProviderProperty(LPCWSTR name, PBYTE output, DWORD output_bytes,
                               DWORD* result_bytes) {
  std::string name_text = KspLogText(name, kPropertyNameBytes);
  KspLog(">>> MurakoGetProviderProperty: property='%s', pbOutput=%p, cbOutput=%lu",
         name_text.c_str(), static_cast<void*>(output), output_bytes);
  if (name == nullptr || result_bytes == nullptr) return Answer(NTE_INVALID_PARAMETER);
  ProviderPropertyReader read = FindReader(kProviderProperties, name);
  if (read == nullptr) return Answer(NTE_NOT_SUPPORTED, "property='%s'", name_text.c_str());
  return AnswerProperty(read(), output, output_bytes, result_bytes);
}

// The certificate property's exit lines name the property instead of the function.
SlotResult CertificateAnswer(SECURITY_STATUS status, const char* format, ...) KSP_PRINTF_FORMAT(2, 3);
SlotResult CertificateAnswer(SECURITY_STATUS status, const char* format, ...) {
  char text[kKspMessageBytes];
  va_list arguments;
  va_start(arguments, format);
  KspFormatInto(text, format, arguments);
  va_end(arguments);
  return AnswerWithLine(status, "<<< NCRYPT_CERTIFICATE_PROPERTY: %s", text);
}

// The certificate the key was opened with, while it is still in the store.
SlotResult GetCertificateProperty(const KspKeyHandle* key, PBYTE output, DWORD output_bytes,
                                  DWORD* result_bytes) {
  KspLog(">>> Requesting NCRYPT_CERTIFICATE_PROPERTY for key '%s'",
         KspLogText(key->keyName).c_str());
  KspLog(key->match == KeyMatch::kThumbprint
             ? "    Key name is thumbprint (40 hex chars)"
             : "    Key name is CN or KEY_CONTAINER, certificate found when the key was opened");
  switch (KeyCertificatePresence(*key)) {
    case CertificatePresence::kStoreUnavailable:
      return CertificateAnswer(NTE_NOT_FOUND, "Failed to open Certificate Store (error=%lu)",
                               GetLastError());
    case CertificatePresence::kRemoved:
      return CertificateAnswer(NTE_NOT_FOUND, "Certificate not found by thumbprint (error=%lu)",
                               GetLastError());
    case CertificatePresence::kPresent:
      break;
  }
  const CERT_CONTEXT* certificate = key->certificate;
  DWORD needed = certificate->cbCertEncoded;
  *result_bytes = needed;
  KspLog("    Certificate found, DER size=%lu bytes", needed);
  if (output == nullptr) {
    return CertificateAnswer(ERROR_SUCCESS, "Query size SUCCESS (size=%lu)", needed);
  }
  if (output_bytes < needed) {
    return CertificateAnswer(NTE_BUFFER_TOO_SMALL, "Buffer too small (provided=%lu, needed=%lu)",
                             output_bytes, needed);
  }
  memcpy(output, certificate->pbCertEncoded, needed);
  return CertificateAnswer(ERROR_SUCCESS, "SUCCESS (returned %lu bytes)", needed);
}

SlotResult GetKeyProperty(NCRYPT_KEY_HANDLE key_handle, LPCWSTR name, PBYTE output,
                          DWORD output_bytes, DWORD* result_bytes) {
  std::string name_text = KspLogText(name, kPropertyNameBytes);
  KspLog(">>> MurakoGetKeyProperty: property='%s', cbOutput=%lu", name_text.c_str(),
         output_bytes);
  const KspKeyHandle* key = KeyFromHandle(key_handle);
  if (key == nullptr) return Answer(NTE_INVALID_HANDLE);
  if (name == nullptr || result_bytes == nullptr) return Answer(NTE_INVALID_PARAMETER);
  if (NameIs(name, NCRYPT_CERTIFICATE_PROPERTY)) {
    return GetCertificateProperty(key, output, output_bytes, result_bytes);
  }
  KeyPropertyReader read = FindReader(kKeyProperties, name);
  if (read == nullptr) return Answer(NTE_NOT_SUPPORTED, "property='%s'", name_text.c_str());
  return AnswerProperty(read(*key), output, output_bytes, result_bytes);
}

}  // namespace

SECURITY_STATUS WINAPI MurakoGetProviderProperty(NCRYPT_PROV_HANDLE /*hProvider*/,
                                                 LPCWSTR pszProperty, PBYTE pbOutput,
                                                 DWORD cbOutput, DWORD* pcbResult,
                                                 DWORD /*dwFlags*/) {
  return GuardSlot("MurakoGetProviderProperty", [&] {
    return GetProviderProperty(pszProperty, pbOutput, cbOutput, pcbResult);
  });
}

SECURITY_STATUS WINAPI MurakoGetKeyProperty(NCRYPT_PROV_HANDLE /*hProvider*/,
                                            NCRYPT_KEY_HANDLE hKey, LPCWSTR pszProperty,
                                            PBYTE pbOutput, DWORD cbOutput, DWORD* pcbResult,
                                            DWORD /*dwFlags*/) {
  return GuardSlot("MurakoGetKeyProperty", [&] {
    return GetKeyProperty(hKey, pszProperty, pbOutput, cbOutput, pcbResult);
  });
}

SECURITY_STATUS WINAPI MurakoSetProviderProperty(NCRYPT_PROV_HANDLE /*hProvider*/,
                                                 LPCWSTR pszProperty, PBYTE /*pbInput*/,
                                                 DWORD /*cbInput*/, DWORD /*dwFlags*/) {
  return GuardSlot("MurakoSetProviderProperty", [&] {
    std::string name_text = KspLogText(pszProperty, kPropertyNameBytes);
    // The window handle is accepted but not kept: the provider never shows a window. The entry
    // line is the only line, and says the result.
    if (NameIs(pszProperty, NCRYPT_WINDOW_HANDLE_PROPERTY)) {
      return AnswerWithLine(
          ERROR_SUCCESS,
          ">>> MurakoSetProviderProperty: property='%s' accepted (HWND, unused for HSM)",
          name_text.c_str());
    }
    return AnswerWithLine(NTE_NOT_SUPPORTED,
                          ">>> MurakoSetProviderProperty: property='%s' NTE_NOT_SUPPORTED",
                          name_text.c_str());
  });
}

SECURITY_STATUS WINAPI MurakoSetKeyProperty(NCRYPT_PROV_HANDLE /*hProvider*/,
                                            NCRYPT_KEY_HANDLE /*hKey*/, LPCWSTR pszProperty,
                                            PBYTE /*pbInput*/, DWORD cbInput, DWORD /*dwFlags*/) {
  return GuardSlot("MurakoSetKeyProperty", [&] {
    std::string name_text = KspLogText(pszProperty, kPropertyNameBytes);
    KspLog(">>> MurakoSetKeyProperty: property='%s', cbInput=%lu", name_text.c_str(), cbInput);
    if (NameIs(pszProperty, NCRYPT_WINDOW_HANDLE_PROPERTY)) {
      return Answer(ERROR_SUCCESS, "WINDOW_HANDLE accepted, unused for HSM");
    }
    return Answer(NTE_NOT_SUPPORTED, "property='%s'", name_text.c_str());
  });
}
