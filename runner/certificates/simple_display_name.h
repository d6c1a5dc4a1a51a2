#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>

// The certificate's simple display name in UTF-8: the subject's, or the issuer's when `flags`
// holds CERT_NAME_ISSUER_FLAG. Empty when the certificate has none.
std::string SimpleDisplayName(PCCERT_CONTEXT context, DWORD flags);
