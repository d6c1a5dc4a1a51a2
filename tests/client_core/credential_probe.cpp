// Reads values through SecureStorage, or writes log lines, in a process of its own, as the
// signing bridge does inside another program:
//   credential_probe <key>              writes the value's bytes to standard output; exits 0 when
//                                       found, 1 when absent
//   credential_probe log <count>        writes <count> log lines "MurakoSignBridge: process
//                                       <pid> line <n>", for tests of writers in several processes
//   credential_probe race <key> <map>   reads the key while another process rewrites it (see
//                                       credential_race.h), at least 10,000 times and until the
//                                       writer is done; prints what it met and exits 0 when every
//                                       read was one whole value, never older than the last
#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "credential_race.h"
#include "logger.h"
#include "secure_storage.h"
#include "string_conversion.h"

namespace {

int PrintValue(const std::string& key) {
  std::optional<std::string> value = SecureStorage::GetToken(key);
  if (!value) return 1;
  _setmode(_fileno(stdout), _O_BINARY);
  fwrite(value->data(), 1, value->size(), stdout);
  return 0;
}

int Race(const std::string& key, const std::wstring& mapping_name) {
  HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, mapping_name.c_str());
  if (mapping == nullptr) return 3;
  auto* counters = static_cast<RaceCounters*>(
      MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(RaceCounters)));
  if (counters == nullptr) return 3;
  SetMinimumLogLevel(4);  // the reads alone: 10,000 of them would fill the log
  long reads = 0, whole = 0, absent = 0, other = 0, older = 0, latest = -1;
  std::set<long> seen;
  const ULONGLONG deadline = GetTickCount64() + 300000;
  while ((reads < kRaceReads || !counters->writer_done) && GetTickCount64() < deadline) {
    std::optional<std::string> value = SecureStorage::GetToken(key);
    const long number = value ? RaceNumber(*value) : -1;
    if (!value) {
      ++absent;
    } else if (number < 0) {
      ++other;
    } else {
      ++whole;
      if (number < latest) ++older;
      latest = std::max(latest, number);
      seen.insert(number);
    }
    InterlockedIncrement(&counters->reads);
    ++reads;
  }
  std::printf("%ld reads: %ld whole, %ld absent, %ld torn or mixed, %ld older than one read "
              "before; %zu different writes seen\n",
              reads, whole, absent, other, older, seen.size());
  UnmapViewOfFile(counters);
  CloseHandle(mapping);
  return whole == reads && older == 0 ? 0 : 1;
}

}  // namespace

int main() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return 3;
  std::vector<std::wstring> words(arguments + 1, arguments + count);
  LocalFree(arguments);
  if (words.size() == 1) return PrintValue(WideToUtf8(words[0]));
  if (words.size() == 3 && words[0] == L"race") return Race(WideToUtf8(words[1]), words[2]);
  if (words.size() == 2 && words[0] == L"log") {
    const std::string process = std::to_string(GetCurrentProcessId());
    for (int line = 0; line < std::stoi(words[1]); ++line) {
      LogInfo("MurakoSignBridge: process " + process + " line " + std::to_string(line));
    }
    return 0;
  }
  return 2;
}
