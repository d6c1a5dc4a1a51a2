#include "caught_failure.h"

#include "untrusted_json.h"

std::string CaughtFailure::Text(const char* unknown) const {
  return error_ != nullptr ? std::string(error_->what()) : std::string(unknown);
}

std::string CaughtFailure::JsonText(const char* unknown) const {
  return error_ != nullptr ? JsonErrorText(*error_) : std::string(unknown);
}
