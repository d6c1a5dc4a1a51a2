#include "isolated_process.h"

#include <memory>
#include <sstream>

#include "test_environment.h"

namespace {

std::string NormaliseLineEnds(const std::string& text) {
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    result += text[i];
  }
  return result;
}

}  // namespace

std::string StandInFolder() { return ProgramDirectory() + "cng_router_stand_in\\"; }

std::string SystemFolder() {
  char buffer[MAX_PATH] = {};
  UINT length = GetSystemDirectoryA(buffer, MAX_PATH);
  return std::string(buffer, length) + "\\";
}

IsolatedProgram::IsolatedProgram(const std::string& program,
                                 const std::vector<std::string>& standInDlls)
    : stand_ins_(standInDlls) {
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(MAX_PATH, temp);
  static LONG counter = 0;
  std::ostringstream name;
  name << temp << "sendaro_router_" << GetCurrentProcessId() << "_"
       << InterlockedIncrement(&counter) << "\\";
  folder_ = name.str();
  CreateDirectoryA(folder_.c_str(), nullptr);
  image_ = folder_ + program;
  CopyFileA((ProgramDirectory() + program).c_str(), image_.c_str(), FALSE);
  for (const std::string& dll : standInDlls) {
    CopyFileA((StandInFolder() + dll).c_str(), (folder_ + dll).c_str(), FALSE);
  }
}

IsolatedProgram::~IsolatedProgram() { RemoveDirectoryTree(folder_); }

IsolatedRun IsolatedProgram::Run(const std::vector<std::string>& arguments, HANDLE token) const {
  IsolatedRun result;
  std::vector<std::unique_ptr<SystemFilePlacement>> placed;
  for (const std::string& dll : stand_ins_) {
    placed.push_back(std::make_unique<SystemFilePlacement>(StandInFolder() + dll, dll));
  }
  std::string commandLine = QuoteCommandLineArgument(image_);
  for (const std::string& argument : arguments) commandLine += " " + QuoteCommandLineArgument(argument);

  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return result;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process{};

  BOOL started =
      token != nullptr
          ? CreateProcessAsUserA(token, image_.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0,
                                 nullptr, folder_.c_str(), &startup, &process)
          : CreateProcessA(image_.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                           folder_.c_str(), &startup, &process);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return result;
  }
  char buffer[4096];
  DWORD read = 0;
  std::string output;
  while (ReadFile(readEnd, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    output.append(buffer, read);
  }
  CloseHandle(readEnd);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  result.exit_code = exitCode;
  result.output = NormaliseLineEnds(output);
  return result;
}

SystemFilePlacement::SystemFilePlacement(const std::string& source, const std::string& name)
    : target_(SystemFolder() + name), backup_(SystemFolder() + name + ".sendaro_test_backup") {
  if (GetFileAttributesA(target_.c_str()) != INVALID_FILE_ATTRIBUTES) {
    MoveFileExA(target_.c_str(), backup_.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
  placed_ = source.empty() || CopyFileA(source.c_str(), target_.c_str(), FALSE) != FALSE;
}

SystemFilePlacement::~SystemFilePlacement() {
  DeleteFileA(target_.c_str());
  if (GetFileAttributesA(backup_.c_str()) != INVALID_FILE_ATTRIBUTES) {
    MoveFileExA(backup_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
}
