#pragma once

#include <string>

// The commands of MurakoKspConfig, which registers the Murako KSP provider with CNG through
// the BCrypt configuration functions, removes it, checks it and lists the registered providers.
enum class ToolCommand { Register, Unregister, Check, Enum, Unknown, None };

// The first argument, compared without regard to case; null means no argument.
ToolCommand ParseToolCommand(const wchar_t* argument);

// Runs the tool on its command line and returns the process exit code.
int RunKspConfigTool(int argc, wchar_t** argv);
