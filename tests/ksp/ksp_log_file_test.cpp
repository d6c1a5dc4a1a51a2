// The debug log's file and place: writers with handles of their own (as other processes have)
// lose no line, the file can be deleted while held, a new path is followed, a full log moves to
// one older file, a service process logs in its folder under ProgramData, and a planted link is
// never written through. (Wine derives a file's access list from its Unix mode and ignores the
// one given, so the folders' lists cannot be read back here.)

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ksp_log.h"
#include "ksp_log_file.h"
#include "service_log_location.h"
#include "test_environment.h"

namespace {

constexpr int kThreadsPerHandle = 4;
constexpr int kLinesPerThread = 250;
constexpr size_t kLineBytes = 61;

void WriteLines(KspLogFile& file, const std::string& path, int writer) {
  for (int n = 0; n < kLinesPerThread; ++n) {
    char line[96];
    const int length = snprintf(line, sizeof(line), "writer %02d line %04d %s\n", writer, n,
                                "----------------------------------------");
    file.Append(path, line, static_cast<size_t>(length));
  }
}

// Every thread of two handles writes its lines to `path`.
void WriteFromTwoHandles(KspLogFile& first, KspLogFile& second, const std::string& path) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 2 * kThreadsPerHandle; ++t) {
    threads.emplace_back([&, t] { WriteLines(t % 2 == 0 ? first : second, path, t); });
  }
  for (std::thread& thread : threads) thread.join();
}

// Adds the lines of `text` to `lines`; false when one is cut or mixed with another.
bool CollectLines(const std::string& text, std::set<std::string>& lines) {
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos || end - start != kLineBytes - 1) return false;
    lines.insert(text.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

constexpr size_t kAllLines = 2 * kThreadsPerHandle * kLinesPerThread;

TEST(KspLogFile, WritersWithTheirOwnHandlesLoseNoLineAndTheFileStaysDeletable) {
  ScopedTempDirectory directory;
  const std::string path = directory.path() + "murako_ksp_debug.log";
  KspLogFile first, second;
  WriteFromTwoHandles(first, second, path);

  std::set<std::string> lines;
  EXPECT_TRUE(CollectLines(ReadFileBytes(path), lines));
  EXPECT_EQ(lines.size(), kAllLines);

  EXPECT_TRUE(DeleteFileA(path.c_str()));
  ScopedTempDirectory moved;
  const std::string moved_path = moved.path() + "murako_ksp_debug.log";
  first.Append(moved_path, "after the move\n", 15);
  EXPECT_EQ(ReadFileBytes(moved_path), "after the move\n");
}

TEST(KspLogFile, AFullLogMovesToOneOlderFileAndEveryHandleGoesOnInTheLiveOne) {
  ScopedTempDirectory directory;
  const std::string path = directory.path() + "murako_ksp_debug.log";
  // The lines fill the cap once and a half: one move to the older file.
  const unsigned long long cap = kAllLines * kLineBytes * 2 / 3;
  KspLogFile first(cap), second(cap);
  WriteFromTwoHandles(first, second, path);

  const std::string older = ReadFileBytes(path + ".1");
  const std::string live = ReadFileBytes(path);
  EXPECT_GT(older.size(), cap - kLineBytes);
  EXPECT_LE(older.size(), cap);
  EXPECT_LE(live.size(), cap);
  std::set<std::string> lines;
  EXPECT_TRUE(CollectLines(older, lines));
  EXPECT_TRUE(CollectLines(live, lines));
  EXPECT_EQ(lines.size(), kAllLines);
}

TEST(KspLogLocation, AServiceProcessLogsInItsProtectedFolderAndNoLineFollowsAPlantedLink) {
  ScopedTempDirectory temp;
  ScopedTempPathOverride user_temp(temp.path());
  const std::string victim = temp.path() + "victim.txt";
  FILE* file = fopen(victim.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  fputs("untouched", file);
  fclose(file);
  // Another account's hard link where the log goes: a user's process does not write through it.
  ASSERT_TRUE(CreateHardLinkA((temp.path() + "murako_ksp_debug.log").c_str(), victim.c_str(),
                              nullptr));
  KspLog("a user's line");
  EXPECT_EQ(ReadFileBytes(victim), "untouched");

  const std::string root = EmptiedServiceLogRoot();
  ASSERT_FALSE(root.empty());
  const LogAccount system = LogAccount::LocalSystem;
  SetLogAccountForTesting(&system);
  KspLog("a service's line");
  const std::string service_log = root + "LocalSystem\\murako_ksp_debug.log";
  EXPECT_EQ(KspLogPath(), service_log);
  EXPECT_NE(ReadFileBytes(service_log).find("] a service's line\n"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(victim), "untouched");
  // SYSTEM laid out the other service accounts' folders too.
  const LogAccount local_service = LogAccount::LocalService;
  SetLogAccountForTesting(&local_service);
  EXPECT_EQ(KspLogPath(), root + "LocalService\\murako_ksp_debug.log");

  SetLogAccountForTesting(nullptr);
  KspLog("back in the user's folder");  // closes the service log
  RemoveDirectoryTree(root);
}

}  // namespace
