#include "net/diplomacy_messages.h"

#include "core/net_encoders.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"

std::atomic<empire*> playingEmpire{nullptr};

namespace {

constexpr uint32_t kAcceptTopic = 9;
constexpr uint32_t kRejectTopic = 10;

}  // namespace

void sendDiplomacyMessage(NetworkManager& manager, const empire* to, uint32_t topic) {
  if (playingEmpire == nullptr)
    return;
  if (isNetworkClient()) {
    RakNet::BitStream stream;
    stream.Write(ID_DIPLOMACY_MESSAGE);
    writeNetEmpire(stream, playingEmpire);
    writeNetEmpire(stream, to);
    stream.Write(topic);
    if (topic == kAcceptTopic || topic == kRejectTopic)
      stream.Write(uint32_t{0});
    manager.send(&stream, 0, RakNet::RELIABLE, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
    return;
  }
  // A server sends to the player who controls the receiving empire; the
  // table of connected players comes with the players' connections, and
  // until then no player is there to hear it.
}
