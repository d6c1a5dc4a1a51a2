// oauth_probe USER_TYPE CODE: one authorization-code exchange through OAuthManager in a
// process of its own, with the client secret of the stored environment, as the main program
// builds its manager. Prints the log lines; exit code 0 when a token came back.
#include <cstdio>
#include <string>

#include "debug_output_capture.h"
#include "oauth_manager.h"
#include "oauth_protocol.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  DebugOutputCapture capture;
  OAuthManager manager("", kOAuthClientId, SelectClientSecretForStoredEnvironment());
  bool obtained =
      manager.ExchangeCodeForToken(argv[2], kOAuthRedirectUri, std::stoi(argv[1])).has_value();
  for (const std::string& line : capture.Lines()) std::fputs(line.c_str(), stdout);
  return obtained ? 0 : 1;
}
