// A handler of one network message id. Each receiver lives as long as the
// program; the network manager's dispatch hands it every message of its id
// (NetworkManager::registerReceiver), before and instead of its own cases.
#pragma once

#include <cstdint>

namespace RakNet {
class BitStream;
}
struct NetPlayer;

class MessageReceiver {
 public:
  virtual ~MessageReceiver() = default;
  // Handles a message whose id byte `messageId` has been read already:
  // `stream` reads on from just behind it. `from` is the sender's record on a
  // server, null on a client or for a sender that is not a listed player.
  virtual void handle(uint8_t messageId, RakNet::BitStream& stream, NetPlayer* from) = 0;
};
