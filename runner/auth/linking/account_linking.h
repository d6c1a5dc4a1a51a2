#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "auth_vocabulary.h"
#include "certificate_info.h"
#include "linking_texts.h"
#include "murako_api_client.h"
#include "value_or_reason.h"

// Where a linking puts the certificates it installs: the personal store by default.
struct LinkingCertificateStore {
  std::function<bool()> remove_all;
  // The installed certificate's thumbprint, or why it was not installed.
  std::function<ValueOrReason<std::string>(
      const CertificateInfo& certificate, const std::string& sign_identity_id,
      const std::string& oauth_token, UserType user_type)>
      add;
};

// Seams for tests; empty members use the stored environment, the REST client over WinHTTP,
// the system clock and the personal store.
struct AccountLinkingSeams {
  EnvironmentReader read_environment;
  std::function<MurakoApiClient(const std::string& base_url, const std::string& access_token)>
      create_api_client;
  std::function<int64_t()> clock;  // 100-nanosecond units since 1970-01-01 00:00 UTC
  LinkingCertificateStore store;
};

// What follows a sign-in for linking: stores the tokens and their expiry, fetches the user's
// profile and sign identities, keeps them in credential storage, picks the identities of the
// user type, downloads and parses their certificates and installs them bound to the provider,
// replacing the system's earlier certificates. The earlier certificates leave the store before
// the new ones are downloaded: none of them may stay bound to the new account's token, even
// when every download fails. Never throws.
class AccountLinking {
 public:
  explicit AccountLinking(UserType type, AccountLinkingSeams seams = {});

  // The continuation of the sign-in; an empty token is a failed sign-in.
  AccountLinkingResult OnLinkingTokenReceived(
      const std::optional<murako::OAuthToken>& token) const;

 private:
  AccountLinkingResult Link(const murako::OAuthToken& token) const;
  std::optional<UserInfo> FetchUserInfo(const MurakoApiClient& api) const;
  // The identities to install, or the answer's message as the reason there are none.
  ValueOrReason<std::vector<SignIdentity>> SelectIdentities(const UserInfo& user) const;
  // Removes the earlier certificates, then downloads, parses and installs each selected one.
  int ReplaceCertificates(const std::vector<SignIdentity>& selected,
                          const MurakoApiClient& api) const;
  // False when the tokens' environment could not be recorded (the tokens are withdrawn).
  bool StoreTokens(const murako::OAuthToken& token) const;
  void StoreUserData(const UserInfo& user) const;
  std::string ApiBaseUrl() const;
  bool InstallIdentity(const std::string& id, const MurakoApiClient& api) const;

  UserType type_;
  bool professional_;
  AccountLinkingSeams seams_;
};
