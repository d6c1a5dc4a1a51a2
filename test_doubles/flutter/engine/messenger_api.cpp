// The engine's messenger: messages between the application's channel handlers and the
// stand-in's Dart side.
#include <flutter_messenger.h>

#include <iostream>

#include "api_guard.h"
#include "engine_objects.h"

namespace flutter_stand_in {

void DeliverToNative(FlutterDesktopMessenger* messenger,
                     const std::string& channel,
                     const std::vector<uint8_t>& message,
                     ReplyFunction on_reply) {
  auto found = messenger->callbacks.find(channel);
  if (found == messenger->callbacks.end()) {
    on_reply({});
    return;
  }
  auto handle = std::make_unique<FlutterDesktopMessageResponseHandle>();
  handle->deliver = std::move(on_reply);
  const FlutterDesktopMessageResponseHandle* key = handle.get();
  messenger->outstanding[key] = std::move(handle);

  FlutterDesktopMessage platform_message = {};
  platform_message.struct_size = sizeof(platform_message);
  platform_message.channel = channel.c_str();
  platform_message.message = message.empty() ? nullptr : message.data();
  platform_message.message_size = message.size();
  platform_message.response_handle = key;
  FlutterDesktopMessenger::Callback callback = found->second;
  callback.function(messenger, &platform_message, callback.user_data);
}

void DetachMessenger(FlutterDesktopMessenger* messenger) {
  {
    std::lock_guard<std::recursive_mutex> lock(messenger->mutex);
    messenger->engine = nullptr;
    messenger->callbacks.clear();
    messenger->outstanding.clear();
  }
  ReleaseMessenger(messenger);
}

void ReleaseMessenger(FlutterDesktopMessenger* messenger) {
  if (messenger && --messenger->references == 0) {
    delete messenger;
  }
}

namespace {

// The stand-in's Dart side registers no channels: every message from the application gets
// the empty answer, later, as from the real engine.
bool SendToDart(FlutterDesktopMessengerRef messenger,
                const char* channel,
                FlutterDesktopBinaryReply reply,
                void* user_data) {
  if (!messenger || !messenger->engine || !channel) {
    return false;
  }
  std::cerr << "Message to the Dart side on channel " << channel << ": no handler" << std::endl;
  if (reply) {
    PostTask(messenger->engine, [reply, user_data] { reply(nullptr, 0, user_data); });
  }
  return true;
}

}  // namespace

}  // namespace flutter_stand_in

using flutter_stand_in::Guarded;
using flutter_stand_in::GuardedVoid;

// Defined with C linkage also where an older SDK header does not declare them.
extern "C" {

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger,
                                 const char* channel,
                                 const uint8_t* /*message*/,
                                 const size_t /*message_size*/) {
  return Guarded(__func__, false, [&] {
    return flutter_stand_in::SendToDart(messenger, channel, nullptr, nullptr);
  });
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger,
                                          const char* channel,
                                          const uint8_t* /*message*/,
                                          const size_t /*message_size*/,
                                          const FlutterDesktopBinaryReply reply,
                                          void* user_data) {
  return Guarded(__func__, false, [&] {
    return flutter_stand_in::SendToDart(messenger, channel, reply, user_data);
  });
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle,
                                         const uint8_t* data,
                                         size_t data_length) {
  GuardedVoid(__func__, [&] {
    if (!messenger) {
      return;
    }
    auto found = messenger->outstanding.find(handle);
    if (found == messenger->outstanding.end()) {
      std::cerr << "FlutterDesktopMessengerSendResponse: unknown or used response handle"
                << std::endl;
      return;
    }
    std::unique_ptr<FlutterDesktopMessageResponseHandle> used = std::move(found->second);
    messenger->outstanding.erase(found);
    std::vector<uint8_t> reply;
    if (data && data_length > 0) {
      reply.assign(data, data + data_length);
    }
    used->deliver(reply);
  });
}

// Reference count and lock. Each of these is safe on a messenger whose engine is gone.

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  if (messenger) {
    ++messenger->references;
  }
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  flutter_stand_in::ReleaseMessenger(messenger);
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  return messenger && messenger->engine;
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  return Guarded(__func__, messenger, [&] {
    if (messenger) {
      messenger->mutex.lock();
    }
    return messenger;
  });
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  if (messenger) {
    messenger->mutex.unlock();
  }
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger,
                                        const char* channel,
                                        FlutterDesktopMessageCallback callback,
                                        void* user_data) {
  GuardedVoid(__func__, [&] {
    if (!messenger || !messenger->engine || !channel) {
      return;
    }
    if (!callback) {
      messenger->callbacks.erase(channel);
      return;
    }
    messenger->callbacks[channel] = FlutterDesktopMessenger::Callback{callback, user_data};
  });
}

}  // extern "C"
