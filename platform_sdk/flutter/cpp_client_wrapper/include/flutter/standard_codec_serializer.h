#ifndef FLUTTER_STANDARD_CODEC_SERIALIZER_H_
#define FLUTTER_STANDARD_CODEC_SERIALIZER_H_

#include "byte_streams.h"
#include "encodable_value.h"

namespace flutter {

// Reads and writes EncodableValues in the standard codec's format. Subclass it to add
// types of your own (type bytes from 128 on).
class StandardCodecSerializer {
 public:
  virtual ~StandardCodecSerializer();

  StandardCodecSerializer(const StandardCodecSerializer&) = delete;
  StandardCodecSerializer& operator=(const StandardCodecSerializer&) = delete;

  static const StandardCodecSerializer& GetInstance();

  EncodableValue ReadValue(ByteStreamReader* stream) const;
  virtual void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const;

 protected:
  StandardCodecSerializer();

  virtual EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const;

  size_t ReadSize(ByteStreamReader* stream) const;
  void WriteSize(size_t size, ByteStreamWriter* stream) const;

 private:
  template <typename T>
  void WriteVector(const std::vector<T>& vector, ByteStreamWriter* stream) const;
};

}  // namespace flutter

#endif  // FLUTTER_STANDARD_CODEC_SERIALIZER_H_
