#include "byte_buffer_streams.h"

#include <cstring>
#include <iostream>

namespace flutter {

ByteBufferStreamReader::ByteBufferStreamReader(const uint8_t* bytes, size_t size)
    : bytes_(bytes), size_(bytes ? size : 0) {}

uint8_t ByteBufferStreamReader::ReadByte() {
  if (location_ >= size_) {
    std::cerr << "Invalid read in StandardCodecByteStreamReader" << std::endl;
    failed_ = true;
    return 0;
  }
  return bytes_[location_++];
}

void ByteBufferStreamReader::ReadBytes(uint8_t* buffer, size_t length) {
  if (length > remaining()) {
    std::cerr << "Invalid read in StandardCodecByteStreamReader" << std::endl;
    failed_ = true;
    std::memset(buffer, 0, length);
    location_ = size_;
    return;
  }
  if (length > 0) {
    std::memcpy(buffer, bytes_ + location_, length);
  }
  location_ += length;
}

void ByteBufferStreamReader::ReadAlignment(uint8_t alignment) {
  size_t mod = location_ % alignment;
  if (mod == 0) {
    return;
  }
  size_t padding = alignment - mod;
  if (padding > remaining()) {
    failed_ = true;
    location_ = size_;
    return;
  }
  location_ += padding;
}

void ByteBufferStreamWriter::WriteBytes(const uint8_t* bytes, size_t length) {
  if (length > 0) {
    bytes_->insert(bytes_->end(), bytes, bytes + length);
  }
}

void ByteBufferStreamWriter::WriteAlignment(uint8_t alignment) {
  size_t mod = bytes_->size() % alignment;
  if (mod != 0) {
    bytes_->insert(bytes_->end(), alignment - mod, 0);
  }
}

}  // namespace flutter
