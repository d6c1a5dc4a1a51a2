#pragma once

#include "channel_dispatch.h"

// The provider diagnostics of the native bridge channel: registration, checks, the self-test,
// library file facts, the registry verification and the provider's debug log.
namespace diagnostics {

ChannelAnswer RegisterKsp(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer RegisterKspHKLM(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer CheckKspRegistration(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer CheckKspStatus(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer UnregisterKsp(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer TestKspDummy(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer CheckDllVersions(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer RegisterKspHKCU(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer VerifyCertutilKsp(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer GetKspLogs(ApplicationHost& host, const flutter::EncodableValue* arguments);

}  // namespace diagnostics
