#pragma once

#include <string>
#include <vector>

#include "session_store.h"

// Deletes the access token, refresh token and expiry of both user types in that order;
// returns the keys that could not be deleted.
std::vector<std::string> DeleteSessionTokens(const SessionStore& store = {});

// Signs the user out: removes the system's certificates and their mappings, then deletes the
// tokens and expiry of both user types. User information, identity ids, the locale and the
// environment stay. True when everything was cleared; a failed step is logged, the others
// still run, and the answer is false. Never throws.
bool ClearOAuthSession(const SessionStore& store = {});
