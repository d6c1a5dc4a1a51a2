// Provider and key properties: the keys present themselves as non-exportable RSA signing keys
// held in hardware, with their certificate available as the smart-card key certificate.

#include <cstring>
#include <cwchar>
#include <string>
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

// One answerable property: its value and the details of its log lines.
struct PropertyAnswer {
  std::vector<BYTE> value;
  std::string success_detail;
  std::string query_detail;
  std::string too_small_detail;  // empty: no detail
};

std::string Detail(const char* format, unsigned long value) {
  char text[128];
  snprintf(text, sizeof(text), format, value);
  return text;
}

bool ProviderPropertyAnswer(LPCWSTR name, PropertyAnswer* answer) {
  if (NameIs(name, NCRYPT_NAME_PROPERTY)) {
    answer->value = TextValue(kMurakoProviderName);
    answer->success_detail = "(returned NAME='" MURAKO_PROVIDER_NAME "')";
    answer->query_detail = Detail("(query size, NAME=%lu bytes)",
                                  static_cast<unsigned long>(sizeof(kMurakoProviderName)));
  } else if (NameIs(name, NCRYPT_IMPL_TYPE_PROPERTY)) {
    answer->value = DwordValue(NCRYPT_IMPL_HARDWARE_FLAG);
    answer->success_detail = "(IMPL_TYPE=HARDWARE)";
    answer->query_detail = Detail("(query size, IMPL_TYPE=%lu bytes)", 4);
  } else if (NameIs(name, NCRYPT_VERSION_PROPERTY)) {
    answer->value = DwordValue(0x00010000);
    answer->success_detail = Detail("(VERSION=0x%08X)", 0x00010000);
    answer->query_detail = Detail("(query size, VERSION=%lu bytes)", 4);
  } else {
    return false;
  }
  return true;
}

bool KeyPropertyAnswer(const KspKeyHandle* key, LPCWSTR name, PropertyAnswer* answer) {
  if (NameIs(name, NCRYPT_LENGTH_PROPERTY)) {
    answer->value = DwordValue(key->keyLengthBits);
    answer->success_detail = Detail("(LENGTH=%lu)", key->keyLengthBits);
    answer->query_detail = Detail("(query size, LENGTH=%lu)", 4);
  } else if (NameIs(name, NCRYPT_ALGORITHM_PROPERTY)) {
    answer->value = TextValue(L"RSA");
    answer->success_detail = "(ALGORITHM=RSA)";
    answer->query_detail = "(query size, ALGORITHM)";
  } else if (NameIs(name, NCRYPT_ALGORITHM_GROUP_PROPERTY)) {
    answer->value = TextValue(L"RSA");
    answer->success_detail = "(ALGORITHM_GROUP=RSA)";
    answer->query_detail = "(query size, ALGORITHM_GROUP)";
  } else if (NameIs(name, NCRYPT_NAME_PROPERTY) || NameIs(name, NCRYPT_UNIQUE_NAME_PROPERTY)) {
    const char* label = NameIs(name, NCRYPT_NAME_PROPERTY) ? "NCRYPT_NAME_PROPERTY"
                                                           : "NCRYPT_UNIQUE_NAME_PROPERTY";
    answer->value = TextValue(key->keyName);
    answer->success_detail =
        std::string("(") + label + "='" + KspLogText(key->keyName) + "')";
    answer->query_detail =
        "(query size, " + std::string(label) + Detail("=%lu bytes)",
                                                      static_cast<unsigned long>(answer->value.size()));
    answer->too_small_detail = std::string("(") + label + ")";
  } else if (NameIs(name, NCRYPT_EXPORT_POLICY_PROPERTY)) {
    answer->value = DwordValue(0);
    answer->success_detail = "(EXPORT_POLICY=0 - not exportable)";
    answer->query_detail = "(query size, EXPORT_POLICY)";
    answer->too_small_detail = "(EXPORT_POLICY)";
  } else if (NameIs(name, NCRYPT_KEY_USAGE_PROPERTY)) {
    answer->value = DwordValue(NCRYPT_ALLOW_SIGNING_FLAG);
    answer->success_detail = "(KEY_USAGE=SIGNING)";
    answer->query_detail = "(query size, KEY_USAGE)";
    answer->too_small_detail = "(KEY_USAGE)";
  } else if (NameIs(name, NCRYPT_KEY_TYPE_PROPERTY)) {
    answer->value = DwordValue(0);
    answer->success_detail = "(KEY_TYPE=asymmetric)";
    answer->query_detail = "(query size, KEY_TYPE)";
    answer->too_small_detail = "(KEY_TYPE)";
  } else if (NameIs(name, NCRYPT_BLOCK_LENGTH_PROPERTY)) {
    answer->value = DwordValue(key->keyLengthBits / 8);
    answer->success_detail = Detail("(BLOCK_LENGTH=%lu bytes)", key->keyLengthBits / 8);
    answer->query_detail = "(query size, BLOCK_LENGTH)";
    answer->too_small_detail = "(BLOCK_LENGTH)";
  } else {
    return false;
  }
  return true;
}

// The CNG output convention: the size always, the value when the buffer holds it.
SECURITY_STATUS AnswerProperty(const char* function, const PropertyAnswer& answer,
                               PBYTE output, DWORD output_bytes, DWORD* result_bytes) {
  DWORD needed = static_cast<DWORD>(answer.value.size());
  *result_bytes = needed;
  if (output == nullptr) {
    KspLog("<<< %s: SUCCESS %s", function, answer.query_detail.c_str());
    return ERROR_SUCCESS;
  }
  if (output_bytes < needed) {
    if (answer.too_small_detail.empty()) {
      KspLog("<<< %s: NTE_BUFFER_TOO_SMALL", function);
    } else {
      KspLog("<<< %s: NTE_BUFFER_TOO_SMALL %s", function, answer.too_small_detail.c_str());
    }
    return NTE_BUFFER_TOO_SMALL;
  }
  memcpy(output, answer.value.data(), needed);
  KspLog("<<< %s: SUCCESS %s", function, answer.success_detail.c_str());
  return ERROR_SUCCESS;
}

SECURITY_STATUS GetProviderProperty(LPCWSTR name, PBYTE output, DWORD output_bytes,
                                    DWORD* result_bytes) {
  std::string name_text = KspLogText(name, kPropertyNameBytes);
  KspLog(">>> MurakoGetProviderProperty: property='%s', pbOutput=%p, cbOutput=%lu",
         name_text.c_str(), static_cast<void*>(output), output_bytes);
  if (name == nullptr || result_bytes == nullptr) {
    KspLog("<<< MurakoGetProviderProperty: NTE_INVALID_PARAMETER");
    return NTE_INVALID_PARAMETER;
  }
  PropertyAnswer answer;
  if (!ProviderPropertyAnswer(name, &answer)) {
    KspLog("<<< MurakoGetProviderProperty: NTE_NOT_SUPPORTED (property='%s')", name_text.c_str());
    return NTE_NOT_SUPPORTED;
  }
  return AnswerProperty("MurakoGetProviderProperty", answer, output, output_bytes, result_bytes);
}

// The certificate the key was opened with, while it is still in the store.
SECURITY_STATUS GetCertificateProperty(const KspKeyHandle* key, PBYTE output, DWORD output_bytes,
                                       DWORD* result_bytes) {
  KspLog(">>> Requesting NCRYPT_CERTIFICATE_PROPERTY for key '%s'",
         KspLogText(key->keyName).c_str());
  KspLog(key->match == KeyMatch::kThumbprint
             ? "    Key name is thumbprint (40 hex chars)"
             : "    Key name is CN or KEY_CONTAINER, certificate found when the key was opened");
  switch (KeyCertificatePresence(*key)) {
    case CertificatePresence::kStoreUnavailable:
      KspLog("<<< NCRYPT_CERTIFICATE_PROPERTY: Failed to open Certificate Store (error=%lu)",
             GetLastError());
      return NTE_NOT_FOUND;
    case CertificatePresence::kRemoved:
      KspLog("<<< NCRYPT_CERTIFICATE_PROPERTY: Certificate not found by thumbprint (error=%lu)",
             GetLastError());
      return NTE_NOT_FOUND;
    case CertificatePresence::kPresent:
      break;
  }
  const CERT_CONTEXT* certificate = key->certificate;
  DWORD needed = certificate->cbCertEncoded;
  *result_bytes = needed;
  KspLog("    Certificate found, DER size=%lu bytes", needed);
  if (output == nullptr) {
    KspLog("<<< NCRYPT_CERTIFICATE_PROPERTY: Query size SUCCESS (size=%lu)", needed);
    return ERROR_SUCCESS;
  }
  if (output_bytes < needed) {
    KspLog("<<< NCRYPT_CERTIFICATE_PROPERTY: Buffer too small (provided=%lu, needed=%lu)",
           output_bytes, needed);
    return NTE_BUFFER_TOO_SMALL;
  }
  memcpy(output, certificate->pbCertEncoded, needed);
  KspLog("<<< NCRYPT_CERTIFICATE_PROPERTY: SUCCESS (returned %lu bytes)", needed);
  return ERROR_SUCCESS;
}

SECURITY_STATUS GetKeyProperty(NCRYPT_KEY_HANDLE key_handle, LPCWSTR name, PBYTE output,
                               DWORD output_bytes, DWORD* result_bytes) {
  std::string name_text = KspLogText(name, kPropertyNameBytes);
  KspLog(">>> MurakoGetKeyProperty: property='%s', cbOutput=%lu", name_text.c_str(),
         output_bytes);
  const KspKeyHandle* key = KeyFromHandle(key_handle);
  if (key == nullptr) {
    KspLog("<<< MurakoGetKeyProperty: NTE_INVALID_HANDLE");
    return NTE_INVALID_HANDLE;
  }
  if (name == nullptr || result_bytes == nullptr) {
    KspLog("<<< MurakoGetKeyProperty: NTE_INVALID_PARAMETER");
    return NTE_INVALID_PARAMETER;
  }
  if (NameIs(name, NCRYPT_CERTIFICATE_PROPERTY)) {
    return GetCertificateProperty(key, output, output_bytes, result_bytes);
  }
  PropertyAnswer answer;
  if (!KeyPropertyAnswer(key, name, &answer)) {
    KspLog("<<< MurakoGetKeyProperty: NTE_NOT_SUPPORTED (property='%s')", name_text.c_str());
    return NTE_NOT_SUPPORTED;
  }
  return AnswerProperty("MurakoGetKeyProperty", answer, output, output_bytes, result_bytes);
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
  return GuardSlot("MurakoSetProviderProperty", [&]() -> SECURITY_STATUS {
    std::string name_text = KspLogText(pszProperty, kPropertyNameBytes);
    // The window handle is accepted but not kept: the provider never shows a window.
    if (NameIs(pszProperty, NCRYPT_WINDOW_HANDLE_PROPERTY)) {
      KspLog(">>> MurakoSetProviderProperty: property='%s' accepted (HWND, unused for HSM)",
             name_text.c_str());
      return ERROR_SUCCESS;
    }
    KspLog(">>> MurakoSetProviderProperty: property='%s' NTE_NOT_SUPPORTED", name_text.c_str());
    return NTE_NOT_SUPPORTED;
  });
}

SECURITY_STATUS WINAPI MurakoSetKeyProperty(NCRYPT_PROV_HANDLE /*hProvider*/,
                                            NCRYPT_KEY_HANDLE /*hKey*/, LPCWSTR pszProperty,
                                            PBYTE /*pbInput*/, DWORD cbInput, DWORD /*dwFlags*/) {
  return GuardSlot("MurakoSetKeyProperty", [&]() -> SECURITY_STATUS {
    std::string name_text = KspLogText(pszProperty, kPropertyNameBytes);
    KspLog(">>> MurakoSetKeyProperty: property='%s', cbInput=%lu", name_text.c_str(), cbInput);
    if (NameIs(pszProperty, NCRYPT_WINDOW_HANDLE_PROPERTY)) {
      KspLog("<<< MurakoSetKeyProperty: SUCCESS (WINDOW_HANDLE accepted, unused for HSM)");
      return ERROR_SUCCESS;
    }
    KspLog("<<< MurakoSetKeyProperty: NTE_NOT_SUPPORTED (property='%s')", name_text.c_str());
    return NTE_NOT_SUPPORTED;
  });
}
