// The custom actions msiexec calls in this library. The registration actions run deferred as
// the system account; each writes the configuration tool's lines to the installation log and
// fails the installation (which then rolls back) when the command fails.
#include <windows.h>
#include <msi.h>

#include "msi_log_output.h"
#include "provider_registration.h"
#include "webview2_runtime.h"

namespace {

UINT RunLogged(MSIHANDLE install, int (*command)(const ToolOutput&)) {
  try {
    MsiLogOutput log(install);
    return command(log) == 0 ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
  } catch (...) {
    return ERROR_INSTALL_FAILURE;
  }
}

}  // namespace

extern "C" UINT __stdcall RegisterProvider(MSIHANDLE install) {
  return RunLogged(install, RegisterKspCommand);
}

extern "C" UINT __stdcall UnregisterProvider(MSIHANDLE install) {
  return RunLogged(install, UnregisterKspCommand);
}

// Only reports: the program installs and runs without the runtime, which the sign-in needs.
extern "C" UINT __stdcall ReportWebView2Runtime(MSIHANDLE install) {
  try {
    MsiLogOutput(install).Line(DescribeWebView2Runtime(ReadWebView2Versions()));
  } catch (...) {
  }
  return ERROR_SUCCESS;
}
