#ifndef FLUTTER_STANDARD_MESSAGE_CODEC_H_
#define FLUTTER_STANDARD_MESSAGE_CODEC_H_

#include <memory>

#include "encodable_value.h"
#include "message_codec.h"
#include "standard_codec_serializer.h"

namespace flutter {

// The standard codec for single messages (basic message channels).
class StandardMessageCodec : public MessageCodec<EncodableValue> {
 public:
  // One long-lived instance per serializer; nullptr means the standard serializer.
  static const StandardMessageCodec& GetInstance(const StandardCodecSerializer* serializer = nullptr);

  ~StandardMessageCodec();

  StandardMessageCodec(const StandardMessageCodec&) = delete;
  StandardMessageCodec& operator=(const StandardMessageCodec&) = delete;

 protected:
  std::unique_ptr<EncodableValue> DecodeMessageInternal(const uint8_t* binary_message,
                                                        const size_t message_size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeMessageInternal(
      const EncodableValue& message) const override;

 private:
  explicit StandardMessageCodec(const StandardCodecSerializer* serializer);

  const StandardCodecSerializer* serializer_;
};

}  // namespace flutter

#endif  // FLUTTER_STANDARD_MESSAGE_CODEC_H_
