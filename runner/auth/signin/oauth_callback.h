#pragma once

#include <windows.h>

#include <functional>
#include <optional>

#include "auth_vocabulary.h"

// Posted (wparam 0, lparam 0) by the sign-in window to the main window when a sign-in has
// finished; the main window's handler then runs the finished sign-in's callback.
constexpr UINT WM_OAUTH_COMPLETE = WM_USER + 100;

// Receives the outcome of a sign-in; an empty optional means the flow failed.
using OAuthCallback = std::function<void(std::optional<murako::OAuthToken>)>;
