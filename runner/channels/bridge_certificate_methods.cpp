#include "bridge_certificate_methods.h"

#include <utility>

#include "cert_parser.h"
#include "cert_store_manager.h"
#include "channel_arguments.h"
#include "logger.h"
#include "secure_storage.h"
#include "storage_keys.h"

using flutter::EncodableList;
using flutter::EncodableValue;

namespace bridge_certificates {
namespace {

struct ParsedCertificate {
  std::optional<CertificateInfo> info;
  std::optional<ChannelAnswer> failure;
};

ParsedCertificate Parse(const std::string& base64) {
  const auto der = CertParser::DecodeBase64(base64);
  if (!der) {
    return {std::nullopt,
            ChannelAnswer::Failure("DECODE_FAILED", "Failed to decode base64 certificate")};
  }
  ValueOrReason<CertificateInfo> info = CertParser::ParseCertificateFromDER(*der);
  if (!info) {
    return {std::nullopt, ChannelAnswer::Failure("PARSE_FAILED", "Failed to parse certificate")};
  }
  LogInfo("Certificate parsed successfully:");
  LogInfo("  Subject CN: " + info->subjectCn);
  LogInfo("  Issuer CN: " + info->issuerCn);
  return {std::move(*info), std::nullopt};
}

// What a method that adds a certificate to the store logs and answers.
struct StoreTexts {
  const char* failure_log;
  const char* failure_message;
  const char* failure_code;
  const char* success_log;
};
constexpr StoreTexts kInstallTexts = {
    "Failed to install certificate to store",
    "Failed to install certificate to Windows Certificate Store", "INSTALL_FAILED",
    "Certificate installed successfully. Thumbprint: "};
constexpr StoreTexts kAddTexts = {"Failed to add certificate to store",
                                  "Failed to add certificate to Windows Certificate Store",
                                  "ADD_CERT_FAILED", "Certificate added successfully. Thumbprint: "};

// The store's outcome for an added certificate: the failure logged and answered, or nothing
// with the thumbprint logged.
std::optional<ChannelAnswer> StoreFailure(const ValueOrReason<std::string>& added,
                                          const StoreTexts& texts) {
  if (!added) {
    LogError(texts.failure_log);
    return ChannelAnswer::Failure(texts.failure_code, texts.failure_message);
  }
  LogInfo(texts.success_log + *added);
  return std::nullopt;
}

EncodableValue InstalledEntry(const InstalledCertificate& certificate) {
  return MapOf({{"thumbprint", Text(certificate.thumbprint)},
                {"subjectCn", Text(certificate.subjectCn)},
                {"issuerCn", Text(certificate.issuerCn)},
                {"signIdentityId", Text(certificate.signIdentityId)},
                {"hasPrivateKey", Flag(certificate.hasPrivateKey)}});
}

}  // namespace

ChannelAnswer InstallCertificate(ApplicationHost&, const EncodableValue* arguments) {
  const StringArguments checked =
      RequireStrings(arguments, {"identityId", "userType", "certificateB64"},
                     "Missing required arguments (identityId, userType, certificateB64)",
                     "Arguments must be strings");
  if (checked.error) return ChannelAnswer::Failure(*checked.error);
  if (auto error = CheckStoredLength("identityId", checked.values[0])) {
    return ChannelAnswer::Failure(*error);
  }
  const std::string& identity_id = checked.values[0];
  const UserType type = ChannelUserType(checked.values[1]);
  LogInfo("Installing certificate to Windows Certificate Store...");
  LogInfo("Identity ID: " + identity_id);
  LogInfo("User Type: " + checked.values[1]);
  LogInfo("Certificate B64 length: " + std::to_string(checked.values[2].size()));

  const auto token = SecureStorage::GetToken(LinkingStorageKeysFor(type).access_token);
  if (!token || token->empty()) {
    return ChannelAnswer::Failure("NO_TOKEN", "No access token found. Please login first.");
  }
  const ParsedCertificate parsed = Parse(checked.values[2]);
  if (parsed.failure) return *parsed.failure;

  const ValueOrReason<std::string> installed =
      CertStoreManager::AddCertificate(*parsed.info, identity_id, *token, type);
  if (auto failure = StoreFailure(installed, kInstallTexts)) {
    return *failure;
  }
  return ChannelAnswer::Success(MapOf({{"success", Flag(true)},
                                       {"thumbprint", Text(*installed)},
                                       {"subjectCn", Text(parsed.info->subjectCn)}}));
}

ChannelAnswer AddCertificateToStore(ApplicationHost&, const EncodableValue* arguments) {
  const StringArguments checked =
      RequireStrings(arguments, {"certificateData", "signIdentityId", "oauthToken"},
                     "Missing required arguments", "Arguments must be strings");
  if (checked.error) return ChannelAnswer::Failure(*checked.error);
  if (auto error = CheckStoredLength("signIdentityId", checked.values[1])) {
    return ChannelAnswer::Failure(*error);
  }
  const std::string user_type =
      StringArgument(arguments, "userType").value_or(UserTypeWord(UserType::kCitizen));
  if (auto error = CheckUserTypeWord(user_type)) return ChannelAnswer::Failure(*error);
  LogInfo("Adding certificate to Windows Certificate Store...");
  LogInfo("Sign Identity ID: " + checked.values[1]);

  const ParsedCertificate parsed = Parse(checked.values[0]);
  if (parsed.failure) return *parsed.failure;
  const ValueOrReason<std::string> added =
      CertStoreManager::AddCertificate(*parsed.info, checked.values[1], checked.values[2],
                                       ParseUserType(user_type, UserType::kCitizen));
  if (auto failure = StoreFailure(added, kAddTexts)) return *failure;
  return ChannelAnswer::Success(MapOf({{"success", Flag(true)}, {"thumbprint", Text(*added)}}));
}

ChannelAnswer ListInstalledCertificates(ApplicationHost&, const EncodableValue*) {
  LogInfo("Listing installed certificates...");
  const std::vector<InstalledCertificate> installed = CertStoreManager::ListInstalledCertificates();
  EncodableList list;
  for (const InstalledCertificate& certificate : installed) {
    list.push_back(InstalledEntry(certificate));
  }
  LogInfo("Found " + std::to_string(installed.size()) + " installed certificate(s)");
  return ChannelAnswer::Success(EncodableValue(std::move(list)));
}

ChannelAnswer RemoveCertificate(ApplicationHost&, const EncodableValue* arguments) {
  const StringArguments checked = RequireStrings(
      arguments, {"thumbprint"}, "Missing thumbprint argument", "Thumbprint must be a string");
  if (checked.error) return ChannelAnswer::Failure(*checked.error);
  LogInfo("Removing certificate with thumbprint: " + checked.values[0]);
  if (!CertStoreManager::RemoveCertificate(checked.values[0])) {
    LogError("Failed to remove certificate");
    return ChannelAnswer::Failure("REMOVE_FAILED", "Failed to remove certificate from store");
  }
  LogInfo("Certificate removed successfully");
  return ChannelAnswer::Success(Flag(true));
}

ChannelAnswer RemoveAllCertificates(ApplicationHost&, const EncodableValue*) {
  LogInfo("Removing all installed certificates...");
  if (!CertStoreManager::RemoveAllCertificates()) {
    LogError("Failed to remove all certificates");
    return ChannelAnswer::Failure("REMOVE_ALL_FAILED", "Failed to remove all certificates");
  }
  LogInfo("All certificates removed successfully");
  return ChannelAnswer::Success(Flag(true));
}

}  // namespace bridge_certificates
