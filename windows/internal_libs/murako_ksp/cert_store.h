#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "personal_store.h"
#include "thumbprint.h"
#include "unique_handle.h"

// The certificate questions the provider asks of the current user's personal store.

// The "MY" system store of the current user, kept open (see cert_store.cpp) and up to date; null
// on failure. The handle is the caller's to close.
HCERTSTORE OpenPersonalStore();

// For the library's entry point at process exit, before the runtime destroys the library's
// objects: the store kept open is given up without closing it, since crypt32 may already be
// detached by then (the process's end releases it). An unload by FreeLibrary still closes it.
void AbandonPersonalStoreAtProcessExit();

// How the store kept open learns of changes, chosen at the first open and logged once.
enum class PersonalStoreWatch { None, Notification, Registry, OpenEveryCall };
PersonalStoreWatch CurrentPersonalStoreWatch();

// Tests only (the library exports nothing of it): the CertControlStore the kept store is armed
// and resynchronised through, null for the system's; the store is chosen again at the next open.
using CertControlStoreFn = BOOL(WINAPI*)(HCERTSTORE, DWORD, DWORD, const void*);
void SetCertControlStoreForTesting(CertControlStoreFn control);

// True when the friendly name contains "Murako" (case-sensitive). A friendly name that does not
// fit 512 bytes counts as absent.
bool HasMurakoFriendlyName(PCCERT_CONTEXT certificate);

// First common name of the subject; empty when there is none.
std::wstring SubjectCommonName(PCCERT_CONTEXT certificate);

// Container name of the key-provider information; empty when absent.
std::wstring KeyContainerName(PCCERT_CONTEXT certificate);

// The SHA-1 thumbprint property.
bool ReadThumbprint(PCCERT_CONTEXT certificate, Thumbprint* thumbprint);
