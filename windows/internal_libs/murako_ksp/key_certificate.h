#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "thumbprint.h"
#include "unique_handle.h"

struct KspKeyHandle;

// How a key name found its certificate.
enum class KeyMatch : DWORD { kThumbprint = 0, kContainer = 1, kCommonName = 2 };

struct KeyCertificate {
  UniqueCertContext certificate;  // belongs to the store it was found in
  Thumbprint thumbprint{};
  KeyMatch match = KeyMatch::kThumbprint;
  std::wstring matched_text;  // the container or common name that matched; empty by thumbprint
};

// The one rule by which a key name finds its certificate, applied once, when the key is
// opened: a name of 40 hexadecimal digits is a thumbprint, and any certificate of the store with
// that SHA-1 hash is the key's; any other name is the first certificate in store order whose key
// container name equals it (case-insensitive) or, among certificates with a "Murako" friendly
// name, whose subject common name equals it exactly. False when none does.
bool FindKeyCertificate(HCERTSTORE store, const wchar_t* key_name, KeyCertificate* found);

// Whether the certificate a key was opened with is still in the personal store: a key outlives
// its certificate's removal, and the questions that hand out the certificate then fail. The
// thread's last error is the store's or the search's when the answer is not kPresent.
enum class CertificatePresence { kPresent, kStoreUnavailable, kRemoved };
CertificatePresence KeyCertificatePresence(const KspKeyHandle& key);
