#pragma once

// The program icon: window class, notification-area icon and the executable's own icon.
#define IDI_APP_ICON 101
