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
#include "property_answer.h"
#include "provider_name.h"

namespace {

constexpr size_t kPropertyNameBytes = 256;
constexpr DWORD kProviderVersion = 0x00010000;

bool NameIs(LPCWSTR name, const wchar_t* expected) {
  return name != nullptr && wcscmp(name, expected) == 0;
}

std::string Quoted(const wchar_t* text) { return "'" + KspLogText(text) + "'"; }

// A 32-bit key property whose size-query and too-small lines name it without its size.
PropertyAnswer LabelledDword(DWORD value, const char* label, std::string shown) {
  return {DwordValue(value), label, std::move(shown), SizeInQuery::kNotGiven, true};
}

PropertyAnswer KeyNameAnswer(const KspKeyHandle& key, const char* label) {
  return {TextValue(key.keyName), label, Quoted(key.keyName), SizeInQuery::kBytes, true};
}

PropertyAnswer AlgorithmAnswer(const char* label) {
  return {TextValue(BCRYPT_RSA_ALGORITHM), label, KspLogText(BCRYPT_RSA_ALGORITHM),
          SizeInQuery::kNotGiven, false};
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
       return {TextValue(kMurakoProviderName), "NAME", Quoted(kMurakoProviderName),
               SizeInQuery::kBytes, false, "returned "};
     }},
    {NCRYPT_IMPL_TYPE_PROPERTY,
     []() -> PropertyAnswer {
       return {DwordValue(NCRYPT_IMPL_HARDWARE_FLAG), "IMPL_TYPE", "HARDWARE",
               SizeInQuery::kBytes, false};
     }},
    {NCRYPT_VERSION_PROPERTY,
     []() -> PropertyAnswer {
       return {DwordValue(kProviderVersion), "VERSION",
               KspFormat("0x%08X", static_cast<unsigned>(kProviderVersion)), SizeInQuery::kBytes,
               false};
     }},
};

// The certificate property ("SmartCardKeyCertificate") is answered apart: its lines have forms
// of their own.
const PropertyReader<KeyPropertyReader> kKeyProperties[] = {
    {NCRYPT_LENGTH_PROPERTY,
     [](const KspKeyHandle& key) -> PropertyAnswer {
       return {DwordValue(key.keyLengthBits), "LENGTH",
               KspFormat("%lu", static_cast<unsigned long>(key.keyLengthBits)),
               SizeInQuery::kNumber, false};
     }},
    {NCRYPT_ALGORITHM_PROPERTY, [](const KspKeyHandle&) { return AlgorithmAnswer("ALGORITHM"); }},
    {NCRYPT_ALGORITHM_GROUP_PROPERTY,
     [](const KspKeyHandle&) { return AlgorithmAnswer("ALGORITHM_GROUP"); }},
    {NCRYPT_NAME_PROPERTY,
     [](const KspKeyHandle& key) { return KeyNameAnswer(key, "NCRYPT_NAME_PROPERTY"); }},
    {NCRYPT_UNIQUE_NAME_PROPERTY,
     [](const KspKeyHandle& key) { return KeyNameAnswer(key, "NCRYPT_UNIQUE_NAME_PROPERTY"); }},
    {NCRYPT_EXPORT_POLICY_PROPERTY,
     [](const KspKeyHandle&) { return LabelledDword(0, "EXPORT_POLICY", "0 - not exportable"); }},
    {NCRYPT_KEY_USAGE_PROPERTY,
     [](const KspKeyHandle&) {
       return LabelledDword(NCRYPT_ALLOW_SIGNING_FLAG, "KEY_USAGE", "SIGNING");
     }},
    {NCRYPT_KEY_TYPE_PROPERTY,
     [](const KspKeyHandle&) { return LabelledDword(0, "KEY_TYPE", "asymmetric"); }},
    {NCRYPT_BLOCK_LENGTH_PROPERTY,
     [](const KspKeyHandle& key) {
       const unsigned long block_bytes = key.keyLengthBits / 8;
       return LabelledDword(block_bytes, "BLOCK_LENGTH", KspFormat("%lu bytes", block_bytes));
     }},
};

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

// The certificate property's exit lines name the property instead of the function, and say
// the result in their detail alone: <<< NCRYPT_CERTIFICATE_PROPERTY: SUCCESS (returned 812 bytes).
constexpr ExitLineForm kCertificatePropertyExitLine{
    ExitLineForm::Start::kAfterEntryLine, ExitLineForm::Content::kDetailOnly,
    ExitLineForm::SuccessDetail::kInParentheses, ExitLineForm::Silent::kNever,
    "NCRYPT_CERTIFICATE_PROPERTY"};

// The one line of MurakoSetProviderProperty, entry and exit at once, says the result in its
// detail: >>> MurakoSetProviderProperty: property='Foo' NTE_NOT_SUPPORTED.
constexpr ExitLineForm kSetProviderPropertyExitLine{ExitLineForm::Start::kEntryAndExit,
                                                    ExitLineForm::Content::kDetailOnly};

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
      return Answer(NTE_NOT_FOUND, "Failed to open Certificate Store (error=%lu)", GetLastError());
    case CertificatePresence::kRemoved:
      return Answer(NTE_NOT_FOUND, "Certificate not found by thumbprint (error=%lu)",
                    GetLastError());
    case CertificatePresence::kPresent:
      break;
  }
  const CERT_CONTEXT* certificate = key->certificate;
  DWORD needed = certificate->cbCertEncoded;
  *result_bytes = needed;
  KspLog("    Certificate found, DER size=%lu bytes", needed);
  if (output == nullptr) return Answer(ERROR_SUCCESS, "Query size SUCCESS (size=%lu)", needed);
  if (output_bytes < needed) {
    return Answer(NTE_BUFFER_TOO_SMALL, "Buffer too small (provided=%lu, needed=%lu)",
                  output_bytes, needed);
  }
  memcpy(output, certificate->pbCertEncoded, needed);
  return Answer(ERROR_SUCCESS, "SUCCESS (returned %lu bytes)", needed);
}

// The property's name as the lines give it.
std::string LogKeyPropertyEntry(LPCWSTR name, DWORD output_bytes) {
  std::string name_text = KspLogText(name, kPropertyNameBytes);
  KspLog(">>> MurakoGetKeyProperty: property='%s', cbOutput=%lu", name_text.c_str(),
         output_bytes);
  return name_text;
}

// A request for the certificate property that the key-property checks let through.
bool IsCertificateRequest(NCRYPT_KEY_HANDLE key_handle, LPCWSTR name, const DWORD* result_bytes) {
  return KeyFromHandle(key_handle) != nullptr && result_bytes != nullptr &&
         NameIs(name, NCRYPT_CERTIFICATE_PROPERTY);
}

SlotResult GetKeyProperty(NCRYPT_KEY_HANDLE key_handle, LPCWSTR name, PBYTE output,
                          DWORD output_bytes, DWORD* result_bytes) {
  const std::string name_text = LogKeyPropertyEntry(name, output_bytes);
  const KspKeyHandle* key = KeyFromHandle(key_handle);
  if (key == nullptr) return Answer(NTE_INVALID_HANDLE);
  if (name == nullptr || result_bytes == nullptr) return Answer(NTE_INVALID_PARAMETER);
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
  // The certificate property is answered by a slot of its own, whose lines have their own form.
  if (IsCertificateRequest(hKey, pszProperty, pcbResult)) {
    return GuardSlot(
        "MurakoGetKeyProperty",
        [&] {
          LogKeyPropertyEntry(pszProperty, cbOutput);
          return GetCertificateProperty(KeyFromHandle(hKey), pbOutput, cbOutput, pcbResult);
        },
        kCertificatePropertyExitLine);
  }
  return GuardSlot("MurakoGetKeyProperty", [&] {
    return GetKeyProperty(hKey, pszProperty, pbOutput, cbOutput, pcbResult);
  });
}

SECURITY_STATUS WINAPI MurakoSetProviderProperty(NCRYPT_PROV_HANDLE /*hProvider*/,
                                                 LPCWSTR pszProperty, PBYTE /*pbInput*/,
                                                 DWORD /*cbInput*/, DWORD /*dwFlags*/) {
  return GuardSlot(
      "MurakoSetProviderProperty",
      [&] {
        std::string name_text = KspLogText(pszProperty, kPropertyNameBytes);
        // The window handle is accepted but not kept: the provider never shows a window.
        if (NameIs(pszProperty, NCRYPT_WINDOW_HANDLE_PROPERTY)) {
          return Answer(ERROR_SUCCESS, "property='%s' accepted (HWND, unused for HSM)",
                        name_text.c_str());
        }
        return Answer(NTE_NOT_SUPPORTED, "property='%s' NTE_NOT_SUPPORTED", name_text.c_str());
      },
      kSetProviderPropertyExitLine);
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
