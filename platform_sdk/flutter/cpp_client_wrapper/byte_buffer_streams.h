#ifndef FLUTTER_BYTE_BUFFER_STREAMS_H_
#define FLUTTER_BYTE_BUFFER_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "include/flutter/byte_streams.h"

namespace flutter {

// Reads from a byte buffer it does not own. A read past the end yields zeros and marks the
// reader failed instead of throwing, so a malformed message can be refused as a whole.
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* bytes, size_t size);

  uint8_t ReadByte() override;
  void ReadBytes(uint8_t* buffer, size_t length) override;
  void ReadAlignment(uint8_t alignment) override;

  size_t remaining() const { return size_ - location_; }
  bool failed() const { return failed_; }
  void MarkFailed() { failed_ = true; }

 private:
  const uint8_t* bytes_;
  size_t size_;
  size_t location_ = 0;
  bool failed_ = false;
};

// Appends to a byte vector it does not own; alignment counts from the vector's start.
class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer) : bytes_(buffer) {}

  void WriteByte(uint8_t byte) override { bytes_->push_back(byte); }
  void WriteBytes(const uint8_t* bytes, size_t length) override;
  void WriteAlignment(uint8_t alignment) override;

 private:
  std::vector<uint8_t>* bytes_;
};

}  // namespace flutter

#endif  // FLUTTER_BYTE_BUFFER_STREAMS_H_
