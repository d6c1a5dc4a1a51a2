#include "plugin_channel.h"

#include "account_status.h"
#include "application_host.h"
#include "channel_arguments.h"
#include "guarded_entry.h"
#include "logger.h"
#include "session_state.h"
#include "sign_in_service.h"
#include "sign_in_methods.h"

using flutter::EncodableValue;

namespace {

ChannelAnswer AccountStatusAnswer(UserType type) {
  const std::optional<AccountStatus> status = ReadAccountStatus(type);
  if (!status) return ChannelAnswer::Success(Flag(false));
  return ChannelAnswer::Success(MapOf({{"nombre", Text(status->nombre)},
                                       {"dni", Text(status->dni)},
                                       {"organizacion", Text(status->organizacion)},
                                       {"sesionActiva", Flag(status->sesionActiva)}}));
}

ChannelAnswer ObtenerCertificadoCiudadano(ApplicationHost&, const EncodableValue*) {
  return AccountStatusAnswer(UserType::kCitizen);
}

ChannelAnswer ObtenerCertificadoProfesional(ApplicationHost&, const EncodableValue*) {
  return AccountStatusAnswer(UserType::kProfessional);
}

using AccountClearing = std::optional<std::string> (*)(UserType type, const SessionStore& store);

ChannelAnswer ClearAccount(ApplicationHost& host, const EncodableValue* arguments,
                           const char* failure_prefix, AccountClearing clear) {
  const CertificateKind kind = CertificateKindArgument(arguments);
  if (kind.error) return ChannelAnswer::Failure(*kind.error);
  return GuardEntry(
      [&] {
        std::optional<std::string> failure;
        if (!host.SignIn().SignOut([&] { failure = clear(kind.type, SessionStore()); },
                                   kind.type)) {
          failure = "a sign-in result is being delivered - try again";
        }
        if (!failure) return ChannelAnswer::Success(Flag(true));
        LogError(failure_prefix + *failure);
        return ChannelAnswer::Failure("ERROR", *failure);
      },
      [&](const CaughtFailure& caught) {
        LogError(failure_prefix + caught.Text());
        return ChannelAnswer::Failure("ERROR", caught.Text());
      });
}

ChannelAnswer DesactivarCertificado(ApplicationHost& host, const EncodableValue* arguments) {
  return ClearAccount(host, arguments, "Error deactivating certificate: ", DeactivateAccount);
}

ChannelAnswer DesvincularCertificado(ApplicationHost& host, const EncodableValue* arguments) {
  return ClearAccount(host, arguments, "Error unlinking certificate: ", UnlinkAccount);
}

}  // namespace

CertificateKind CertificateKindArgument(const EncodableValue* arguments) {
  const StringArguments checked =
      RequireStrings(arguments, {"tipoCertificado"}, "Missing tipoCertificado argument",
                     "tipoCertificado must be a string");
  if (checked.error) return {checked.error};
  if (const std::optional<UserType> type = UserTypeFromLabel(checked.values[0])) {
    return {std::nullopt, *type};
  }
  return {ChannelError{"INVALID_VALUE", "tipoCertificado must be CIUDADANO or PROFESIONAL"}};
}

const ChannelDefinition& PluginChannel() {
  static const ChannelDefinition channel = {"flutter_murako_jce_web_authenticator",
                                            "Plugin method called: ", {
      {"obtenerCertificadoCiudadano", ObtenerCertificadoCiudadano},
      {"obtenerCertificadoProfesional", ObtenerCertificadoProfesional},
      {"desactivarCertificado", DesactivarCertificado},
      {"desvincularCertificado", DesvincularCertificado},
      {"getCookiesInfo", sign_in_methods::GetCookiesInfo},
      {"refreshTokenWithCookies", sign_in_methods::RefreshTokenWithCookies},
  }};
  return channel;
}
