#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Runs programs that must load the CNG router stand-in: the program is copied into a private
// folder next to the stand-in DLLs it needs, and while it runs the stand-ins are also in the
// system folder, where the product's programs load them from (by full path, never from their
// own folder). Wine takes DLL overrides from the environment the test program itself was
// started with (CTest sets WINEDLLOVERRIDES="ncrypt,bcrypt=n,b"); a value set from inside a Wine
// process is not passed on. Without the override a process takes Wine's own DLLs even from
// the system folder, so only processes started with it get the stand-ins.

struct IsolatedRun {
  unsigned long exit_code = static_cast<unsigned long>(-1);
  std::string output;  // standard output, "\r\n" turned into "\n"
};

// Folder of the stand-in DLLs built next to the test programs.
std::string StandInFolder();

// A private folder holding a copy of `program` (from the test build's folder) and of the named
// stand-in DLLs; removed at the end. Run places the stand-ins in the system folder for the run
// and puts back what was there.
class IsolatedProgram {
 public:
  IsolatedProgram(const std::string& program, const std::vector<std::string>& standInDlls);
  ~IsolatedProgram();
  IsolatedProgram(const IsolatedProgram&) = delete;
  IsolatedProgram& operator=(const IsolatedProgram&) = delete;

  // `token`, when given, is the token the process runs with.
  IsolatedRun Run(const std::vector<std::string>& arguments, HANDLE token = nullptr) const;
  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
  std::string image_;
  std::vector<std::string> stand_ins_;
};

// The system directory of this prefix, with a trailing backslash.
std::string SystemFolder();

// Copies `source` to the system directory as `name` (an empty source only moves an existing
// file aside), putting back what was there before when the object goes away.
class SystemFilePlacement {
 public:
  SystemFilePlacement(const std::string& source, const std::string& name);
  ~SystemFilePlacement();
  SystemFilePlacement(const SystemFilePlacement&) = delete;
  SystemFilePlacement& operator=(const SystemFilePlacement&) = delete;

  bool placed() const { return placed_; }

 private:
  std::string target_;
  std::string backup_;
  bool placed_ = false;
};
