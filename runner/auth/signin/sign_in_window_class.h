#pragma once

#include <windows.h>

#include <string>

// The top-level window that hosts the sign-in browser: class "MurakoOAuthWindow" (arrow
// cursor, the system window colour, the program's icon 101 large and small), 800 by 800 pixels
// centred on the primary screen, owned by `parent`, shown. `procedure` receives its messages,
// WM_NCCREATE with `creation_parameter`. Null when the window cannot be created.
HWND CreateSignInWindow(HWND parent, const std::wstring& title, WNDPROC procedure,
                        void* creation_parameter);
