// Runs the echo host with the stand-in engine under a display: the engine's Dart side sends
// the script's messages after the first frame, waits for the deferred answer, destroys the
// window, and leaves one transcript line per answer. An answer given after the engine is gone
// is dropped (the host still ends normally), as are undecodable calls and second answers.
#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_environment.h"

namespace {

constexpr DWORD kHostTimeoutMs = 60000;

std::string HostProgram() {
  return ProgramDirectory() + "..\\flutter_stand_in_host\\flutter_stand_in_echo_host.exe";
}

// Exit code of the host, or -1 when it does not start or does not end in time.
long RunHost(const std::string& script, const std::string& transcript) {
  std::string command = "\"" + HostProgram() + "\" \"--script=" + script + "\" \"--transcript=" +
                        transcript + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  CloseHandle(process.hThread);
  DWORD exit_code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, kHostTimeoutMs) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &exit_code);
  } else {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hProcess);
  return static_cast<long>(exit_code);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    lines.push_back(line);
  }
  return lines;
}

TEST(EngineScriptTest, ScriptRunsAgainstTheHostsChannelAndTheTranscriptRecordsEachAnswer) {
  ScopedTempDirectory folder;
  const std::string script = folder.path() + "script.jsonl";
  const std::string transcript = folder.path() + "transcript.jsonl";
  std::ofstream(script, std::ios::binary)
      << R"({"channel": "test/echo", "method": "later"})" "\n"
      << R"({"channel": "test/echo", "method": "echo", "args": {"n": 7, "big": {"$int64": 5000000000}, "b": {"$bytes": "AQID"}}})" "\n"
      << R"({"channel": "test/echo", "method": "fail", "args": [1.5]})" "\n"
      << R"({"channel": "test/echo", "raw": "0301000000"})" "\n"
      << R"({"channel": "test/echo", "raw": "070961"})" "\n"
      << R"({"channel": "test/echo", "method": "textures"})" "\n"
      << "\n"
      << R"({"await": "all"})" "\n"
      << R"({"channel": "test/echo", "method": "after_engine"})" "\n"
      << R"({"window": "destroy"})" "\n"
      << R"({"channel": "test/echo", "method": "never sent"})" "\n";

  ASSERT_EQ(RunHost(script, transcript), 0);

  std::vector<std::string> lines = Lines(ReadFileBytes(transcript));
  std::vector<std::string> expected = {
      R"({"step":1,"method":"echo","reply_hex":"000d03070162080301020307036269670400f2052a0100000007016e0307000000","result":{"b":{"$bytes":"AQID"},"big":{"$int64":5000000000},"n":7}})",
      R"({"step":2,"method":"fail","reply_hex":"0107064641494c4544070d61736b656420746f206661696c0c01060000000000000000000000f83f","error":{"code":"FAILED","message":"asked to fail","details":[1.5]}})",
      R"({"step":3,"method":null,"reply_hex":"","not_implemented":true})",
      R"({"step":4,"method":null,"reply_hex":"","not_implemented":true})",
      R"({"step":5,"method":"textures","reply_hex":"000c0304ffffffffffffffff0201","result":[-1,false,true]})",
      R"({"step":0,"method":"later","reply_hex":"0007046c617465","result":"late"})",
  };
  EXPECT_EQ(lines, expected);
}

}  // namespace
