// The standard codec's value format: type bytes, sizes, alignment.
#include <iostream>

#include "byte_buffer_streams.h"
#include "include/flutter/standard_codec_serializer.h"

namespace flutter {

namespace {

enum class EncodedType : uint8_t {
  kNull = 0,
  kTrue,
  kFalse,
  kInt32,
  kInt64,
  kLargeInt,  // Never written; read as a string.
  kFloat64,
  kString,
  kUInt8List,
  kInt32List,
  kInt64List,
  kFloat64List,
  kList,
  kMap,
  kFloat32List,
};

// Deeper nesting than this is refused rather than risking the stack on hostile input.
constexpr int kMaxNesting = 512;

ByteBufferStreamReader* AsBufferReader(ByteStreamReader* stream) {
  return dynamic_cast<ByteBufferStreamReader*>(stream);
}

// False (and the reader marked failed) when the rest of the message cannot hold |count|
// elements of at least |element_size| bytes: a size read from the wire never decides an
// allocation on its own.
bool RemainingCanHold(ByteStreamReader* stream, size_t count, size_t element_size) {
  ByteBufferStreamReader* buffer = AsBufferReader(stream);
  if (!buffer || count <= buffer->remaining() / element_size) {
    return true;
  }
  buffer->MarkFailed();
  return false;
}

bool ReaderFailed(ByteStreamReader* stream) {
  ByteBufferStreamReader* buffer = AsBufferReader(stream);
  return buffer && buffer->failed();
}

void MarkReaderFailed(ByteStreamReader* stream) {
  if (ByteBufferStreamReader* buffer = AsBufferReader(stream)) {
    buffer->MarkFailed();
  }
}

template <typename T>
std::vector<T> ReadVector(ByteStreamReader* stream, size_t count) {
  std::vector<T> vector;
  if (count == 0 || !RemainingCanHold(stream, count, sizeof(T))) {
    return vector;
  }
  stream->ReadAlignment(sizeof(T));
  vector.resize(count);
  stream->ReadBytes(reinterpret_cast<uint8_t*>(vector.data()), count * sizeof(T));
  return vector;
}

thread_local int read_nesting = 0;

class NestingGuard {
 public:
  NestingGuard() { ++read_nesting; }
  ~NestingGuard() { --read_nesting; }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;
  bool too_deep() const { return read_nesting > kMaxNesting; }
};

}  // namespace

StandardCodecSerializer::StandardCodecSerializer() = default;

StandardCodecSerializer::~StandardCodecSerializer() = default;

const StandardCodecSerializer& StandardCodecSerializer::GetInstance() {
  static StandardCodecSerializer sInstance;
  return sInstance;
}

EncodableValue StandardCodecSerializer::ReadValue(ByteStreamReader* stream) const {
  NestingGuard guard;
  if (guard.too_deep()) {
    std::cerr << "Message nested too deeply" << std::endl;
    MarkReaderFailed(stream);
    return EncodableValue();
  }
  uint8_t type = stream->ReadByte();
  if (ReaderFailed(stream)) {
    return EncodableValue();
  }
  return ReadValueOfType(type, stream);
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  switch (static_cast<EncodedType>(type)) {
    case EncodedType::kNull:
      return EncodableValue();
    case EncodedType::kTrue:
      return EncodableValue(true);
    case EncodedType::kFalse:
      return EncodableValue(false);
    case EncodedType::kInt32:
      return EncodableValue(stream->ReadInt32());
    case EncodedType::kInt64:
      return EncodableValue(stream->ReadInt64());
    case EncodedType::kFloat64:
      stream->ReadAlignment(8);
      return EncodableValue(stream->ReadDouble());
    case EncodedType::kLargeInt:
    case EncodedType::kString: {
      size_t size = ReadSize(stream);
      std::string string;
      if (size > 0 && RemainingCanHold(stream, size, 1)) {
        string.resize(size);
        stream->ReadBytes(reinterpret_cast<uint8_t*>(&string[0]), size);
      }
      return EncodableValue(string);
    }
    case EncodedType::kUInt8List:
      return EncodableValue(ReadVector<uint8_t>(stream, ReadSize(stream)));
    case EncodedType::kInt32List:
      return EncodableValue(ReadVector<int32_t>(stream, ReadSize(stream)));
    case EncodedType::kInt64List:
      return EncodableValue(ReadVector<int64_t>(stream, ReadSize(stream)));
    case EncodedType::kFloat64List:
      return EncodableValue(ReadVector<double>(stream, ReadSize(stream)));
    case EncodedType::kFloat32List:
      return EncodableValue(ReadVector<float>(stream, ReadSize(stream)));
    case EncodedType::kList: {
      size_t count = ReadSize(stream);
      EncodableList list;
      if (!RemainingCanHold(stream, count, 1)) {
        return EncodableValue(list);
      }
      list.reserve(count);
      for (size_t i = 0; i < count && !ReaderFailed(stream); ++i) {
        list.push_back(ReadValue(stream));
      }
      return EncodableValue(list);
    }
    case EncodedType::kMap: {
      size_t count = ReadSize(stream);
      EncodableMap map;
      if (!RemainingCanHold(stream, count, 2)) {
        return EncodableValue(map);
      }
      for (size_t i = 0; i < count && !ReaderFailed(stream); ++i) {
        EncodableValue key = ReadValue(stream);
        EncodableValue value = ReadValue(stream);
        map.emplace(std::move(key), std::move(value));
      }
      return EncodableValue(map);
    }
  }
  // The payload's length is unknown, so nothing after this byte can be trusted.
  std::cerr << "Unknown type in StandardCodecSerializer::ReadValueOfType: "
            << static_cast<int>(type) << std::endl;
  MarkReaderFailed(stream);
  return EncodableValue();
}

size_t StandardCodecSerializer::ReadSize(ByteStreamReader* stream) const {
  uint8_t byte = stream->ReadByte();
  if (byte < 254) {
    return byte;
  }
  if (byte == 254) {
    return stream->ReadInt16();
  }
  return static_cast<uint32_t>(stream->ReadInt32());
}

void StandardCodecSerializer::WriteSize(size_t size, ByteStreamWriter* stream) const {
  if (size < 254) {
    stream->WriteByte(static_cast<uint8_t>(size));
  } else if (size <= 0xffff) {
    stream->WriteByte(254);
    stream->WriteInt16(static_cast<uint16_t>(size));
  } else {
    stream->WriteByte(255);
    stream->WriteInt32(static_cast<int32_t>(static_cast<uint32_t>(size)));
  }
}

template <typename T>
void StandardCodecSerializer::WriteVector(const std::vector<T>& vector,
                                          ByteStreamWriter* stream) const {
  WriteSize(vector.size(), stream);
  if (vector.empty()) {
    return;
  }
  stream->WriteAlignment(sizeof(T));
  stream->WriteBytes(reinterpret_cast<const uint8_t*>(vector.data()), vector.size() * sizeof(T));
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  auto write_type = [stream](EncodedType type) { stream->WriteByte(static_cast<uint8_t>(type)); };
  if (const auto* boolean = std::get_if<bool>(&value)) {
    write_type(*boolean ? EncodedType::kTrue : EncodedType::kFalse);
  } else if (const auto* int32 = std::get_if<int32_t>(&value)) {
    write_type(EncodedType::kInt32);
    stream->WriteInt32(*int32);
  } else if (const auto* int64 = std::get_if<int64_t>(&value)) {
    write_type(EncodedType::kInt64);
    stream->WriteInt64(*int64);
  } else if (const auto* number = std::get_if<double>(&value)) {
    write_type(EncodedType::kFloat64);
    stream->WriteAlignment(8);
    stream->WriteDouble(*number);
  } else if (const auto* string = std::get_if<std::string>(&value)) {
    write_type(EncodedType::kString);
    WriteSize(string->size(), stream);
    stream->WriteBytes(reinterpret_cast<const uint8_t*>(string->data()), string->size());
  } else if (const auto* bytes = std::get_if<std::vector<uint8_t>>(&value)) {
    write_type(EncodedType::kUInt8List);
    WriteSize(bytes->size(), stream);
    stream->WriteBytes(bytes->data(), bytes->size());
  } else if (const auto* int32s = std::get_if<std::vector<int32_t>>(&value)) {
    write_type(EncodedType::kInt32List);
    WriteVector(*int32s, stream);
  } else if (const auto* int64s = std::get_if<std::vector<int64_t>>(&value)) {
    write_type(EncodedType::kInt64List);
    WriteVector(*int64s, stream);
  } else if (const auto* doubles = std::get_if<std::vector<double>>(&value)) {
    write_type(EncodedType::kFloat64List);
    WriteVector(*doubles, stream);
  } else if (const auto* floats = std::get_if<std::vector<float>>(&value)) {
    write_type(EncodedType::kFloat32List);
    WriteVector(*floats, stream);
  } else if (const auto* list = std::get_if<EncodableList>(&value)) {
    write_type(EncodedType::kList);
    WriteSize(list->size(), stream);
    for (const EncodableValue& item : *list) {
      WriteValue(item, stream);
    }
  } else if (const auto* map = std::get_if<EncodableMap>(&value)) {
    write_type(EncodedType::kMap);
    WriteSize(map->size(), stream);
    for (const auto& [key, item] : *map) {
      WriteValue(key, stream);
      WriteValue(item, stream);
    }
  } else {
    if (std::holds_alternative<CustomEncodableValue>(value)) {
      std::cerr << "Unhandled custom type in StandardCodecSerializer::WriteValue. "
                << "Custom types require codec extensions." << std::endl;
    }
    write_type(EncodedType::kNull);
  }
}

}  // namespace flutter
