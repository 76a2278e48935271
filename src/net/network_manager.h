// The network manager: the one multiplayer session object of the process.
//
// It knows whether this process is a server, a client or neither, and holds
// the server settings that start-up writes before each game session (player
// limit, name, port, passwords, master-server and restart schedule, vote and
// greeting switches). All times are the engine timer's real time in
// milliseconds.
#pragma once

#include <irrString.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/peer_types.h"

namespace RakNet {
class BitStream;
}
class empire;

// The port a server listens on unless told otherwise.
constexpr uint16_t kDefaultGamePort = 12100;

// One connected player, as the server knows it.
struct NetPlayer {
  irr::core::stringw name;
  RakNet::SystemAddress address;  // unassigned until the peer is known, and once it has left
  // The in-game flag: set when the player has received the whole galaxy and
  // takes part in the game's traffic; clear in a new record.
  uint8_t hasGalaxy = 0;
  empire* emp = nullptr;  // the empire the player controls; null for none
};

// Players by the peer's unique id, walked in key order.
using NetPlayerMap = std::map<uint64_t, NetPlayer>;

class NetworkManager {
 public:
  // True while a peer is started (as a server or a client). Peers are
  // started by hosting or connecting; until then the manager is idle.
  bool peerActive() const { return false; }

  // Sends `stream` at medium priority on `orderingChannel`. The unassigned
  // address sends to every client (on a server) or to the server (on a
  // client). The stream stays the caller's. Without a peer nothing leaves
  // the process; an observer, when set, sees every message handed in.
  void send(RakNet::BitStream* stream, uint8_t orderingChannel, RakNet::PacketReliability reliability,
            const RakNet::SystemAddress& target);

  using SendObserver = std::function<void(const RakNet::BitStream& stream, uint8_t orderingChannel,
                                          RakNet::PacketReliability reliability,
                                          const RakNet::SystemAddress& target)>;
  // Replaces the observer (an empty function removes it). Not locked: set it
  // while no other thread sends.
  void setSendObserver(SendObserver observer) { sendObserver_ = std::move(observer); }

  // The connected players (server only), guarded by `playersLock`: hold it
  // to change the map or a record while another thread may read them. The
  // readers below take it.
  NetPlayerMap players;
  std::mutex playersLock;
  size_t playerCount();
  // The addresses of the players with the in-game flag set, in the map's
  // order, leaving out any that has no address.
  std::vector<RakNet::SystemAddress> inGamePlayerAddresses();

  bool isServer = false;     // a server peer started
  bool isNetworked = false;  // a client peer started
  bool isConnected = false;
  bool isHosting = false;    // this process hosts the game
  uint8_t maxPlayers = 0;
  irr::core::stringw serverName;
  uint16_t port = kDefaultGamePort;
  bool isPublic = false;               // announced to the master server
  uint32_t nextHeartbeatTime = 0;      // next master-server contact
  bool autoPause = true;               // pause while no player is connected
  bool welcomeMessage = true;          // greet each new player
  bool votesEnabled = true;            // chat votes allowed
  uint32_t restartInterval = 0;        // scheduled restart period, 0 for none
  uint32_t restartTime = 0;            // next scheduled restart
  irr::core::stringw consolePassword;  // remote console; empty refuses it

 private:
  SendObserver sendObserver_;
};

// The process's network manager (lives for the whole process).
extern NetworkManager* networkManager;

// Whether this process plays as the client of a remote server (a client peer
// started and connected): the server then decides the game's rules.
inline bool isNetworkClient() {
  return networkManager != nullptr && networkManager->isNetworked && networkManager->isConnected;
}

// The game port published for the port-mapping thread.
void publishGamePort(uint16_t port);
uint16_t publishedGamePort();
