#pragma once

#include <string>
#include <vector>

// Windows-side helpers shared by the test programs.

// A fresh directory under the system temporary directory, removed with its files at the end.
class ScopedTempDirectory {
 public:
  ScopedTempDirectory();
  ~ScopedTempDirectory();
  ScopedTempDirectory(const ScopedTempDirectory&) = delete;
  ScopedTempDirectory& operator=(const ScopedTempDirectory&) = delete;

  // With a trailing backslash, as GetTempPath returns it.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Points TMP and TEMP (what GetTempPath reads) at `directory` while the object lives.
class ScopedTempPathOverride {
 public:
  explicit ScopedTempPathOverride(const std::string& directory);
  ~ScopedTempPathOverride();
  ScopedTempPathOverride(const ScopedTempPathOverride&) = delete;
  ScopedTempPathOverride& operator=(const ScopedTempPathOverride&) = delete;

 private:
  std::string saved_tmp_;
  std::string saved_temp_;
};

// Removes a directory (given with its trailing backslash) and everything in it.
void RemoveDirectoryTree(const std::string& directory);
// "%ProgramData%\Murako KSP\", where service accounts keep their logs, emptied; empty when
// ProgramData is not set.
std::string EmptiedServiceLogRoot();

// One command-line argument quoted the way CommandLineToArgvW and the C runtime read it back.
std::string QuoteCommandLineArgument(const std::string& argument);

// The whole file as bytes; empty when it does not exist.
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

// Folder of the running test program, with a trailing backslash.
std::string ProgramDirectory();

struct ProcessResult {
  unsigned long exit_code = 0;
  std::string standard_output;
};

// Runs a program of the test build's folder with the given arguments and waits for it.
ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& arguments);
