#pragma once

#include "channel_dispatch.h"

// The provider diagnostics of the native bridge channel: registration, checks, the self-test,
// library file facts, the registry verification and the provider's debug log.
namespace diagnostics {

ChannelHandler RegisterKsp, RegisterKspHKLM, CheckKspRegistration, CheckKspStatus, UnregisterKsp,
    TestKspDummy, CheckDllVersions, RegisterKspHKCU, VerifyCertutilKsp, GetKspLogs;

}  // namespace diagnostics
