// The debug log's file kept open between lines: writers with handles of their own (as other
// processes have) lose no line, the file can be deleted while held, and a new path is followed.

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ksp_log_file.h"
#include "test_environment.h"

namespace {

constexpr int kThreadsPerHandle = 4;
constexpr int kLinesPerThread = 250;

void WriteLines(KspLogFile& file, const std::string& path, int writer) {
  for (int n = 0; n < kLinesPerThread; ++n) {
    char line[96];
    const int length = snprintf(line, sizeof(line), "writer %02d line %04d %s\n", writer, n,
                                "----------------------------------------");
    file.Append(path, line, static_cast<size_t>(length));
  }
}

TEST(KspLogFile, WritersWithTheirOwnHandlesLoseNoLineAndTheFileStaysDeletable) {
  ScopedTempDirectory directory;
  const std::string path = directory.path() + "murako_ksp_debug.log";
  KspLogFile first, second;
  std::vector<std::thread> threads;
  for (int t = 0; t < 2 * kThreadsPerHandle; ++t) {
    threads.emplace_back([&, t] { WriteLines(t % 2 == 0 ? first : second, path, t); });
  }
  for (std::thread& thread : threads) thread.join();

  const std::string text = ReadFileBytes(path);
  std::set<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = text.substr(start, end - start);
    EXPECT_EQ(line.size(), 60u) << line;
    lines.insert(line);
    start = end + 1;
  }
  EXPECT_EQ(lines.size(), static_cast<size_t>(2 * kThreadsPerHandle * kLinesPerThread));

  EXPECT_TRUE(DeleteFileA(path.c_str()));
  ScopedTempDirectory moved;
  const std::string moved_path = moved.path() + "murako_ksp_debug.log";
  first.Append(moved_path, "after the move\n", 15);
  EXPECT_EQ(ReadFileBytes(moved_path), "after the move\n");
}

}  // namespace
