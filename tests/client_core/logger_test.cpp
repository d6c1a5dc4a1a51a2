#include "logger.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "debug_output_capture.h"
#include "log_file_rotation.h"
#include "service_log_location.h"
#include "test_environment.h"

namespace {

class LoggerTest : public ::testing::Test {
 protected:
  void TearDown() override { SetMinimumLogLevel(1); }

  std::string LogFile() const { return ReadFileBytes(temp_.path() + "murako_windows.log"); }

  ScopedTempDirectory temp_;
  ScopedTempPathOverride temp_path_{temp_.path()};
};

TEST(LogLineFormat, BracketsTimestampAndTagAroundTheMessage) {
  std::tm time{};
  time.tm_year = 126;
  time.tm_mon = 2;
  time.tm_mday = 5;
  time.tm_hour = 14;
  time.tm_min = 7;
  time.tm_sec = 9;
  EXPECT_EQ(FormatLogLine(time, "INFO", "SecureStorage::GetToken - Token not found"),
            "[2026-03-05 14:07:09] [INFO] SecureStorage::GetToken - Token not found\n");
  EXPECT_EQ(FormatLogLine(time, "ERROR", ""), "[2026-03-05 14:07:09] [ERROR] \n");
  // A message is one line whatever it carries: control characters are escaped, UTF-8 is not.
  EXPECT_EQ(FormatLogLine(time, "WARNING", "a\nb"), "[2026-03-05 14:07:09] [WARNING] a\\x0Ab\n");
  EXPECT_EQ(FormatLogLine(time, "INFO",
                          "https://h/a\r\n[x] b\t\x7F\xC2\x85\xE2\x80\xA8\xC3\xB1 \xE2\x9C\x85"),
            "[2026-03-05 14:07:09] [INFO] https://h/a\\x0D\\x0A[x] b\\x09\\x7F\\u0085\\u2028"
            "\xC3\xB1 \xE2\x9C\x85\n");
}

TEST_F(LoggerTest, WritesOneCrlfLineWithLocalTimestampAndTag) {
  LogInfo("SecureStorage::GetToken - Token not found");
  std::string file = LogFile();
  std::smatch match;
  ASSERT_TRUE(std::regex_match(
      file, match,
      std::regex(R"(\[(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})\] \[INFO\] )"
                 R"(SecureStorage::GetToken - Token not found\r\n)")))
      << file;

  SYSTEMTIME now;
  GetLocalTime(&now);
  char today[16];
  snprintf(today, sizeof(today), "%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
  EXPECT_EQ(match[1].str().substr(0, 10), today);
}

TEST_F(LoggerTest, EachLevelCarriesItsTagAndTheDebuggerSeesTheSameLine) {
  DebugOutputCapture debugger;
  LogInfo("one");
  LogWarning("two");
  LogError("three ✅ peña");

  std::vector<std::string> lines = debugger.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("] [INFO] one\n"), std::string::npos);
  EXPECT_NE(lines[1].find("] [WARNING] two\n"), std::string::npos);
  EXPECT_NE(lines[2].find("] [ERROR] three ✅ peña\n"), std::string::npos);

  std::string expected_file;
  for (const std::string& line : lines) {
    expected_file += line.substr(0, line.size() - 1) + "\r\n";
  }
  EXPECT_EQ(LogFile(), expected_file);
}

TEST_F(LoggerTest, EmbeddedLineFeedsAreEscapedAndEmptyMessagesWritten) {
  LogWarning("first\n[2026-03-05 14:07:09] [INFO] second");
  LogInfo("");
  std::string file = LogFile();
  EXPECT_TRUE(std::regex_match(
      file, std::regex(R"(\[[-0-9 :]{19}\] \[WARNING\] )"
                       R"(first\\x0A\[2026-03-05 14:07:09\] \[INFO\] second\r\n)"
                       R"(\[[-0-9 :]{19}\] \[INFO\] \r\n)")))
      << file;
}

TEST_F(LoggerTest, AppendsToAnExistingFile) {
  {
    FILE* file = nullptr;
    ASSERT_EQ(fopen_s(&file, (temp_.path() + "murako_windows.log").c_str(), "wb"), 0);
    fputs("earlier line\r\n", file);
    fclose(file);
  }
  LogInfo("later line");
  std::string file = LogFile();
  EXPECT_EQ(file.rfind("earlier line\r\n", 0), 0u) << file;
  EXPECT_NE(file.find("] [INFO] later line\r\n"), std::string::npos) << file;
}

TEST_F(LoggerTest, AFullFileBecomesTheOneOlderFileAndANewOneStarts) {
  const std::string path = temp_.path() + "murako_windows.log";
  LogInfo("first line");  // the logger now holds the file open
  std::ofstream(path + ".1", std::ios::binary) << "the oldest lines";
  const std::string first = LogFile();
  std::ofstream(path, std::ios::binary | std::ios::app)
      << std::string(kLogFileLimitBytes - first.size(), 'x');

  LogInfo("after the cap");
  const std::string older = ReadFileBytes(path + ".1");
  EXPECT_EQ(older.size(), kLogFileLimitBytes) << "the full file, whole, replacing the oldest";
  EXPECT_EQ(older.rfind(first, 0), 0u);
  const std::regex new_file(R"(\[[-0-9 :]{19}\] \[INFO\] after the cap\r\n)");
  EXPECT_TRUE(std::regex_match(LogFile(), new_file))
      << LogFile().substr(0, 200);
  LogInfo("next");
  EXPECT_NE(LogFile().find("] [INFO] next\r\n"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(path + ".1").size(), kLogFileLimitBytes);
}

// The bridge inside a service logs where the provider does: its account's protected folder,
// never the temporary folder every user can plant a link in.
TEST_F(LoggerTest, ServiceAccountsLogInTheirProtectedFolder) {
  const std::string root = EmptiedServiceLogRoot();
  ASSERT_FALSE(root.empty());
  const LogAccount system = LogAccount::LocalSystem;
  SetLogAccountForTesting(&system);
  LogInfo("a service's line");
  SetLogAccountForTesting(nullptr);
  EXPECT_NE(ReadFileBytes(root + "LocalSystem\\murako_windows.log").find("] [INFO] a service's line"),
            std::string::npos);
  EXPECT_EQ(LogFile().find("a service's line"), std::string::npos);
  LogInfo("back in the user's folder");  // closes the service log
  RemoveDirectoryTree(root);
}

TEST_F(LoggerTest, NoticesCarryTheirPrefixAtTheLevelOfTheOutcome) {
  LogOAuthNotice("Sesión iniciada", true);
  LogOAuthNotice("Error de autenticación", false);
  LogSignatureNotice("Firma completada", true);
  LogSignatureNotice("Error en firma remota (ver logs)", false);
  std::string file = LogFile();
  EXPECT_NE(file.find("] [INFO] [TOAST OAUTH] Sesión iniciada\r\n"), std::string::npos);
  EXPECT_NE(file.find("] [ERROR] [TOAST OAUTH] Error de autenticación\r\n"), std::string::npos);
  EXPECT_NE(file.find("] [INFO] [TOAST SIGNATURE] Firma completada\r\n"), std::string::npos);
  EXPECT_NE(file.find("] [ERROR] [TOAST SIGNATURE] Error en firma remota (ver logs)\r\n"),
            std::string::npos);
}

TEST_F(LoggerTest, MinimumLevelTwoHidesInfoFromBothOutputs) {
  DebugOutputCapture debugger;
  SetMinimumLogLevel(2);
  LogInfo("hidden");
  LogSignatureNotice("hidden notice", true);
  LogWarning("shown warning");
  LogError("shown error");

  std::string file = LogFile();
  EXPECT_EQ(file.find("hidden"), std::string::npos) << file;
  EXPECT_NE(file.find("[WARNING] shown warning"), std::string::npos);
  EXPECT_NE(file.find("[ERROR] shown error"), std::string::npos);
  ASSERT_EQ(debugger.Lines().size(), 2u);

  SetMinimumLogLevel(0);
  LogInfo("shown again");
  EXPECT_NE(LogFile().find("[INFO] shown again"), std::string::npos);
}

// A call's lines go out together when its outermost batch closes or is flushed, in their order
// and with their own time stamps; another thread's line meanwhile is written at once.
TEST_F(LoggerTest, ABatchHoldsItsThreadsLinesUntilTheOutermostClosesOrFlushes) {
  DebugOutputCapture debugger;
  {
    LogBatch call;
    LogInfo("one");
    {
      LogBatch nested;
      LogWarning("two");
    }
    std::thread([] { LogInfo("other thread"); }).join();
    EXPECT_EQ(LogFile().find("one"), std::string::npos);
    FlushLogBatch();
    LogError("three");
    EXPECT_EQ(LogFile().find("three"), std::string::npos);
  }
  const std::regex order(R"(\[[-0-9 :]{19}\] \[INFO\] other thread\r\n)"
                         R"(\[[-0-9 :]{19}\] \[INFO\] one\r\n\[[-0-9 :]{19}\] \[WARNING\] two\r\n)"
                         R"(\[[-0-9 :]{19}\] \[ERROR\] three\r\n)");
  EXPECT_TRUE(std::regex_match(LogFile(), order)) << LogFile();
  std::vector<std::string> messages = debugger.Lines();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_NE(messages[1].find("] [INFO] one\n["), std::string::npos);
  EXPECT_NE(messages[1].find("] [WARNING] two\n"), std::string::npos);
}

// More threads inside a call at once than the table of open batches holds: the threads left
// without a batch write their lines one at a time, and no line is lost.
TEST_F(LoggerTest, ThreadsBeyondTheOpenBatchTableStillHaveEveryLineWritten) {
  constexpr int kThreads = 140;
  std::atomic<int> inside{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      LogBatch call;
      LogInfo("batch " + std::to_string(t) + " first");
      ++inside;
      while (inside < kThreads) Sleep(1);  // every batch open at once
      LogInfo("batch " + std::to_string(t) + " second");
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::string file = LogFile();
  for (int t = 0; t < kThreads; ++t) {
    const size_t first = file.find("batch " + std::to_string(t) + " first\r\n");
    const size_t second = file.find("batch " + std::to_string(t) + " second\r\n");
    ASSERT_NE(first, std::string::npos) << t;
    ASSERT_NE(second, std::string::npos) << t;
    EXPECT_LT(first, second) << t;
  }
}

TEST_F(LoggerTest, ALongBatchReachesTheDebuggerInMessagesOfWholeLinesThatFitItsBuffer) {
  DebugOutputCapture debugger;
  {
    LogBatch call;
    for (int i = 0; i < 60; ++i) LogInfo(std::string(100, 'a' + i % 26));
    LogInfo(std::string(5000, 'z'));  // longer than a message: sent alone, whole
    for (int i = 0; i < 3; ++i) LogInfo("after");
  }
  std::vector<std::string> messages = debugger.Lines();
  ASSERT_GE(messages.size(), 4u);
  std::string joined;
  for (const std::string& message : messages) {
    EXPECT_EQ(message.back(), '\n');
    if (message.find(std::string(5000, 'z')) == std::string::npos) {
      EXPECT_LE(message.size(), 4000u);
    }
    joined += message;
  }
  std::string file = LogFile();
  for (size_t at = file.find("\r\n"); at != std::string::npos; at = file.find("\r\n", at)) {
    file.erase(at, 1);
  }
  EXPECT_EQ(joined, file);
}

// Threads of this process write for as long as two other processes do (the bridge inside
// several programs): every line arrives whole, none is written over.
TEST_F(LoggerTest, ConcurrentWritersLoseAndTearNoLine) {
  constexpr int kThreads = 4;
  constexpr int kProcesses = 2;
  constexpr int kLinesPerProcess = 1500;
  std::atomic<int> processes_running{kProcesses};
  std::atomic<long> thread_lines{0};
  std::vector<std::thread> threads;
  for (int p = 0; p < kProcesses; ++p) {
    threads.emplace_back([&] {
      RunProgram("credential_probe.exe", {"log", std::to_string(kLinesPerProcess)});
      --processes_running;
    });
  }
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 150 || processes_running > 0; ++i) {
        LogInfo("MurakoSignBridge: thread " + std::to_string(t) + " line " + std::to_string(i));
        ++thread_lines;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::string file = LogFile();
  std::regex line_pattern(
      R"(\[[-0-9 :]{19}\] \[INFO\] MurakoSignBridge: (thread|process) \d+ line \d+\r\n)");
  auto begin = std::sregex_iterator(file.begin(), file.end(), line_pattern);
  EXPECT_EQ(std::distance(begin, std::sregex_iterator()),
            thread_lines + kProcesses * kLinesPerProcess);
  size_t total = 0;
  for (auto it = std::sregex_iterator(file.begin(), file.end(), line_pattern);
       it != std::sregex_iterator(); ++it) {
    total += it->length();
  }
  EXPECT_EQ(total, file.size()) << "stray bytes between lines";
}

}  // namespace
