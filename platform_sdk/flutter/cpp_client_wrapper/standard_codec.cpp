// The standard message and method codecs over the standard serializer.
#include <iostream>
#include <map>
#include <mutex>

#include "byte_buffer_streams.h"
#include "include/flutter/standard_message_codec.h"
#include "include/flutter/standard_method_codec.h"

namespace flutter {

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
