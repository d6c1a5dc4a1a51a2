#include "native_bridge_channel.h"

#include "bridge_certificate_methods.h"
#include "bridge_identity_methods.h"
#include "bridge_session_methods.h"
#include "bridge_window_methods.h"
#include "diagnostics.h"
#include "sign_in_methods.h"

const std::vector<ChannelMethod>& NativeBridgeMethods() {
  static const std::vector<ChannelMethod> methods = {
      {"getAuthorizationUrl", bridge_session::GetAuthorizationUrl, nullptr},
      {"startOAuth", nullptr, sign_in_methods::StartOAuth},
      {"getStoredToken", bridge_session::GetStoredToken, nullptr},
      {"deleteStoredToken", bridge_session::DeleteStoredToken, nullptr},
      {"setEnvironment", bridge_session::SetEnvironment, nullptr},
      {"getEnvironment", bridge_session::GetEnvironment, nullptr},
      {"signData", bridge_identity::SignData, nullptr},
      {"getUserInfo", bridge_identity::GetUserInfo, nullptr},
      {"getStoredSignIdentityId", bridge_identity::GetStoredSignIdentityId, nullptr},
      {"getStoredIdentities", bridge_identity::GetStoredIdentities, nullptr},
      {"getIdentityDetails", bridge_identity::GetIdentityDetails, nullptr},
      {"registerKsp", diagnostics::RegisterKsp, nullptr},
      {"registerKspHKLM", diagnostics::RegisterKspHKLM, nullptr},
      {"checkKspRegistration", diagnostics::CheckKspRegistration, nullptr},
      {"checkKspStatus", diagnostics::CheckKspStatus, nullptr},
      {"unregisterKsp", diagnostics::UnregisterKsp, nullptr},
      {"installCertificate", bridge_certificates::InstallCertificate, nullptr},
      {"addCertificateToStore", bridge_certificates::AddCertificateToStore, nullptr},
      {"listInstalledCertificates", bridge_certificates::ListInstalledCertificates, nullptr},
      {"removeCertificate", bridge_certificates::RemoveCertificate, nullptr},
      {"removeAllCertificates", bridge_certificates::RemoveAllCertificates, nullptr},
      {"testKspDummy", diagnostics::TestKspDummy, nullptr},
      {"checkDllVersions", diagnostics::CheckDllVersions, nullptr},
      {"registerKspHKCU", diagnostics::RegisterKspHKCU, nullptr},
      {"verifyCertutilKsp", diagnostics::VerifyCertutilKsp, nullptr},
      {"getKspLogs", diagnostics::GetKspLogs, nullptr},
      {"vincularCertificadoCiudadano", nullptr, sign_in_methods::LinkCitizen},
      {"vincularCertificadoProfesional", nullptr, sign_in_methods::LinkProfessional},
      {"setWindowTitle", bridge_window::SetWindowTitle, nullptr},
      {"clearOAuthSession", bridge_session::ClearSession, nullptr},
      {"showSessionExpiredToast", bridge_window::ShowSessionExpiredToast, nullptr},
      {"setLocale", bridge_window::SetLocale, nullptr},
      {"setWindowSize", bridge_window::SetWindowSize, nullptr},
      {"setWindowHeight", bridge_window::SetWindowHeight, nullptr},
  };
  return methods;
}

std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>> CreateNativeBridgeChannel(
    flutter::BinaryMessenger* messenger, ApplicationHost& host) {
  return CreateMethodChannel(messenger, kNativeBridgeChannelName, NativeBridgeMethods(),
                             "Method called: ", host);
}
