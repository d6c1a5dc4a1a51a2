#pragma once

#include <exception>
#include <string>

// What an entry point caught, as text for its failure line.
class CaughtFailure {
 public:
  explicit CaughtFailure(const std::exception* error) noexcept : error_(error) {}

  bool IsStandard() const { return error_ != nullptr; }
  // what() of a standard exception, `unknown` for anything else.
  std::string Text(const char* unknown = "unknown exception") const;
  // Same, with the JSON library's "[json.exception...]" prefix and echoed input removed.
  std::string JsonText(const char* unknown = "unknown exception") const;

 private:
  const std::exception* error_;
};
