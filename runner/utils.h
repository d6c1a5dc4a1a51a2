#pragma once

#include <string>
#include <vector>

// Attaches to the parent's console; when there is none and a debugger is present, opens a new
// console and points the standard streams at it.
void CreateAndAttachConsole();

// The process's command-line arguments after the program path, as UTF-8.
std::vector<std::string> GetCommandLineArguments();

