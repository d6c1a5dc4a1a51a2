#pragma once

#include <windows.h>

#include <functional>
#include <optional>

#include "auth_vocabulary.h"

// Posted by the sign-in window to the main window when a sign-in has finished, its wparam
// naming the flow (lparam 0); the main window's handler then runs that flow's callback.
constexpr UINT WM_OAUTH_COMPLETE = WM_USER + 100;

// Receives the outcome of a sign-in; an empty optional means the flow failed.
using OAuthCallback = std::function<void(std::optional<murako::OAuthToken>)>;
