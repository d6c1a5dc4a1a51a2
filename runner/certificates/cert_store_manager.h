#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <string>
#include <vector>

#include "certificate_info.h"
#include "user_type.h"
#include "value_or_reason.h"

// One of the system's certificates found in the personal store.
struct InstalledCertificate {
  std::string thumbprint;
  std::string subjectCn;
  std::string issuerCn;
  std::string signIdentityId;
  std::string oauthToken;
  bool hasPrivateKey = false;
};

// Installs the user's remote-signing certificates into the current user's personal store,
// bound to the Murako KSP provider under their thumbprint, and removes them again. The
// system's certificates are the ones whose friendly name begins with "Murako - ".
class CertStoreManager {
 public:
  // The SHA-1 thumbprint in upper-case hexadecimal, or why it could not be computed.
  static ValueOrReason<std::string> CalculateThumbprint(const std::vector<uint8_t>& der);
  // The installed certificate's thumbprint, or why it was not installed (each failure is also
  // logged). Never throws.
  static ValueOrReason<std::string> AddCertificate(const CertificateInfo& certificate,
                                                   const std::string& signIdentityId,
                                                   const std::string& oauthToken,
                                                   UserType userType);
  static bool SetKspProperty(PCCERT_CONTEXT context, const std::string& providerName,
                             const std::string& keyName);
  static std::vector<InstalledCertificate> ListInstalledCertificates();
  static bool RemoveCertificate(const std::string& thumbprint);
  static bool RemoveAllCertificates();
};

// True when a failed CERT_KEY_SPEC_PROP_ID write must stop the binding. Windows always sets a
// reason; a failure without one is a platform that does not keep that property (Wine), where
// the KeySpec value still travels in the key-provider information.
bool KeySpecWriteFailureIsFatal(DWORD lastError);
