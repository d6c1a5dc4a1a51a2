// The SDK's WebView2.h includes "EventToken.h"; mingw-w64 names that header eventtoken.h, and
// the build machine's file system tells the two apart.
#pragma once

#include <eventtoken.h>
