#pragma once

// A stored session: whether it is still usable, and taking it down at sign-out (the system's
// certificates, their thumbprint mappings and the tokens of both user types).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "auth_vocabulary.h"
#include "cert_store_manager.h"
#include "session_validity.h"
#include "value_or_reason.h"

// ---- Active ------------------------------------------------------------------------------

// Seconds since 1970-01-01 00:00 UTC; tests substitute their own clock.
using SecondsClock = std::function<int64_t()>;

// Whether the stored session of the user type is active: an access token is stored and its
// stored expiry lies after the current second. Logs the outcome; never throws.
bool IsSessionActive(UserType type, const SecondsClock& clock = {});

// Whether an access or refresh token of the user type is stored (not empty).
bool HasStoredSession(UserType type);

// ---- What taking a session down touches --------------------------------------------------

// the system's certificates in the personal store and
// credential-storage keys. Empty members use CertStoreManager and SecureStorage.
struct SessionStore {
  std::function<std::vector<InstalledCertificate>()> list_certificates;
  std::function<bool()> remove_all_certificates;
  std::function<bool(const std::string& key)> delete_key;  // true when deleted or already absent
};

SessionStore WithSessionStoreDefaults(SessionStore store);

// ---- Removing the system's certificates --------------------------------------------------

// "sign_identity_by_thumbprint_" then "user_type_by_thumbprint_" of each certificate in turn.
std::vector<std::string> ThumbprintMappingKeys(const std::vector<InstalledCertificate>& certificates);

struct MurakoCertificateRemoval {
  int listed = 0;                        // certificates of the system found in the store
  bool certificates_removed = false;     // the store's remove-all reported every one deleted
  std::vector<std::string> kept_keys;    // mapping keys whose deletion failed
};

// Deletes the thumbprint mappings of every certificate of the system found in the personal
// store, then removes those certificates. Mappings of certificates no longer in the store are
// not found by this walk. Continues past failures; never throws.
MurakoCertificateRemoval RemoveAllMurakoCertificates(const SessionStore& store = {});

// Deletes each key in turn, continuing past failures; returns the keys that could not be
// deleted. A key that was already absent counts as deleted.
std::vector<std::string> DeleteKeys(const std::vector<std::string>& keys,
                                    const SessionStore& store);

// ---- Clearing ----------------------------------------------------------------------------

// Deletes the access token, refresh token and expiry of both user types in that order;
// returns the keys that could not be deleted.
std::vector<std::string> DeleteSessionTokens(const SessionStore& store = {});

// One account signed out from its screen, "desactivarCertificado": every certificate of the
// system leaves the store (the store's remove-all, mappings untouched), then the access token,
// refresh token and expiry of `type` are deleted, also when the removal failed. Nothing when
// all went well, else the reason (logged by the caller). Never throws.
std::optional<std::string> DeactivateAccount(UserType type, const SessionStore& store = {});

// "deleteStoredToken": the access and refresh tokens of `type`, both attempted; the expiry and
// the certificates stay. Returns the keys that could not be deleted.
std::vector<std::string> DeleteStoredTokens(UserType type, const SessionStore& store = {});

// "desvincularCertificado": RemoveAllMurakoCertificates, then the access token, refresh token
// and identity list of `type`, also when the removal failed. As DeactivateAccount.
std::optional<std::string> UnlinkAccount(UserType type, const SessionStore& store = {});

// Signs the user out: removes the system's certificates and their mappings, then deletes the
// tokens and expiry of both user types. User information, identity ids, the locale and the
// environment stay. True when everything was cleared; a failed step is logged, the others
// still run, and the answer is false. Never throws.
bool ClearOAuthSession(const SessionStore& store = {});
