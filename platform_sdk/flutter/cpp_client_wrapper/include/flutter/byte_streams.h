#ifndef FLUTTER_BYTE_STREAMS_H_
#define FLUTTER_BYTE_STREAMS_H_

#include <cstddef>
#include <cstdint>

namespace flutter {

// A source of bytes for the standard codec. Numbers are read little-endian.
class ByteStreamReader {
 public:
  explicit ByteStreamReader() = default;
  virtual ~ByteStreamReader() = default;

  virtual uint8_t ReadByte() = 0;
  virtual void ReadBytes(uint8_t* buffer, size_t length) = 0;
  // Skips to the next multiple of |alignment| from the start of the stream.
  virtual void ReadAlignment(uint8_t alignment) = 0;

  uint16_t ReadInt16() { return ReadNumber<uint16_t>(); }
  int32_t ReadInt32() { return ReadNumber<int32_t>(); }
  int64_t ReadInt64() { return ReadNumber<int64_t>(); }
  double ReadDouble() { return ReadNumber<double>(); }

 private:
  template <typename T>
  T ReadNumber() {
    T value{};
    ReadBytes(reinterpret_cast<uint8_t*>(&value), sizeof(T));
    return value;
  }
};

// A sink of bytes for the standard codec. Numbers are written little-endian.
class ByteStreamWriter {
 public:
  explicit ByteStreamWriter() = default;
  virtual ~ByteStreamWriter() = default;

  virtual void WriteByte(uint8_t byte) = 0;
  virtual void WriteBytes(const uint8_t* bytes, size_t length) = 0;
  // Pads with zeros to the next multiple of |alignment| from the start of the stream.
  virtual void WriteAlignment(uint8_t alignment) = 0;

  void WriteInt16(uint16_t value) { WriteNumber(value); }
  void WriteInt32(int32_t value) { WriteNumber(value); }
  void WriteInt64(int64_t value) { WriteNumber(value); }
  void WriteDouble(double value) { WriteNumber(value); }

 private:
  template <typename T>
  void WriteNumber(T value) {
    WriteBytes(reinterpret_cast<const uint8_t*>(&value), sizeof(T));
  }
};

}  // namespace flutter

#endif  // FLUTTER_BYTE_STREAMS_H_
