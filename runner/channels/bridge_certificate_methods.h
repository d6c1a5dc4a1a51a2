#pragma once

#include "channel_dispatch.h"

// Native bridge methods that install, list and remove the provider-bound certificates.
namespace bridge_certificates {

ChannelAnswer InstallCertificate(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer AddCertificateToStore(ApplicationHost& host,
                                    const flutter::EncodableValue* arguments);
ChannelAnswer ListInstalledCertificates(ApplicationHost& host,
                                        const flutter::EncodableValue* arguments);
ChannelAnswer RemoveCertificate(ApplicationHost& host, const flutter::EncodableValue* arguments);
ChannelAnswer RemoveAllCertificates(ApplicationHost& host,
                                    const flutter::EncodableValue* arguments);

}  // namespace bridge_certificates
