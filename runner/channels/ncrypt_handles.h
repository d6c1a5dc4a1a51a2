#pragma once

#include <windows.h>
#include <ncrypt.h>

#include "unique_handle.h"

// NCrypt provider and key handles share one type and one release function.
using NCryptObject = UniqueAny<NCRYPT_HANDLE, NCryptFreeObject>;
