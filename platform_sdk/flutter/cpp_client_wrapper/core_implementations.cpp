// The parts of the wrapper that talk to the engine's C messenger, and the one-shot answer
// behind EngineMethodResult.
#include <iostream>
#include <memory>

#include "binary_messenger_impl.h"
#include "include/flutter/engine_method_result.h"

namespace flutter {

namespace {

// One incoming message's response handle, shared by every copy of its reply function so
// that the engine is answered at most once. It holds a reference to the messenger of its
// own: an answer may come after the engine is gone, and is then dropped.
struct PendingResponse {
  std::shared_ptr<FlutterDesktopMessenger> messenger;
  const FlutterDesktopMessageResponseHandle* handle;

  void Send(const uint8_t* data, size_t size) {
    std::unique_ptr<FlutterDesktopMessenger, decltype(&FlutterDesktopMessengerUnlock)> lock(
        FlutterDesktopMessengerLock(messenger.get()), &FlutterDesktopMessengerUnlock);
    if (!FlutterDesktopMessengerIsAvailable(messenger.get())) {
      return;
    }
    if (!handle) {
      std::cerr << "Error: Response can be set only once. Ignoring duplicate response."
                << std::endl;
      return;
    }
    const FlutterDesktopMessageResponseHandle* sending = handle;
    handle = nullptr;
    FlutterDesktopMessengerSendResponse(messenger.get(), sending, data, size);
  }
};

// The engine's C callback. No exception may travel back into the engine: a handler that
// throws before answering gets the empty (not implemented) reply.
void ForwardToHandler(FlutterDesktopMessengerRef messenger,
                      const FlutterDesktopMessage* message,
                      void* user_data) {
  std::shared_ptr<FlutterDesktopMessenger> reference(FlutterDesktopMessengerAddRef(messenger),
                                                     &FlutterDesktopMessengerRelease);
  auto pending =
      std::make_shared<PendingResponse>(PendingResponse{reference, message->response_handle});
  BinaryReply reply = [pending](const uint8_t* data, size_t size) { pending->Send(data, size); };
  try {
    const auto& handler = *static_cast<BinaryMessageHandler*>(user_data);
    handler(message->message, message->message_size, std::move(reply));
  } catch (const std::exception& error) {
    std::cerr << "Message handler on channel " << message->channel << " threw: " << error.what()
              << std::endl;
    if (pending->handle) {
      pending->Send(nullptr, 0);
    }
  } catch (...) {
    std::cerr << "Message handler on channel " << message->channel << " threw" << std::endl;
    if (pending->handle) {
      pending->Send(nullptr, 0);
    }
  }
}

struct ReplyCapture {
  BinaryReply reply;
};

void ForwardReply(const uint8_t* data, size_t size, void* user_data) {
  std::unique_ptr<ReplyCapture> capture(static_cast<ReplyCapture*>(user_data));
  try {
    capture->reply(data, size);
  } catch (...) {
    std::cerr << "Reply handler threw" << std::endl;
  }
}

}  // namespace

BinaryMessengerImpl::BinaryMessengerImpl(FlutterDesktopMessengerRef core_messenger)
    : messenger_(core_messenger) {}

BinaryMessengerImpl::~BinaryMessengerImpl() = default;

void BinaryMessengerImpl::Send(const std::string& channel,
                               const uint8_t* message,
                               size_t message_size,
                               BinaryReply reply) const {
  if (!reply) {
    FlutterDesktopMessengerSend(messenger_, channel.c_str(), message, message_size);
    return;
  }
  auto capture = std::make_unique<ReplyCapture>(ReplyCapture{std::move(reply)});
  if (FlutterDesktopMessengerSendWithReply(messenger_, channel.c_str(), message, message_size,
                                           ForwardReply, capture.get())) {
    capture.release();  // The engine hands it back to ForwardReply.
  }
}

void BinaryMessengerImpl::SetMessageHandler(const std::string& channel,
                                            BinaryMessageHandler handler) {
  if (!handler) {
    FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), nullptr, nullptr);
    handlers_.erase(channel);
    return;
  }
  BinaryMessageHandler& stored = handlers_[channel];
  stored = std::move(handler);
  FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), ForwardToHandler, &stored);
}

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
