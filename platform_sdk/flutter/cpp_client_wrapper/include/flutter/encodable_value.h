#ifndef FLUTTER_ENCODABLE_VALUE_H_
#define FLUTTER_ENCODABLE_VALUE_H_

#include <any>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace flutter {

// A value of a type the standard codec does not know; needs a serializer extension.
class CustomEncodableValue {
 public:
  explicit CustomEncodableValue(const std::any& value) : value_(value) {}
  ~CustomEncodableValue() = default;

  operator std::any&() { return value_; }
  operator const std::any&() const { return value_; }

  const std::type_info& type() const noexcept { return value_.type(); }

  // No meaningful order exists between arbitrary values; identity keeps maps usable.
  bool operator<(const CustomEncodableValue& other) const { return this < &other; }
  bool operator==(const CustomEncodableValue&) const { return false; }

 private:
  std::any value_;
};

class EncodableValue;

using EncodableList = std::vector<EncodableValue>;
using EncodableMap = std::map<EncodableValue, EncodableValue>;

namespace internal {
// The alternatives' order is part of the API: it is the variant index callers switch on.
using EncodableValueVariant = std::variant<std::monostate,
                                           bool,
                                           int32_t,
                                           int64_t,
                                           double,
                                           std::string,
                                           std::vector<uint8_t>,
                                           std::vector<int32_t>,
                                           std::vector<int64_t>,
                                           std::vector<double>,
                                           EncodableList,
                                           EncodableMap,
                                           CustomEncodableValue,
                                           std::vector<float>>;
}  // namespace internal

class EncodableValue : public internal::EncodableValueVariant {
 public:
  using super = internal::EncodableValueVariant;
  using super::super;
  using super::operator=;

  explicit EncodableValue() = default;

  // A string literal makes a string, not a bool.
  explicit EncodableValue(const char* string) : super(std::string(string)) {}
  EncodableValue& operator=(const char* other) {
    *this = std::string(other);
    return *this;
  }

  template <class T>
  constexpr explicit EncodableValue(T&& t) noexcept : super(t) {}

  EncodableValue(const CustomEncodableValue& value) : super(value) {}

  bool IsNull() const { return std::holds_alternative<std::monostate>(*this); }

  // The integer value whether it travelled as 32 or 64 bits; throws std::bad_variant_access
  // for any other kind.
  int64_t LongValue() const {
    if (std::holds_alternative<int32_t>(*this)) {
      return std::get<int32_t>(*this);
    }
    return std::get<int64_t>(*this);
  }

  friend bool operator<(const EncodableValue& lhs, const EncodableValue& rhs) {
    return static_cast<const super&>(lhs) < static_cast<const super&>(rhs);
  }
};

}  // namespace flutter

#endif  // FLUTTER_ENCODABLE_VALUE_H_
