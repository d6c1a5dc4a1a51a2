#pragma once

#include <windows.h>
#include <winhttp.h>

#include <string>
#include <vector>

#include "service_double_control.h"
#include "signing_road_support.h"

// What every signing-road benchmark starts from: a token of the service double's citizen (6,000
// characters, as real signed tokens), the mappings the application would store, and the
// certificate installed bound to the provider.
struct Setup {
  ServiceDoubleControl control;
  DoubleIdentity identity;
  std::string token;
  std::wstring key;
};

bool Prepare(Setup& setup);
void CleanUp(const Setup& setup);

double NowMs();

// The same request the bridge sends, with nothing around it: a fresh session, the same
// access type, time-outs, flags and headers. True for a 256-byte signature.
bool BarePost(const std::wstring& host, INTERNET_PORT port, const std::string& token,
              const std::string& body, DWORD access_type = WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY);

// The body of a PKCS #1 signature request for `raw` with the setup's identity.
std::string SignatureRequestBody(const Setup& setup, const std::vector<uint8_t>& raw);

// The provider's OpenKey and FreeKey through its function table, as CNG calls them.
void OpenAndFreeKey(const std::wstring& key_name);

// The certificate of `thumbprint` in the current user's personal store: open, find, close.
bool FindInPersonalStore(const std::string& thumbprint, std::vector<BYTE>* der);
