// The standard codec: the buffer streams, the serializer's value format (type bytes, sizes,
// alignment) and the message and method codecs over it.
#include <cstring>
#include <iostream>
#include <map>
#include <mutex>

#include "byte_buffer_streams.h"
#include "include/flutter/standard_codec_serializer.h"
#include "include/flutter/standard_message_codec.h"
#include "include/flutter/standard_method_codec.h"

namespace flutter {

// Buffer streams -----------------------------------------------------------------------

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

// Serializer ---------------------------------------------------------------------------

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

// Message codec ------------------------------------------------------------------------

namespace {

constexpr uint8_t kSuccessEnvelope = 0;
constexpr uint8_t kErrorEnvelope = 1;

// One long-lived codec per serializer; |create| builds it (the constructors are private).
template <typename Codec, typename Factory>
const Codec& CodecFor(const StandardCodecSerializer* serializer, Factory create) {
  static std::mutex mutex;
  static std::map<const StandardCodecSerializer*, std::unique_ptr<Codec>> codecs;
  if (!serializer) {
    serializer = &StandardCodecSerializer::GetInstance();
  }
  std::lock_guard<std::mutex> lock(mutex);
  std::unique_ptr<Codec>& codec = codecs[serializer];
  if (!codec) {
    codec.reset(create(serializer));
  }
  return *codec;
}

}  // namespace

StandardMessageCodec::StandardMessageCodec(const StandardCodecSerializer* serializer)
    : serializer_(serializer) {}

StandardMessageCodec::~StandardMessageCodec() = default;

const StandardMessageCodec& StandardMessageCodec::GetInstance(
    const StandardCodecSerializer* serializer) {
  return CodecFor<StandardMessageCodec>(
      serializer, [](const StandardCodecSerializer* s) { return new StandardMessageCodec(s); });
}

std::unique_ptr<EncodableValue> StandardMessageCodec::DecodeMessageInternal(
    const uint8_t* binary_message,
    const size_t message_size) const {
  if (!binary_message || message_size == 0) {
    return std::make_unique<EncodableValue>();
  }
  ByteBufferStreamReader stream(binary_message, message_size);
  return std::make_unique<EncodableValue>(serializer_->ReadValue(&stream));
}

std::unique_ptr<std::vector<uint8_t>> StandardMessageCodec::EncodeMessageInternal(
    const EncodableValue& message) const {
  auto encoded = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(encoded.get());
  serializer_->WriteValue(message, &stream);
  return encoded;
}

// Method codec -----------------------------------------------------------------------

StandardMethodCodec::StandardMethodCodec(const StandardCodecSerializer* serializer)
    : serializer_(serializer) {}

StandardMethodCodec::~StandardMethodCodec() = default;

const StandardMethodCodec& StandardMethodCodec::GetInstance(
    const StandardCodecSerializer* serializer) {
  return CodecFor<StandardMethodCodec>(
      serializer, [](const StandardCodecSerializer* s) { return new StandardMethodCodec(s); });
}

std::unique_ptr<MethodCall<EncodableValue>> StandardMethodCodec::DecodeMethodCallInternal(
    const uint8_t* message,
    size_t message_size) const {
  ByteBufferStreamReader stream(message, message_size);
  EncodableValue method_name = serializer_->ReadValue(&stream);
  const auto* name = std::get_if<std::string>(&method_name);
  if (stream.failed() || !name) {
    std::cerr << "Invalid method call; method name is not a string." << std::endl;
    return nullptr;
  }
  auto arguments = std::make_unique<EncodableValue>(serializer_->ReadValue(&stream));
  if (stream.failed()) {
    std::cerr << "Invalid method call; arguments of " << *name << " cannot be read." << std::endl;
    return nullptr;
  }
  return std::make_unique<MethodCall<EncodableValue>>(*name, std::move(arguments));
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeMethodCallInternal(
    const MethodCall<EncodableValue>& method_call) const {
  auto encoded = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(encoded.get());
  serializer_->WriteValue(EncodableValue(method_call.method_name()), &stream);
  if (method_call.arguments()) {
    serializer_->WriteValue(*method_call.arguments(), &stream);
  } else {
    serializer_->WriteValue(EncodableValue(), &stream);
  }
  return encoded;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeSuccessEnvelopeInternal(
    const EncodableValue* result) const {
  auto encoded = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(encoded.get());
  stream.WriteByte(kSuccessEnvelope);
  serializer_->WriteValue(result ? *result : EncodableValue(), &stream);
  return encoded;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeErrorEnvelopeInternal(
    const std::string& error_code,
    const std::string& error_message,
    const EncodableValue* error_details) const {
  auto encoded = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(encoded.get());
  stream.WriteByte(kErrorEnvelope);
  serializer_->WriteValue(EncodableValue(error_code), &stream);
  serializer_->WriteValue(error_message.empty() ? EncodableValue() : EncodableValue(error_message),
                          &stream);
  serializer_->WriteValue(error_details ? *error_details : EncodableValue(), &stream);
  return encoded;
}

bool StandardMethodCodec::DecodeAndProcessResponseEnvelopeInternal(
    const uint8_t* response,
    size_t response_size,
    MethodResult<EncodableValue>* result) const {
  ByteBufferStreamReader stream(response, response_size);
  uint8_t flag = stream.ReadByte();
  if (stream.failed()) {
    return false;
  }
  if (flag == kSuccessEnvelope) {
    EncodableValue value = serializer_->ReadValue(&stream);
    if (stream.failed()) {
      return false;
    }
    if (value.IsNull()) {
      result->Success();
    } else {
      result->Success(value);
    }
    return true;
  }
  if (flag != kErrorEnvelope) {
    return false;
  }
  EncodableValue code = serializer_->ReadValue(&stream);
  EncodableValue message = serializer_->ReadValue(&stream);
  EncodableValue details = serializer_->ReadValue(&stream);
  const auto* code_string = std::get_if<std::string>(&code);
  const auto* message_string = std::get_if<std::string>(&message);
  if (stream.failed() || !code_string || !(message_string || message.IsNull())) {
    return false;
  }
  std::string message_text = message_string ? *message_string : std::string();
  if (details.IsNull()) {
    result->Error(*code_string, message_text);
  } else {
    result->Error(*code_string, message_text, details);
  }
  return true;
}

}  // namespace flutter
