#include "native_bridge_channel.h"

#include "bridge_certificate_methods.h"
#include "bridge_identity_methods.h"
#include "bridge_session_methods.h"
#include "bridge_window_methods.h"
#include "diagnostics.h"
#include "sign_in_methods.h"

const ChannelDefinition& NativeBridgeChannel() {
  static const ChannelDefinition channel = {"com.murako.native_bridge", "Method called: ", {
      {"getAuthorizationUrl", bridge_session::GetAuthorizationUrl},
      {"startOAuth", sign_in_methods::StartOAuth},
      {"getStoredToken", bridge_session::GetStoredToken},
      {"deleteStoredToken", bridge_session::DeleteStoredToken},
      {"setEnvironment", bridge_session::SetEnvironment},
      {"getEnvironment", bridge_session::GetEnvironment},
      {"signData", bridge_identity::SignData},
      {"getUserInfo", bridge_identity::GetUserInfo},
      {"getStoredSignIdentityId", bridge_identity::GetStoredSignIdentityId},
      {"getStoredIdentities", bridge_identity::GetStoredIdentities},
      {"getIdentityDetails", bridge_identity::GetIdentityDetails},
      {"registerKsp", diagnostics::RegisterKsp},
      {"registerKspHKLM", diagnostics::RegisterKspHKLM},
      {"checkKspRegistration", diagnostics::CheckKspRegistration},
      {"checkKspStatus", diagnostics::CheckKspStatus},
      {"unregisterKsp", diagnostics::UnregisterKsp},
      {"installCertificate", bridge_certificates::InstallCertificate},
      {"addCertificateToStore", bridge_certificates::AddCertificateToStore},
      {"listInstalledCertificates", bridge_certificates::ListInstalledCertificates},
      {"removeCertificate", bridge_certificates::RemoveCertificate},
      {"removeAllCertificates", bridge_certificates::RemoveAllCertificates},
      {"testKspDummy", diagnostics::TestKspDummy},
      {"checkDllVersions", diagnostics::CheckDllVersions},
      {"registerKspHKCU", diagnostics::RegisterKspHKCU},
      {"verifyCertutilKsp", diagnostics::VerifyCertutilKsp},
      {"getKspLogs", diagnostics::GetKspLogs},
      {"vincularCertificadoCiudadano", sign_in_methods::LinkCitizen},
      {"vincularCertificadoProfesional", sign_in_methods::LinkProfessional},
      {"setWindowTitle", bridge_window::SetWindowTitle},
      {"clearOAuthSession", bridge_session::ClearSession},
      {"showSessionExpiredToast", bridge_window::ShowSessionExpiredToast},
      {"setLocale", bridge_window::SetLocale},
      {"setWindowSize", bridge_window::SetWindowSize},
      {"setWindowHeight", bridge_window::SetWindowHeight},
  }};
  return channel;
}
