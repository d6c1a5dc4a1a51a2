#include "plugin_channel.h"

#include <exception>
#include <stdexcept>

#include "account_status.h"
#include "channel_arguments.h"
#include "logger.h"
#include "session_state.h"
#include "secure_storage.h"
#include "sign_in_methods.h"

using flutter::EncodableValue;

namespace {

ChannelAnswer AccountStatusAnswer(const std::string& user_type) {
  const std::optional<AccountStatus> status = ReadAccountStatus(user_type);
  if (!status) return ChannelAnswer::Success(Flag(false));
  return ChannelAnswer::Success(MapOf({{"nombre", Text(status->nombre)},
                                       {"dni", Text(status->dni)},
                                       {"organizacion", Text(status->organizacion)},
                                       {"sesionActiva", Flag(status->sesionActiva)}}));
}

ChannelAnswer ObtenerCertificadoCiudadano(ApplicationHost&, const EncodableValue*) {
  return AccountStatusAnswer("ciudadano");
}

ChannelAnswer ObtenerCertificadoProfesional(ApplicationHost&, const EncodableValue*) {
  return AccountStatusAnswer("profesional");
}

// Deletes every key, continuing past failures; throws naming the first key left behind, so that
// the account is not reported as cleared while a token stays.
void DeleteAll(const std::vector<std::string>& keys) {
  std::string kept;
  for (const std::string& key : keys) {
    if (!SecureStorage::DeleteToken(key) && kept.empty()) kept = key;
  }
  if (!kept.empty()) throw std::runtime_error("Failed to delete " + kept);
}

ChannelAnswer ClearAccount(const EncodableValue* arguments, const char* failure_prefix,
                           void (*clear)(const std::string& user_type)) {
  const CertificateKind kind = CertificateKindArgument(arguments);
  if (kind.error) return ChannelAnswer::Failure(*kind.error);
  try {
    clear(kind.user_type);
    return ChannelAnswer::Success(Flag(true));
  } catch (const std::exception& error) {
    LogError(failure_prefix + std::string(error.what()));
    return ChannelAnswer::Failure("ERROR", error.what());
  }
}

void Deactivate(const std::string& type) {
  LogInfo("Desactivar " + type +
          " certificate (clear session AND remove certificates from cert store)");
  if (!CertStoreManager::RemoveAllCertificates()) {
    throw std::runtime_error("Failed to remove certificates from store");
  }
  DeleteAll(
      {"oauth_access_token_" + type, "oauth_refresh_token_" + type, "oauth_token_expiry_" + type});
  LogInfo("Successfully deactivated " + type +
          " certificate (tokens cleared, certificates removed from store)");
}

void Unlink(const std::string& type) {
  LogInfo("Desvincular " + type + " certificates");
  const MurakoCertificateRemoval removal = RemoveAllMurakoCertificates();
  if (!removal.certificates_removed) {
    throw std::runtime_error("Failed to remove certificates from store");
  }
  DeleteAll({"oauth_access_token_" + type, "oauth_refresh_token_" + type,
             "murako_sign_identities_" + type});
  LogInfo("Successfully unlinked " + type + " certificates");
}

ChannelAnswer DesactivarCertificado(ApplicationHost&, const EncodableValue* arguments) {
  return ClearAccount(arguments, "Error deactivating certificate: ", Deactivate);
}

ChannelAnswer DesvincularCertificado(ApplicationHost&, const EncodableValue* arguments) {
  return ClearAccount(arguments, "Error unlinking certificate: ", Unlink);
}

}  // namespace

CertificateKind CertificateKindArgument(const EncodableValue* arguments) {
  const StringArguments checked =
      RequireStrings(arguments, {"tipoCertificado"}, "Missing tipoCertificado argument",
                     "tipoCertificado must be a string");
  if (checked.error) return {checked.error, ""};
  if (checked.values[0] == "CIUDADANO") return {std::nullopt, "ciudadano"};
  if (checked.values[0] == "PROFESIONAL") return {std::nullopt, "profesional"};
  return {ChannelError{"INVALID_VALUE", "tipoCertificado must be CIUDADANO or PROFESIONAL"}, ""};
}

const std::vector<ChannelMethod>& PluginMethods() {
  static const std::vector<ChannelMethod> methods = {
      {"obtenerCertificadoCiudadano", ObtenerCertificadoCiudadano, nullptr},
      {"obtenerCertificadoProfesional", ObtenerCertificadoProfesional, nullptr},
      {"desactivarCertificado", DesactivarCertificado, nullptr},
      {"desvincularCertificado", DesvincularCertificado, nullptr},
      {"getCookiesInfo", nullptr, sign_in_methods::GetCookiesInfo},
      {"refreshTokenWithCookies", nullptr, sign_in_methods::RefreshTokenWithCookies},
  };
  return methods;
}

std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>> CreatePluginChannel(
    flutter::BinaryMessenger* messenger, ApplicationHost& host) {
  return CreateMethodChannel(messenger, kPluginChannelName, PluginMethods(),
                             "Plugin method called: ", host);
}
