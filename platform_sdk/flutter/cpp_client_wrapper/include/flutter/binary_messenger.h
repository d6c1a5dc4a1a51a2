#ifndef FLUTTER_BINARY_MESSENGER_H_
#define FLUTTER_BINARY_MESSENGER_H_

#include <cstdint>
#include <functional>
#include <string>

namespace flutter {

// Answers a message; an empty reply means nobody handled it.
typedef std::function<void(const uint8_t* reply, size_t reply_size)> BinaryReply;

// Handles one incoming message and answers it through |reply|, exactly once.
typedef std::function<void(const uint8_t* message, size_t message_size, BinaryReply reply)>
    BinaryMessageHandler;

// Sends raw messages to the Dart side and routes the ones it sends to handlers by channel.
class BinaryMessenger {
 public:
  virtual ~BinaryMessenger() = default;

  virtual void Send(const std::string& channel,
                    const uint8_t* message,
                    size_t message_size,
                    BinaryReply reply = nullptr) const = 0;

  // A null handler removes the channel's handler.
  virtual void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) = 0;
};

}  // namespace flutter

#endif  // FLUTTER_BINARY_MESSENGER_H_
