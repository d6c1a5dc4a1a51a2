#pragma once

#include <string>
#include <vector>

#include "session_store.h"

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
