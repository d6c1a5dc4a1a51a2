#include "sign_in_methods.h"

#include "application_host.h"
#include "bridge_session_methods.h"
#include "channel_arguments.h"
#include "sign_in_replies.h"
#include "sign_in_service.h"

namespace sign_in_methods {
namespace {

void AnswerError(MethodResultPtr& result, const ChannelError& error) {
  MethodResultPtr held = std::move(result);
  held->Error(error.code, error.message);
}

void Link(ApplicationHost& host, UserType type, const flutter::EncodableValue* arguments,
          MethodResultPtr& result) {
  const std::optional<std::string> locale = StringArgument(arguments, "locale");
  if (locale) {
    if (auto error = CheckStoredLength("locale", *locale)) return AnswerError(result, *error);
  }
  host.SignIn().LinkCertificates(type, locale, ReplyTo(result, LinkingResultValue));
}

}  // namespace

void StartOAuth(ApplicationHost& host, const flutter::EncodableValue* arguments,
                MethodResultPtr& result) {
  const StringArguments checked = bridge_session::SignInArguments(arguments);
  if (checked.error) return AnswerError(result, *checked.error);
  host.SignIn().StartOAuth(ChannelUserType(checked.values[0]), checked.values[1],
                           ReplyTo(result, StartOAuthValue));
}

void LinkCitizen(ApplicationHost& host, const flutter::EncodableValue* arguments,
                 MethodResultPtr& result) {
  Link(host, UserType::kCitizen, arguments, result);
}

void LinkProfessional(ApplicationHost& host, const flutter::EncodableValue* arguments,
                      MethodResultPtr& result) {
  Link(host, UserType::kProfessional, arguments, result);
}

void GetCookiesInfo(ApplicationHost& host, const flutter::EncodableValue*,
                    MethodResultPtr& result) {
  host.SignIn().GetCookiesInfo(ReplyTo(result, CookieListingValue));
}

void RefreshTokenWithCookies(ApplicationHost& host, const flutter::EncodableValue* arguments,
                             MethodResultPtr& result) {
  if (const auto busy = host.SignIn().RejectConcurrentRefresh()) {
    MethodResultPtr held = std::move(result);
    held->Success(SilentRefreshValue(*busy));
    return;
  }
  const StringArguments checked = RequireStrings(
      arguments, {"userType"}, "Missing userType argument", "userType must be a string");
  if (checked.error) return AnswerError(result, *checked.error);
  if (auto error = CheckUserTypeWord(checked.values[0])) return AnswerError(result, *error);
  host.SignIn().RefreshTokenWithCookies(ChannelUserType(checked.values[0]),
                                        ReplyTo(result, SilentRefreshValue));
}

}  // namespace sign_in_methods
