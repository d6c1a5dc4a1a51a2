#include "fixture_files.h"

#include "test_environment.h"

namespace {

std::string FixturePath(const std::string& file) {
  return ProgramDirectory() + "certificate_fixtures\\" + file;
}

}  // namespace

std::vector<uint8_t> FixtureDer(const std::string& stem) {
  std::string bytes = ReadFileBytes(FixturePath(stem + ".der"));
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::string FixtureBase64(const std::string& stem) { return ReadFileBytes(FixturePath(stem + ".b64")); }

bool LogHasLine(const std::string& directory, const std::string& tag, const std::string& message) {
  std::string log = ReadFileBytes(directory + "murako_windows.log");
  return log.find("] [" + tag + "] " + message + "\r\n") != std::string::npos;
}
