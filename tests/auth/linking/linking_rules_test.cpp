// The rules of account linking as values: the identity filter, the mapping labels, the stored
// user data and the login hint taken from it, and the texts and user record of the answer.
#include <gtest/gtest.h>

#include "ascii_text.h"
#include "identity_selection.h"
#include "linking_storage.h"
#include "linking_texts.h"
#include "login_hint.h"

namespace {

SignIdentity Identity(const std::string& id, std::vector<std::string> labels,
                      const std::string& status = "enabled") {
  return {id, "https://h/ids/" + id, std::move(labels), status};
}

std::vector<std::string> Ids(const IdentitySelection& selection) {
  std::vector<std::string> ids;
  for (const SignIdentity& identity : selection.selected) ids.push_back(identity.id);
  return ids;
}

const std::string kMatch = "    \xE2\x9C\x85 CIF match: ";
const std::string kMismatch = "    \xE2\x8F\xAD\xEF\xB8\x8F CIF mismatch: ";

TEST(IdentityFilter, CitizenLabelIsFoundInAnyCaseAnywhereWhateverTheStatus) {
  const IdentitySelection selection = SelectCitizenIdentities({
      Identity("upper", {"VEXO-123"}),
      Identity("short", {"vex"}),
      Identity("second-label", {"other", "x-Vexo"}),
      Identity("disabled", {"vexo"}, "disabled"),
      Identity("none", {}),
      Identity("professional", {"CIF:B12345674"}),
  });
  EXPECT_EQ(Ids(selection), (std::vector<std::string>{"upper", "second-label", "disabled"}));
  EXPECT_TRUE(selection.log_lines.empty());
}

TEST(IdentityFilter, ProfessionalLabelIsUpperCasedCutAndTrimmedBeforeAnExactCompare) {
  const IdentitySelection selection = SelectProfessionalIdentities(
      {
          Identity("spaced", {" cif: b12345678 "}),
          Identity("tabbed", {"x", "CIF:\tB12345678\t"}),
          Identity("other-cif", {"CIF:A00000000"}),
          Identity("longer", {"CIF:B123456789"}),
          Identity("prefixed", {"org CIF:B12345678"}),
          Identity("no-label", {"vexo"}),
      },
      "b12345678");
  EXPECT_EQ(Ids(selection), (std::vector<std::string>{"spaced", "tabbed", "prefixed"}));
  EXPECT_EQ(selection.log_lines,
            (std::vector<std::string>{
                kMatch + "B12345678 == B12345678", kMatch + "B12345678 == B12345678",
                kMismatch + "A00000000 != B12345678, skipping",
                kMismatch + "B123456789 != B12345678, skipping",
                kMatch + "B12345678 == B12345678"}));
}

TEST(IdentityFilter, OnlyTheFirstCifLabelDecides) {
  const IdentitySelection selection = SelectProfessionalIdentities(
      {Identity("first-wrong", {"CIF:A00000000", "CIF:B12345678"}),
       Identity("first-right", {"CIF:B12345678", "CIF:A00000000"})},
      "B12345678");
  EXPECT_EQ(Ids(selection), (std::vector<std::string>{"first-right"}));
}

TEST(IdentityFilter, AnEmptyUserCifSelectsNothingEvenAgainstAnEmptyLabel) {
  const IdentitySelection selection = SelectProfessionalIdentities(
      {Identity("bare", {"CIF:"}), Identity("blank", {"CIF:  "}), Identity("some", {"CIF:B1"})},
      "");
  EXPECT_TRUE(selection.selected.empty());
  EXPECT_EQ(selection.log_lines.front(), kMismatch + " != , skipping");
  EXPECT_EQ(selection.log_lines.size(), 3u);
}

TEST(IdentityFilter, CaseMappingLeavesNonAsciiBytesAlone) {
  EXPECT_EQ(ToUpperAscii("ca\xC3\xB1o-b1"), "CA\xC3\xB1O-B1");
  EXPECT_EQ(ToLowerAscii("\xC3\x91VEXO"), "\xC3\x91vexo");
  EXPECT_EQ(TrimBlanksAndTabs(" \t a b \t"), "a b");
  EXPECT_EQ(TrimBlanksAndTabs(" \t "), "");
}

TEST(ThumbprintMappingLabels, AreCaseSensitiveAndNeedAKnownUserType) {
  EXPECT_TRUE(HasMappingLabel(UserType::kCitizen, {"x", "my-vexo"}));
  EXPECT_FALSE(HasMappingLabel(UserType::kCitizen, {"VEXO"}));
  EXPECT_TRUE(HasMappingLabel(UserType::kProfessional, {"CIF:A1"}));
  EXPECT_FALSE(HasMappingLabel(UserType::kProfessional, {"cif:A1"}));
  EXPECT_FALSE(HasMappingLabel(UserType::kProfessional, {"vexo"}));
}

TEST(LinkingJson, UserInfoAndIdentitiesAreCompactWithTheirMembersInOrder) {
  UserInfo user{"JOS\xC3\x89 \"PEPE\" P\xC3\x89REZ", "12345678Z", "", "ACME SL",
                {Identity("a", {"vexo", "x"}), Identity("b", {}, "")}};
  EXPECT_EQ(UserInfoJson(user),
            "{\"cif\":\"\",\"dni\":\"12345678Z\",\"name\":\"JOS\xC3\x89 \\\"PEPE\\\" "
            "P\xC3\x89REZ\",\"organization\":\"ACME SL\"}");
  EXPECT_EQ(SignIdentitiesJson(user.sign_identities),
            "[{\"id\":\"a\",\"labels\":[\"vexo\",\"x\"],\"self_url\":\"https://h/ids/a\","
            "\"status\":\"enabled\"},{\"id\":\"b\",\"labels\":[],\"self_url\":\"https://h/ids/b\","
            "\"status\":\"\"}]");
  EXPECT_EQ(SignIdentitiesJson({}), "[]");
}

TEST(LinkingJson, TheStoredUserInfoGivesTheNextSignInItsLoginHint) {
  UserInfo user{"LUCIA", "12345678Z", "B1", "ORG", {}};
  LoginHintOutcome outcome = LoginHintFromStoredUserInfo(UserInfoJson(user));
  EXPECT_EQ(outcome.hint, "12345678Z");
  ASSERT_TRUE(outcome.log_line);
  EXPECT_EQ(outcome.log_line->level, LogLevel::Info);
  EXPECT_EQ(outcome.log_line->text, "  Found existing DNI for login_hint: ******78Z");

  outcome = LoginHintFromStoredUserInfo(std::string("{\"name\":\"x\"}"));
  EXPECT_EQ(outcome.hint, "");
  EXPECT_EQ(outcome.log_line->text, "  Found existing DNI for login_hint: ");

  // The parser's text, never what it quotes of the value (here the identity number).
  for (const char* broken : {"{\"dni\":", "{\"dni\":12}", "[1]", "{\"dni\":\"12345678Z"}) {
    SCOPED_TRACE(broken);
    outcome = LoginHintFromStoredUserInfo(std::string(broken));
    EXPECT_EQ(outcome.hint, "");
    ASSERT_TRUE(outcome.log_line);
    EXPECT_EQ(outcome.log_line->level, LogLevel::Warning);
    EXPECT_EQ(outcome.log_line->text.rfind("  Could not parse user info for login_hint: ", 0), 0u);
    EXPECT_EQ(outcome.log_line->text.find("[json."), std::string::npos) << outcome.log_line->text;
    EXPECT_EQ(outcome.log_line->text.find("12345678"), std::string::npos) << outcome.log_line->text;
  }
  EXPECT_FALSE(LoginHintFromStoredUserInfo(std::nullopt).log_line);
  EXPECT_FALSE(LoginHintFromStoredUserInfo(std::string()).log_line);
}

TEST(LinkingAnswer, TextsAndTheUserRecordShownToTheInterface) {
  EXPECT_EQ(InstalledCountMessage(1, 2), "1 de 2 certificados instalados");
  EXPECT_EQ(AccountLinkingResult().message, "Unknown error");

  UserInfo professional{"PEDRO", "87654321X", "B12345674", "TALLERES", {}};
  LinkedUserInfo info = LinkedUserInfoFor(professional, UserType::kProfessional);
  EXPECT_EQ(info.dni, "B12345674");
  EXPECT_EQ(info.nombre, "PEDRO");
  EXPECT_EQ(info.apellidos, "");
  EXPECT_EQ(info.tipo, "profesional");
  EXPECT_EQ(info.organizacion, "TALLERES");
  professional.cif.clear();
  EXPECT_EQ(LinkedUserInfoFor(professional, UserType::kProfessional).dni, "87654321X");
  EXPECT_EQ(LinkedUserInfoFor(UserInfo{"L", "1Z", "B9", "", {}}, UserType::kCitizen).dni, "1Z");

  EXPECT_EQ(UserInfoStoredLine(professional, false),
            "  \xE2\x9C\x85 User info stored (name: PEDRO, dni: 87654321X)");
  professional.cif = "B1";
  EXPECT_EQ(UserInfoStoredLine(professional, true),
            "  \xE2\x9C\x85 User info stored (name: PEDRO, cif: B1)");
  EXPECT_EQ(TokenNoticeText(UserType::kCitizen, 3600), "Token ciudadano (expira en 60 min)");
  EXPECT_EQ(TokenNoticeText(UserType::kProfessional, 119), "Token profesional (expira en 1 min)");
}

}  // namespace
