#pragma once

#include <windows.h>
#include <winhttp.h>

#include "unique_handle.h"

// Owns one WinHTTP handle (session, connection or request) and closes it on every path.
// Declare session, connection and request in that order so they close in reverse.
using WinHttpHandle = UniqueAny<HINTERNET, WinHttpCloseHandle>;
