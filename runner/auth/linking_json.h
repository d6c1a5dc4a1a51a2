#pragma once

#include <string>
#include <vector>

#include "murako_api_types.h"

// The user data a linking keeps in credential storage, as compact JSON with the members in
// this order. Both throw the JSON library's exception for text that is not valid UTF-8.

// {"cif":...,"dni":...,"name":...,"organization":...}
std::string UserInfoJson(const UserInfo& user);
// [{"id":...,"labels":[...],"self_url":...,"status":...},...]
std::string SignIdentitiesJson(const std::vector<SignIdentity>& identities);
