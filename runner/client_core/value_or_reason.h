#pragma once

#include <optional>
#include <string>
#include <utility>

// Why an operation has no result: the text its log line or answer carries.
struct Reason {
  std::string text;
};

// A result, or the reason there is none. Failures travel as values: a function returns
// `Reason{"..."}` where it would otherwise fill an out-parameter or only log why it failed.
template <typename T>
class ValueOrReason {
 public:
  ValueOrReason(T value) : value_(std::move(value)) {}  // NOLINT: a result converts implicitly
  ValueOrReason(Reason reason) : reason_(std::move(reason.text)) {}  // NOLINT: so does a reason

  bool has_value() const { return value_.has_value(); }
  explicit operator bool() const { return has_value(); }

  // Only with has_value().
  const T& value() const& { return *value_; }
  T& value() & { return *value_; }
  T&& value() && { return std::move(*value_); }
  const T& operator*() const& { return *value_; }
  T& operator*() & { return *value_; }
  const T* operator->() const { return &*value_; }
  T* operator->() { return &*value_; }

  T value_or(T fallback) const { return value_ ? *value_ : std::move(fallback); }
  // Empty when there is a value.
  const std::string& reason() const { return reason_; }

 private:
  std::optional<T> value_;
  std::string reason_;
};
