#pragma once

#include "channel_dispatch.h"

// Native bridge methods that install, list and remove the provider-bound certificates.
namespace bridge_certificates {

ChannelHandler InstallCertificate, AddCertificateToStore, ListInstalledCertificates,
    RemoveCertificate, RemoveAllCertificates;

}  // namespace bridge_certificates
