#pragma once

// The texts account linking writes to the log and answers the interface, and the answer itself.

#include <cstdint>
#include <optional>
#include <string>

#include "murako_api_types.h"
#include "user_type.h"

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
