// The one-shot answer behind EngineMethodResult.
#include "include/flutter/engine_method_result.h"

#include <iostream>

namespace flutter {

namespace internal {

ReplyManager::ReplyManager(BinaryReply reply_handler) : reply_handler_(std::move(reply_handler)) {}

ReplyManager::~ReplyManager() {
  if (reply_handler_) {
    // Nothing is sent: the caller on the Dart side keeps waiting.
    std::cerr << "Warning: Failed to respond to a message. This is a memory leak." << std::endl;
  }
}

void ReplyManager::SendResponseData(const std::vector<uint8_t>* data) {
  if (!reply_handler_) {
    std::cerr << "Error: Only one of Success, Error, or NotImplemented can be called,"
              << " and it can be called exactly once. Ignoring duplicate result." << std::endl;
    return;
  }
  const uint8_t* message = data && !data->empty() ? data->data() : nullptr;
  size_t message_size = data ? data->size() : 0;
  BinaryReply reply = std::move(reply_handler_);
  reply_handler_ = nullptr;
  reply(message, message_size);
}

}  // namespace internal

}  // namespace flutter
