#pragma once

// The rules account linking follows, apart from its flow: the texts it logs and answers, which
// sign identities it installs, the thumbprint mappings the signing bridge reads, the user data
// it keeps as JSON and the login hint a later sign-in takes from it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "auth_vocabulary.h"
#include "murako_api_client.h"
#include "murako_api_types.h"
#include "value_or_reason.h"

// ---- Texts of the log lines and answers ---------------------------------------------

// Markers and texts of the account-linking log lines and of the answers the interface shows.

namespace linking_marker {
constexpr char kCheck[] = "\xE2\x9C\x85";                     // U+2705
constexpr char kCross[] = "\xE2\x9D\x8C";                     // U+274C
constexpr char kWarning[] = "\xE2\x9A\xA0\xEF\xB8\x8F";       // U+26A0 U+FE0F
constexpr char kMemo[] = "\xF0\x9F\x93\x9D";                  // U+1F4DD
constexpr char kWastebasket[] = "\xF0\x9F\x97\x91\xEF\xB8\x8F";  // U+1F5D1 U+FE0F
constexpr char kInbox[] = "\xF0\x9F\x93\xA5";                 // U+1F4E5
constexpr char kParty[] = "\xF0\x9F\x8E\x89";                 // U+1F389
constexpr char kLock[] = "\xF0\x9F\x94\x90";                  // U+1F510
constexpr char kNextTrack[] = "\xE2\x8F\xAD\xEF\xB8\x8F";     // U+23ED U+FE0F
constexpr char kArrow[] = "\xE2\x86\x92";                     // U+2192
}  // namespace linking_marker

// Answers of a linking.
constexpr char kLinkingUnknownError[] = "Unknown error";
constexpr char kLinkingAuthenticationFailed[] =
    "Error de autenticacion. Comprueba tu conexion de red e intentalo de nuevo.";
constexpr char kLinkingUserInfoFailed[] = "Error obteniendo informaci\xC3\xB3n de usuario";
constexpr char kLinkingNoIdentities[] = "No se encontraron identidades";
constexpr char kLinkingNoCitizenCertificates[] = "No se encontraron certificados de ciudadano";
constexpr char kLinkingNoProfessionalCertificates[] =
    "No se encontraron certificados profesionales para el CIF del usuario";

// installed + " de " + total + " certificados instalados"
std::string InstalledCountMessage(int installed, int total);

// The sign-in notice after the tokens are stored: "Token ciudadano (expira en 60 min)".
std::string TokenNoticeText(UserType type, int32_t expires_in);

// "  ✅ User info stored (name: N, dni: D)"; professionals show ", cif: C" instead.
std::string UserInfoStoredLine(const UserInfo& user, bool professional);

// ---- The answer ---------------------------------------------------------------------

// What the interface is told about the linked user ("userInfo" of the answer).
struct LinkedUserInfo {
  std::string nombre;
  std::string apellidos;  // always empty
  std::string dni;        // professionals: the CIF when they have one
  std::string tipo;       // "ciudadano" or "profesional"
  std::string organizacion;
};

// The outcome of one linking, turned into the interface's answer by the channel layer.
struct AccountLinkingResult {
  bool success = false;  // at least one certificate installed
  int installed = 0;
  std::string message = kLinkingUnknownError;
  std::optional<LinkedUserInfo> userInfo;  // present only when something was installed
};

LinkedUserInfo LinkedUserInfoFor(const UserInfo& user, UserType type);

// ---- Which identities a linking installs --------------------------------------------

// Which of the user's sign identities a linking installs. Citizens: every identity with a
// label containing "vexo" in any letter case, whatever its status. Professionals: the first
// label containing "CIF:" (any case) decides; the text after it, upper-cased and trimmed of
// blanks and tabs, must equal the user's upper-cased CIF, which must not be empty.

struct IdentitySelection {
  std::vector<SignIdentity> selected;  // in list order
  std::vector<std::string> log_lines;  // Info lines, one per professional identity decided
};

IdentitySelection SelectCitizenIdentities(const std::vector<SignIdentity>& identities);
IdentitySelection SelectProfessionalIdentities(const std::vector<SignIdentity>& identities,
                                               const std::string& user_cif);

// ASCII case mapping; other bytes, UTF-8 sequences included, stay as they are.
std::string ToLowerAscii(std::string text);
std::string ToUpperAscii(std::string text);
// Removes blanks and tabs at both ends.
std::string TrimBlanksAndTabs(const std::string& text);

// ---- Thumbprint mappings ------------------------------------------------------------

// The DER of the identity's certificate as the service gives it, or why there is none (logged).
ValueOrReason<std::vector<uint8_t>> IdentityCertificateDer(const std::string& id,
                                                           const MurakoApiClient& api);

// Records, for each enabled identity of the user type, which identity and user type sign with
// its certificate: "sign_identity_by_thumbprint_" + thumbprint and "user_type_by_thumbprint_" +
// thumbprint, read by the signing bridge. Citizens need a label containing "vexo", professionals
// one containing "CIF:" (both case-sensitive; the CIF value is not compared). Returns how many
// identities got both entries. An exception with one identity is logged as "Exception while
// creating mapping for identity <id>: <reason>" and the next identity still gets its mappings.
int CreateThumbprintMappings(UserType type, const std::vector<SignIdentity>& identities,
                             const MurakoApiClient& api);

// Whether an identity's labels make it one of the user type's for the mappings.
bool HasMappingLabel(UserType type, const std::vector<std::string>& labels);

// ---- Stored user data ---------------------------------------------------------------

// The user data a linking keeps in credential storage, as compact JSON with the members in
// this order. Both throw the JSON library's exception for text that is not valid UTF-8.

// {"cif":...,"dni":...,"name":...,"organization":...}
std::string UserInfoJson(const UserInfo& user);
// [{"id":...,"labels":[...],"self_url":...,"status":...},...]
std::string SignIdentitiesJson(const std::vector<SignIdentity>& identities);

// ---- Login hint ---------------------------------------------------------------------

// The DNI a new sign-in proposes to the authorization server, taken from the user information
// an earlier linking stored for the same user type (both user types use its "dni").

struct LoginHintOutcome {
  std::string hint;  // empty when nothing usable is stored
  std::optional<TokenLogLine> log_line;
};

// From the stored "murako_user_info_<type>" value; absent or empty gives no hint and no line.
LoginHintOutcome LoginHintFromStoredUserInfo(const std::optional<std::string>& stored);

// Reads the value of the user type, writes the line, returns the hint.
std::string ReadLoginHint(UserType type);
