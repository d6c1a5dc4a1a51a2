// Runs in a process of its own: switching the file sink off is sticky for the whole process.
#include <gtest/gtest.h>

#include "debug_output_capture.h"
#include "logger.h"
#include "test_environment.h"

namespace {

TEST(LoggerFileSink, UnusableTempDirectorySwitchesTheFileOffForGoodButNotTheDebugger) {
  ScopedTempDirectory usable;
  DebugOutputCapture debugger;
  {
    ScopedTempPathOverride missing("C:\\sendaro-no-such-directory\\nested\\");
    ASSERT_FALSE(IsLogFileSinkDisabled());
    LogError("first line after the directory vanished");
    EXPECT_TRUE(IsLogFileSinkDisabled());
  }
  {
    ScopedTempPathOverride back(usable.path());
    LogWarning("second line with a usable directory again");
    EXPECT_TRUE(IsLogFileSinkDisabled());
    EXPECT_FALSE(FileExists(usable.path() + "murako_windows.log"));
  }
  std::vector<std::string> lines = debugger.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("[ERROR] first line after the directory vanished\n"), std::string::npos);
  EXPECT_NE(lines[1].find("[WARNING] second line with a usable directory again\n"),
            std::string::npos);
}

}  // namespace
