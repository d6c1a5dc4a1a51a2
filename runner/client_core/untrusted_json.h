#pragma once

// JSON that comes from a server or from credential storage. The JSON library's parser keeps
// its own stack on the heap, but serialising, copying and comparing a document recurse once
// per level, so such a document is refused beyond a nesting limit before anything walks it.

#include <optional>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

// Arrays and objects nested deeper than this make the document unreadable.
constexpr int kMaxJsonNesting = 64;

// What ParseUntrustedJson throws for a document nested deeper than kMaxJsonNesting.
class JsonNestingError : public std::runtime_error {
 public:
  JsonNestingError();
};

// Parses `text` strictly. Throws the JSON library's exception for text that is not one JSON
// document (parse_error, or out_of_range for a number beyond the range of a double), and
// JsonNestingError for one nested too deeply.
nlohmann::json ParseUntrustedJson(const std::string& text);

// The text of an exception for the log, where the exception may come from reading untrusted
// JSON: the JSON library's text without its "[json.exception.kind.number] " prefix and without
// the excerpt of the input it quotes ("last read: '...'", "parsing '...'"), which may be part of
// a token; any other exception's text as it is.
std::string JsonErrorText(const std::exception& error);

// Member `name` of `object` as a string: nothing when `object` is not an object or the member
// is absent or null; the JSON library's type_error when it is of another kind.
std::optional<std::string> OptionalStringMember(const nlohmann::json& object, const char* name);
