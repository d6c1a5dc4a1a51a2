// transport_probe BASE_URL TOKEN: one GET of the users-me path through MurakoApiClient in a
// process of its own. Prints the client's log lines; exit code 0 when a body came back.
#include <cstdio>

#include "debug_output_capture.h"
#include "murako_api_client.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  DebugOutputCapture capture;
  bool answered = MurakoApiClient(argv[1], argv[2]).Get(kUserInfoPath).has_value();
  for (const std::string& line : capture.Lines()) std::fputs(line.c_str(), stdout);
  return answered ? 0 : 1;
}
