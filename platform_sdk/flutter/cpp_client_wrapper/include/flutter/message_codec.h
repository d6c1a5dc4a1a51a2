#ifndef FLUTTER_MESSAGE_CODEC_H_
#define FLUTTER_MESSAGE_CODEC_H_

#include <cstdint>
#include <memory>
#include <vector>

namespace flutter {

// Turns single values of T into bytes and back.
template <typename T>
class MessageCodec {
 public:
  MessageCodec() = default;
  virtual ~MessageCodec() = default;

  MessageCodec(const MessageCodec&) = delete;
  MessageCodec& operator=(const MessageCodec&) = delete;

  std::unique_ptr<T> DecodeMessage(const uint8_t* binary_message, const size_t message_size) const {
    return std::move(DecodeMessageInternal(binary_message, message_size));
  }

  std::unique_ptr<T> DecodeMessage(const std::vector<uint8_t>& binary_message) const {
    size_t size = binary_message.size();
    const uint8_t* data = size > 0 ? &binary_message[0] : nullptr;
    return std::move(DecodeMessageInternal(data, size));
  }

  std::unique_ptr<std::vector<uint8_t>> EncodeMessage(const T& message) const {
    return std::move(EncodeMessageInternal(message));
  }

 protected:
  virtual std::unique_ptr<T> DecodeMessageInternal(const uint8_t* binary_message,
                                                   const size_t message_size) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeMessageInternal(const T& message) const = 0;
};

}  // namespace flutter

#endif  // FLUTTER_MESSAGE_CODEC_H_
