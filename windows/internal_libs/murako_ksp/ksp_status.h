#pragma once

// The CNG status codes the provider answers with (SECURITY_STATUS values). The debug log names
// them as written here: SUCCESS for ERROR_SUCCESS, otherwise the NTE name.

#include <windows.h>
#include <ncrypt.h>

#ifndef NTE_NO_MORE_ITEMS
#define NTE_NO_MORE_ITEMS ((SECURITY_STATUS)0x8009002AL)
#endif
#ifndef NTE_INTERNAL_ERROR
#define NTE_INTERNAL_ERROR ((SECURITY_STATUS)0x8009002DL)
#endif
