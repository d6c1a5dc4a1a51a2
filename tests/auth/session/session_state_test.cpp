// Session state: the validity rule with its log lines and the expiry parser's refusals as
// values, then with real credential storage whether a stored session is active and what a
// sign-out deletes and keeps (with a scripted store and with the real personal store).
#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <stdexcept>

#include "captured_log.h"
#include "cert_parser.h"
#include "cert_store_manager.h"
#include "fixture_files.h"
#include "saved_credentials.h"
#include "secure_storage.h"
#include "session_state.h"

namespace {

constexpr int64_t kNow = 1765000000;

void ExpectOneLine(const SessionValidity& validity, LogLevel level, const std::string& text) {
  ASSERT_EQ(validity.log_lines.size(), 1u);
  EXPECT_EQ(validity.log_lines[0].level, level);
  EXPECT_EQ(validity.log_lines[0].text, text);
}

TEST(SessionValidity, ActiveOnlyStrictlyBeforeTheExpirySecond) {
  const SessionValidity valid = DecideSessionValidity("token", std::to_string(kNow + 1), kNow);
  EXPECT_TRUE(valid.active);
  ExpectOneLine(valid, LogLevel::Info, "Token expiry check: VALID (remaining: 1s)");

  const SessionValidity equal = DecideSessionValidity("token", std::to_string(kNow), kNow);
  EXPECT_FALSE(equal.active);
  ExpectOneLine(equal, LogLevel::Info, "Token expiry check: EXPIRED (remaining: 0s)");

  const SessionValidity past = DecideSessionValidity("token", std::to_string(kNow - 100), kNow);
  EXPECT_FALSE(past.active);
  ExpectOneLine(past, LogLevel::Info, "Token expiry check: EXPIRED (remaining: -100s)");
}

TEST(SessionValidity, MissingTokenOrExpiryIsInactive) {
  for (const std::optional<std::string>& token : {std::optional<std::string>(),
                                                  std::optional<std::string>("")}) {
    const SessionValidity validity = DecideSessionValidity(token, std::to_string(kNow + 60), kNow);
    EXPECT_FALSE(validity.active);
    ExpectOneLine(validity, LogLevel::Info, "No access token found, session is inactive");
  }
  for (const std::optional<std::string>& expiry : {std::optional<std::string>(),
                                                   std::optional<std::string>("")}) {
    const SessionValidity validity = DecideSessionValidity("token", expiry, kNow);
    EXPECT_FALSE(validity.active);
    ExpectOneLine(validity, LogLevel::Warning, "No token expiry found, assuming expired");
  }
}

TEST(SessionValidity, ExpiryThatIsNotWhollyANumberIsInactive) {
  // A prefix that reads as a far-future number must not make the session look valid.
  const std::string future = std::to_string(kNow + 3600);
  for (const std::string& text : {std::string("soon"), future + "junk", future + " ", " " + future,
                                  future + ".5", std::string("-"), std::string("+"),
                                  std::string("0x10"), std::string("1e12")}) {
    SCOPED_TRACE(text);
    const SessionValidity validity = DecideSessionValidity("token", text, kNow);
    EXPECT_FALSE(validity.active);
    ExpectOneLine(validity, LogLevel::Warning, "Failed to parse token expiry: invalid stoll argument");
  }
  for (const std::string& text : {std::string("9223372036854775808"),
                                  std::string("-9223372036854775809"),
                                  std::string("99999999999999999999999")}) {
    SCOPED_TRACE(text);
    const SessionValidity validity = DecideSessionValidity("token", text, kNow);
    EXPECT_FALSE(validity.active);
    ExpectOneLine(validity, LogLevel::Warning,
                  "Failed to parse token expiry: stoll argument out of range");
  }
}

TEST(SessionValidity, SignedValuesAtThe64BitBoundsParseAndTheRemainderSaturates) {
  EXPECT_EQ(ParseExpirySeconds("+42").value_or(0), 42);
  EXPECT_EQ(ParseExpirySeconds("-42").value_or(0), -42);
  EXPECT_EQ(ParseExpirySeconds("007").value_or(0), 7);
  EXPECT_EQ(ParseExpirySeconds("9223372036854775807").value_or(0),
            std::numeric_limits<int64_t>::max());
  EXPECT_EQ(ParseExpirySeconds("-9223372036854775808").value_or(0),
            std::numeric_limits<int64_t>::min());

  const SessionValidity lowest = DecideSessionValidity("token", "-9223372036854775808", kNow);
  EXPECT_FALSE(lowest.active);
  ExpectOneLine(lowest, LogLevel::Info,
                "Token expiry check: EXPIRED (remaining: -9223372036854775808s)");
  const SessionValidity highest = DecideSessionValidity("token", "9223372036854775807", kNow);
  EXPECT_TRUE(highest.active);
  EXPECT_EQ(RemainingSeconds(std::numeric_limits<int64_t>::max(), -5),
            std::numeric_limits<int64_t>::max());
}

TEST(SessionKeys, SignOutDeletesTokensInOrderAndBothMappingsPerCertificate) {
  EXPECT_EQ(SessionTokenKeysInClearingOrder(),
            (std::vector<std::string>{"oauth_access_token_ciudadano", "oauth_refresh_token_ciudadano",
                                      "oauth_token_expiry_ciudadano",
                                      "oauth_access_token_profesional",
                                      "oauth_refresh_token_profesional",
                                      "oauth_token_expiry_profesional"}));
  InstalledCertificate first;
  first.thumbprint = "AA";
  InstalledCertificate second;
  second.thumbprint = "BB";
  EXPECT_EQ(ThumbprintMappingKeys({first, second}),
            (std::vector<std::string>{"sign_identity_by_thumbprint_AA", "user_type_by_thumbprint_AA",
                                      "sign_identity_by_thumbprint_BB",
                                      "user_type_by_thumbprint_BB"}));
}

std::vector<std::string> KeptKeys() {
  return {"murako_user_info_ciudadano", "murako_user_info_profesional",
          "murako_sign_identity_id_ciudadano", "murako_sign_identity_id_profesional",
          "murako_sign_identities_ciudadano", "app_locale", "murako_environment"};
}

std::vector<std::string> AllTestKeys() {
  std::vector<std::string> keys = LinkingCredentialKeys();
  for (const std::string& key : KeptKeys()) keys.push_back(key);
  for (const char* thumbprint : {"AA11", "BB22", "ORPHAN"}) {
    keys.push_back(std::string("sign_identity_by_thumbprint_") + thumbprint);
    keys.push_back(std::string("user_type_by_thumbprint_") + thumbprint);
  }
  return keys;
}

InstalledCertificate Listed(const std::string& thumbprint) {
  InstalledCertificate certificate;
  certificate.thumbprint = thumbprint;
  return certificate;
}

class SessionStorage : public ::testing::Test {
 protected:
  void Store(const std::string& key, const std::string& value) {
    ASSERT_TRUE(SecureStorage::StoreToken(key, value)) << key;
  }
  static bool Has(const std::string& key) { return SecureStorage::GetToken(key).has_value(); }

  // Both user types signed in, two certificates listed and one mapping left by an earlier one.
  void StoreFullSession() {
    for (const char* type : {"ciudadano", "profesional"}) {
      Store(std::string("oauth_access_token_") + type, "access");
      Store(std::string("oauth_refresh_token_") + type, "refresh");
      Store(std::string("oauth_token_expiry_") + type, std::to_string(kNow));
    }
    for (const std::string& key : KeptKeys()) Store(key, "kept");
    for (const char* thumbprint : {"AA11", "BB22", "ORPHAN"}) {
      Store(std::string("sign_identity_by_thumbprint_") + thumbprint, "id");
      Store(std::string("user_type_by_thumbprint_") + thumbprint, "ciudadano");
    }
  }
  SessionStore ScriptedStore(bool remove_all_result = true) {
    SessionStore store;
    store.list_certificates = [] {
      return std::vector<InstalledCertificate>{Listed("AA11"), Listed("BB22")};
    };
    store.remove_all_certificates = [this, remove_all_result] {
      ++remove_all_calls_;
      return remove_all_result;
    };
    return store;
  }

  SavedCredentials saved_{AllTestKeys()};
  int remove_all_calls_ = 0;
};

TEST_F(SessionStorage, StoredSessionIsActiveUntilItsExpirySecond) {
  const SecondsClock clock = [] { return kNow; };
  Store("oauth_access_token_ciudadano", "access");
  Store("oauth_token_expiry_ciudadano", std::to_string(kNow + 1));
  EXPECT_TRUE(IsSessionActive(UserType::kCitizen, clock));

  DebugOutputCapture capture;
  Store("oauth_token_expiry_ciudadano", std::to_string(kNow - 100));
  EXPECT_FALSE(IsSessionActive(UserType::kCitizen, clock));
  // The validity rule's line reaches the log (its texts are pinned with the rule).
  EXPECT_TRUE(LoggedExactly(capture, "INFO", "Token expiry check: EXPIRED (remaining: -100s)"));

  Store("oauth_token_expiry_ciudadano", std::to_string(kNow + 3600) + "garbage");
  EXPECT_FALSE(IsSessionActive(UserType::kCitizen, clock));

  // The user types do not share a session, and the real clock puts a 2026 expiry in the past.
  SecureStorage::DeleteToken("oauth_access_token_profesional");
  Store("oauth_token_expiry_profesional", std::to_string(kNow + 3600));
  EXPECT_FALSE(IsSessionActive(UserType::kProfessional));
  Store("oauth_access_token_profesional", "access");
  Store("oauth_token_expiry_profesional", std::to_string(CurrentUnixSeconds() + 600));
  EXPECT_TRUE(IsSessionActive(UserType::kProfessional));
}

TEST_F(SessionStorage, SignOutDeletesTokensAndListedMappingsInOrderAndKeepsTheRest) {
  StoreFullSession();
  DebugOutputCapture capture;
  EXPECT_TRUE(ClearOAuthSession(ScriptedStore()));
  EXPECT_EQ(remove_all_calls_, 1);

  for (const std::string& key : SessionTokenKeysInClearingOrder()) EXPECT_FALSE(Has(key)) << key;
  for (const char* thumbprint : {"AA11", "BB22"}) {
    EXPECT_FALSE(Has(std::string("sign_identity_by_thumbprint_") + thumbprint));
    EXPECT_FALSE(Has(std::string("user_type_by_thumbprint_") + thumbprint));
  }
  // Not in the store any more, so not found by the walk.
  EXPECT_TRUE(Has("sign_identity_by_thumbprint_ORPHAN"));
  EXPECT_TRUE(Has("user_type_by_thumbprint_ORPHAN"));
  for (const std::string& key : KeptKeys()) EXPECT_EQ(SecureStorage::GetToken(key), "kept") << key;

  const std::string deleting = "] [INFO] SecureStorage::DeleteToken - Deleting token for key: ";
  EXPECT_TRUE(LoggedInOrder(
      capture,
      {"] [INFO] clearOAuthSession called - clearing tokens and certificates",
       "] [INFO] RemoveAllMurakoCertificates - removing all Murako certs from store",
       deleting + "sign_identity_by_thumbprint_AA11", deleting + "user_type_by_thumbprint_AA11",
       deleting + "sign_identity_by_thumbprint_BB22", deleting + "user_type_by_thumbprint_BB22",
       "] [INFO] RemoveAllMurakoCertificates - removed 2 certificates",
       deleting + "oauth_access_token_ciudadano", deleting + "oauth_refresh_token_ciudadano",
       deleting + "oauth_token_expiry_ciudadano", deleting + "oauth_access_token_profesional",
       deleting + "oauth_refresh_token_profesional", deleting + "oauth_token_expiry_profesional",
       "] [INFO] OAuth tokens and certificates cleared successfully"}));

  // Signing out again, with nothing left, is still a success.
  EXPECT_TRUE(ClearOAuthSession(ScriptedStore()));
}

TEST_F(SessionStorage, SignOutGoesOnPastFailuresButDoesNotReportThemAsSuccess) {
  StoreFullSession();
  SessionStore store = ScriptedStore(false);
  store.delete_key = [](const std::string& key) {
    if (key == "oauth_refresh_token_ciudadano") return false;
    if (key == "user_type_by_thumbprint_AA11") throw std::runtime_error("credential store broke");
    return SecureStorage::DeleteToken(key);
  };
  DebugOutputCapture capture;
  EXPECT_FALSE(ClearOAuthSession(store));
  EXPECT_EQ(remove_all_calls_, 1);
  EXPECT_TRUE(Has("oauth_refresh_token_ciudadano"));
  EXPECT_TRUE(Has("user_type_by_thumbprint_AA11"));
  for (const char* key : {"oauth_access_token_ciudadano", "oauth_token_expiry_ciudadano",
                          "oauth_access_token_profesional", "oauth_refresh_token_profesional",
                          "oauth_token_expiry_profesional", "sign_identity_by_thumbprint_BB22"}) {
    EXPECT_FALSE(Has(key)) << key;
  }
  EXPECT_FALSE(LoggedContaining(capture, "OAuth tokens and certificates cleared successfully"));
  EXPECT_TRUE(LoggedExactly(
      capture, "ERROR",
      "OAuth session not fully cleared: certificates of the system remain in the store"));
  EXPECT_TRUE(LoggedExactly(capture, "ERROR",
                            "OAuth session not fully cleared: still stored: "
                            "user_type_by_thumbprint_AA11, oauth_refresh_token_ciudadano"));
}

TEST_F(SessionStorage, AccountSignOutDeletesItsTokensEvenWhenTheCertificatesStay) {
  for (const bool removal_throws : {false, true}) {
    StoreFullSession();
    Store("murako_sign_identities_ciudadano", "[]");
    SessionStore store = ScriptedStore(false);
    if (removal_throws) {
      store.remove_all_certificates = []() -> bool { throw std::runtime_error("store locked"); };
    }
    EXPECT_EQ(DeactivateAccount(UserType::kCitizen, store),
              std::optional<std::string>("Failed to remove certificates from store"));
    for (const char* key : {"oauth_access_token_ciudadano", "oauth_refresh_token_ciudadano",
                            "oauth_token_expiry_ciudadano"}) {
      EXPECT_FALSE(Has(key)) << key;
    }
    EXPECT_TRUE(Has("oauth_access_token_profesional")) << "the other account stays signed in";

    StoreFullSession();
    EXPECT_EQ(UnlinkAccount(UserType::kProfessional, store),
              std::optional<std::string>("Failed to remove certificates from store"));
    for (const char* key : {"oauth_access_token_profesional", "oauth_refresh_token_profesional",
                            "sign_identity_by_thumbprint_AA11"}) {
      EXPECT_FALSE(Has(key)) << key;
    }
    EXPECT_TRUE(Has("oauth_token_expiry_profesional")) << "unlinking keeps the expiry";
  }
  StoreFullSession();
  EXPECT_FALSE(DeactivateAccount(UserType::kCitizen, ScriptedStore(true)));
}

TEST_F(SessionStorage, SignOutEmptiesThePersonalStoreOfTheSystemsCertificates) {
  CertStoreManager::RemoveAllCertificates();
  const ValueOrReason<std::string> added = CertStoreManager::AddCertificate(
      CertParser::ParseCertificateFromDER(FixtureDer("citizen")).value(), "cit-1", "access",
      UserType::kCitizen);
  ASSERT_TRUE(added) << added.reason();
  const std::string thumbprint = *added;
  ASSERT_EQ(CertStoreManager::ListInstalledCertificates().size(), 1u);
  SavedCredentials mappings{{"sign_identity_by_thumbprint_" + thumbprint,
                             "user_type_by_thumbprint_" + thumbprint}};
  EXPECT_TRUE(Has("sign_identity_by_thumbprint_" + thumbprint));

  DebugOutputCapture capture;
  EXPECT_TRUE(ClearOAuthSession());
  EXPECT_TRUE(CertStoreManager::ListInstalledCertificates().empty());
  EXPECT_FALSE(Has("sign_identity_by_thumbprint_" + thumbprint));
  EXPECT_FALSE(Has("user_type_by_thumbprint_" + thumbprint));
  EXPECT_TRUE(LoggedExactly(capture, "INFO", "RemoveAllMurakoCertificates - removed 1 certificates"));
}

}  // namespace
