#pragma once

#include <string>
#include <vector>

// Attaches to the parent's console; when there is none and a debugger is present, opens a new
// console and points the standard streams at it.
void CreateAndAttachConsole();

// The process's command-line arguments after the program path, as UTF-8 (an argument that
// does not convert becomes an empty string).
std::vector<std::string> GetCommandLineArguments();

// UTF-16 to UTF-8; empty for text that does not convert.
std::string Utf8FromUtf16(const wchar_t* utf16_string);
