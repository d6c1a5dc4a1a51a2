#ifndef FLUTTER_STAND_IN_BYTE_TEXT_H_
#define FLUTTER_STAND_IN_BYTE_TEXT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace flutter_stand_in {

// Lower-case hex, two digits a byte, no separators.
std::string HexFromBytes(const std::vector<uint8_t>& bytes);

// Accepts either case and ignores spaces; nullopt for an odd digit count or a non-hex char.
std::optional<std::vector<uint8_t>> BytesFromHex(const std::string& text);

// Standard alphabet with "=" padding.
std::string Base64FromBytes(const std::vector<uint8_t>& bytes);

// Standard alphabet, padding optional; nullopt for any other character.
std::optional<std::vector<uint8_t>> BytesFromBase64(const std::string& text);

}  // namespace flutter_stand_in

#endif  // FLUTTER_STAND_IN_BYTE_TEXT_H_
