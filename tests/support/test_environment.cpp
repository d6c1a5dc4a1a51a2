#include "test_environment.h"

#include <windows.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "string_conversion.h"

namespace {

std::string EnvironmentValue(const char* name) {
  char buffer[MAX_PATH * 4] = {};
  DWORD length = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
  return std::string(buffer, length < sizeof(buffer) ? length : 0);
}

void SetEnvironmentValue(const char* name, const std::string& value) {
  SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
}

std::string SystemTempPath() {
  char buffer[MAX_PATH + 1] = {};
  DWORD length = GetTempPathA(MAX_PATH, buffer);
  return std::string(buffer, length);
}

struct HandleOwner {
  HANDLE handle = nullptr;
  ~HandleOwner() {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

}  // namespace

void RemoveDirectoryTree(const std::string& directory) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((directory + "*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string full = directory + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryTree(full + "\\");
      } else {
        SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(full.c_str());
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(directory.c_str());
}

std::string EmptiedServiceLogRoot() {
  char program_data[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableA("ProgramData", program_data, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  const std::string root = std::string(program_data) + "\\Murako KSP\\";
  RemoveDirectoryTree(root);
  return root;
}

// Quotes one argument the way CommandLineToArgvW and the C runtime read it back.
std::string QuoteCommandLineArgument(const std::string& argument) {
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') backslashes = backslashes * 2 + 1;
    quoted.append(backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

ScopedTempDirectory::ScopedTempDirectory() {
  static LONG counter = 0;
  std::ostringstream name;
  name << SystemTempPath() << "sendaro_test_" << GetCurrentProcessId() << "_"
       << InterlockedIncrement(&counter) << "_" << GetTickCount() << "\\";
  path_ = name.str();
  CreateDirectoryA(path_.c_str(), nullptr);
}

ScopedTempDirectory::~ScopedTempDirectory() { RemoveDirectoryTree(path_); }

ScopedTempPathOverride::ScopedTempPathOverride(const std::string& directory)
    : saved_tmp_(EnvironmentValue("TMP")), saved_temp_(EnvironmentValue("TEMP")) {
  SetEnvironmentValue("TMP", directory);
  SetEnvironmentValue("TEMP", directory);
}

ScopedTempPathOverride::~ScopedTempPathOverride() {
  SetEnvironmentValue("TMP", saved_tmp_);
  SetEnvironmentValue("TEMP", saved_temp_);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ProgramDirectory() {
  char buffer[MAX_PATH * 4] = {};
  DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof(buffer));
  std::string path(buffer, length);
  return path.substr(0, path.find_last_of("\\/") + 1);
}

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
  std::string image = ProgramDirectory() + program;
  std::string command_line = QuoteCommandLineArgument(image);
  for (const std::string& argument : arguments) {
    command_line += " " + QuoteCommandLineArgument(argument);
  }

  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HandleOwner read_end, write_end;
  ProcessResult result;
  result.exit_code = static_cast<unsigned long>(-1);
  if (!CreatePipe(&read_end.handle, &write_end.handle, &inheritable, 0)) return result;
  SetHandleInformation(read_end.handle, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end.handle;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process{};
  std::wstring wide_image = Utf8ToWide(image);
  std::wstring wide_command_line = Utf8ToWide(command_line);
  if (!CreateProcessW(wide_image.c_str(), &wide_command_line[0], nullptr, nullptr, TRUE, 0,
                      nullptr, nullptr, &startup, &process)) {
    return result;
  }
  HandleOwner process_handle{process.hProcess}, thread_handle{process.hThread};
  CloseHandle(write_end.handle);
  write_end.handle = nullptr;

  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(read_end.handle, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    result.standard_output.append(buffer, read);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exit_code = 0;
  GetExitCodeProcess(process.hProcess, &exit_code);
  result.exit_code = exit_code;
  return result;
}
