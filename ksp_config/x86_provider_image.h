#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Whether a file is the provider as 32-bit programs load it: a 32-bit x86 DLL that exports the
// CNG entry point. Read from the file's own headers, since a 64-bit process cannot load it.
enum class X86ProviderImage { Missing, NotX86Library, NoEntryPoint, Usable };

X86ProviderImage InspectX86ProviderImage(const std::vector<BYTE>& file);

// The file at `path` (bounded in size); Missing when it cannot be read.
X86ProviderImage InspectX86ProviderFile(const std::wstring& path);

// The provider's image in the 32-bit system folder (SysWOW64); empty on a machine without that
// folder.
std::wstring X86ProviderDllPath();
