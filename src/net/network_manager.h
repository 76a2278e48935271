// The network manager: the one multiplayer session object of the process.
//
// It owns the network peer, knows whether this process is a server, a
// client or neither, and keeps the table of connected players, the message
// receivers by id and the objects whose details a client will ask for. Its
// processPackets is the one place where network traffic enters the program:
// one call runs the server's timed duties (auto-pause, the scheduled
// restart, the vote tally, the master server, the periodic replication),
// takes every packet that waits and dispatches each on its first byte.
//
// All times are the engine timer's real time in milliseconds, a 32-bit count
// that wraps: times are compared through their signed 32-bit difference, so
// a wrap changes nothing (intervals stay below 2^31 ms).
//
// Threads: processPackets runs on the network-poll thread while a session
// loads and on the main thread from then on, never on both at once; the
// console commands (host, connect, disconnect) run on the main thread
// between polls. Other threads send messages and read the players: the
// players map and the watched set are guarded by `playersLock`, and a
// record is erased only by the thread that polls. The mode flags are
// atomic.
#pragma once

#include <irrString.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "platform/peer_types.h"

namespace RakNet {
class BitStream;
class RakPeerInterface;
}  // namespace RakNet
class empire;
class generic_object;
namespace irr::gui {
class IGUITable;
}  // namespace irr::gui
class MessageReceiver;

// The port a server listens on unless told otherwise.
constexpr uint16_t kDefaultGamePort = 12100;
// The master server's first port: never a game port.
constexpr uint16_t kMasterServerFirstPort = 25000;
constexpr uint16_t kMasterServerLastPort = 25009;
// The password every client gives and every server asks for.
constexpr char kIncomingPassword[] = "qv-marbol-tekkan";
constexpr int kIncomingPasswordLength = 16;
// A client's connection attempt: requests, and the time between them.
constexpr unsigned kConnectAttempts = 12;
constexpr unsigned kConnectIntervalMs = 500;
// The ordering channel of chat lines and notices.
constexpr uint8_t kChatChannel = 100;
// The replication step's period.
constexpr uint32_t kUpdateIntervalMs = 84;
// The protocol version a server announces (143), and the older one that
// clients still accept.
constexpr uint16_t kProtocolVersion = 7;
constexpr uint16_t kOldestProtocolVersion = 6;

// One connected player, as the server knows it.
struct NetPlayer {
  // "Player " and a process-wide running number from 1; the id from a
  // second counter from 50. Every record made counts, the manager's own too.
  NetPlayer();

  irr::core::stringw name;
  RakNet::SystemAddress address;  // unassigned until the peer is known, and once it has left
  // The in-game flag: set when the player has received the whole galaxy and
  // takes part in the game's traffic; clear in a new record.
  uint8_t hasGalaxy = 0;
  empire* emp = nullptr;  // the empire the player controls; null for a spectator
  bool voteYes = false;   // the player's answer to the running vote
  uint32_t id = 0;        // the number "players", "kick" and "ban" know the player by
};

// Players by the peer's unique id, walked in key order.
using NetPlayerMap = std::map<uint64_t, NetPlayer>;

class NetworkManager {
 public:
  NetworkManager();
  ~NetworkManager();
  NetworkManager(const NetworkManager&) = delete;
  NetworkManager& operator=(const NetworkManager&) = delete;

  // True while the peer is started (as a server or a client).
  bool peerActive() const;

  // Starts the peer as a server on `port` (25000 is refused: the error is
  // logged and 12100 used). Stores the port; on success this is a connected
  // server that admits `maxPlayers` + 1 incoming connections with the
  // password. False, and nothing else changes, when the peer cannot start.
  bool startPeer(uint16_t port);
  // Hosts on `port` (the stored port for 0): a client peer is disconnected
  // first, an active server is kept. Publishes the port; true when a peer
  // is active afterwards.
  bool host(uint16_t port);
  // Disconnects, starts a client peer and begins connecting to host:port
  // (12 attempts, 500 ms apart). True when the attempt started; its outcome
  // arrives as a connection event. False for a host that does not resolve.
  bool connect(const char* hostName, uint16_t port);
  // Empties the players and stops the peer (waiting up to 250 ms for the
  // goodbyes to leave when connected); this process is then neither server
  // nor client.
  void disconnect();

  // Sends `stream` at medium priority on `orderingChannel`. The unassigned
  // address sends to every connection (on a server) or to the server (on a
  // client). The stream stays the caller's. Without a peer nothing leaves
  // the process; an observer, when set, sees every message handed in.
  void send(RakNet::BitStream* stream, uint8_t orderingChannel, RakNet::PacketReliability reliability,
            const RakNet::SystemAddress& target);
  // Sends with the given priority, to `target` or (with `broadcast`) to
  // every connection but `target`. The observer sees it too.
  void sendDirect(RakNet::BitStream* stream, RakNet::PacketPriority priority, RakNet::PacketReliability reliability,
                  uint8_t orderingChannel, const RakNet::SystemAddress& target, bool broadcast);

  using SendObserver = std::function<void(const RakNet::BitStream& stream, uint8_t orderingChannel,
                                          RakNet::PacketReliability reliability,
                                          const RakNet::SystemAddress& target)>;
  // Replaces the observer (an empty function removes it). Not locked: set it
  // while no other thread sends.
  void setSendObserver(SendObserver observer) { sendObserver_ = std::move(observer); }

  // Server only: the notice as a chat line (113, the text's UTF-16 units) to
  // every peer but `excluded` (low priority, reliable ordered, channel 100),
  // then into the chat log.
  void sendServerNotice(const irr::core::stringw& text,
                        const RakNet::SystemAddress& excluded = RakNet::UNASSIGNED_SYSTEM_ADDRESS);

  // The record of `guid`, made when absent. Only a new incoming connection
  // makes records: everything else finds them (findPlayer).
  NetPlayer* getPlayer(RakNet::RakNetGUID guid);
  // The record of `guid`, or null. The pointer stays valid until the polling
  // thread removes the player.
  NetPlayer* findPlayer(RakNet::RakNetGUID guid);
  size_t playerCount();
  // The addresses of the players with the in-game flag set, in the map's
  // order, leaving out any that has no address.
  std::vector<RakNet::SystemAddress> inGamePlayerAddresses();

  // Client only: the object's details will be asked for; the set holds one
  // reference on each object in it.
  void watchObject(generic_object* object);

  // Enters the receiver of a message id (replacing an earlier one); the
  // receiver lives as long as the program. Null removes the entry.
  void registerReceiver(uint8_t messageId, MessageReceiver* receiver);

  // One poll: the timed duties, then every packet waiting, each released
  // after its handling.
  void processPackets();

  // The players lose their empires (the empires are about to go), and the
  // diplomatic messages delivered to them can no longer be answered.
  void forgetPlayerEmpires();

  // -- Chat and names (chat.cpp) ----------------------------------------------
  // The local player's chat line: coloured and echoed into the chat log; a
  // server sends the whole line to every peer, a client the bare text to
  // its server.
  void sendChat(const irr::core::stringw& text);
  // Renames the local player; a client asks its server, which announces the
  // new name or rejects it.
  void sendNameChange(const irr::core::stringw& name);

  // -- The master server (master_server.cpp) ------------------------------------
  // Starts a connection to the master server: a server's from its second
  // socket, a client's from its peer (started for it when none runs). True
  // when an attempt is under way (started, already connected or already
  // trying); false without a master-server host, while its name is being
  // looked up, and when the peer refuses.
  bool connectToMasterServer(bool asServer);

  // -- Players (player_admin.cpp) -----------------------------------------------
  // Prints the players to the console (a server), or the ping to the server.
  void listPlayers();
  // Closes the player's connection, refuses its address for 60 s and
  // announces it; an unknown id does nothing.
  void kickPlayer(uint32_t id);
  void kickPlayer(const NetPlayer* player);
  // As kickPlayer, with the address refused while the peer runs.
  void banPlayer(uint32_t id);
  // The address of the first player (in map order) who controls `emp`; the
  // unassigned address when none does.
  RakNet::SystemAddress getEmpirePlayerAddress(const empire* emp);
  // Fills the connection statistics rows (label, value) of `table`; nothing
  // without a connection.
  void updateStatsText(irr::gui::IGUITable& table);

  // The fields, in the order of the session's own description.
  std::atomic<bool> isServer{false};     // a server peer started
  std::atomic<bool> isNetworked{false};  // a client peer started
  std::atomic<bool> isConnected{false};  // hosting, or accepted by the server
  std::atomic<bool> isHosting{false};    // this process hosts the game (no empire of its own)
  uint8_t maxPlayers = 0;
  irr::core::stringw serverName;
  uint16_t port = kDefaultGamePort;
  RakNet::RakPeerInterface* peer = nullptr;
  std::atomic<bool> playerListChanged{false};
  uint32_t nextUpdateTime = 0;  // the next replication step
  uint32_t updateMode = 1;      // 0 full per-player pass, 1 and 2 broadcast passes
  RakNet::SystemAddress masterAddress;
  bool masterClosePending = false;
  uint32_t masterCloseTime = 0;
  std::map<uint32_t, MessageReceiver*> receivers;
  std::set<generic_object*> watchedObjects;  // guarded by playersLock
  // The connected players (server only), guarded by `playersLock`: hold it
  // to change the map or a record while another thread may read them.
  NetPlayerMap players;
  NetPlayer localPlayer;       // this process's own player: "Unknown"
  uint32_t peerVersion = kProtocolVersion;
  bool isPublic = false;               // announced to the master server
  uint32_t nextHeartbeatTime = 0;      // next master-server contact
  bool heartbeatDetails = false;       // the next heartbeat carries the details
  bool autoPause = true;               // pause while no player is connected
  bool welcomeMessage = true;          // greet each new player
  uint32_t restartInterval = 0;        // scheduled restart period, 0 for none
  uint32_t restartTime = 0;            // next scheduled restart
  uint32_t voteDeadline = 0;           // the running vote fails then
  uint32_t lastRestartNotice = 0;      // the last restart announcement; 0 for none since the restart
  uint32_t voteType = 0;               // the running vote, 0 for none
  irr::core::stringw voteArgument;
  bool votesEnabled = true;            // chat votes allowed
  irr::core::stringw consolePassword;  // remote console; empty refuses it

  std::mutex playersLock;

 private:
  // The device timer's real time.
  uint32_t now() const;
  // Handles one packet; false when the poll is to end.
  bool dispatch(RakNet::Packet& packet);
  // The peer was stopped (disconnect): a receive loop under way ends.
  uint32_t peerStops_ = 0;

  // Duties of a poll (dispatch.cpp).
  void runAutoPause();
  // True when the scheduled restart expired: the poll ends.
  bool runRestartSchedule(uint32_t nowMs);
  void runServerDuties(uint32_t nowMs);
  void runReplicationStep();
  void sweepDeadConnections();
  // Removes the player of `guid` when listed: its empire is released, the
  // leave is logged ("%ls" name, "%s" address) and announced as name +
  // `suffix`, the record erased.
  void removePlayer(RakNet::RakNetGUID guid, const char* logFormat, const wchar_t* suffix);

  // Places later work fills; empty until then.
  void requestWatchedObjects();
  void broadcastObjectUpdates(bool firstPass);
  void sendPlayerState(NetPlayer& player);

  // Connection events and session messages (connection_events.cpp).
  void onConnectionAccepted(const RakNet::Packet& packet);
  void onConnectionAttemptFailed(const RakNet::Packet& packet);
  void onNewIncomingConnection(const RakNet::Packet& packet, RakNet::RakNetGUID guid);
  void onNoFreeIncomingConnections();
  void onDisconnection(const RakNet::Packet& packet, RakNet::RakNetGUID guid, bool lost);
  void onBanned(const RakNet::Packet& packet);
  void onInvalidPassword();
  void onGameSettings(RakNet::BitStream& stream);
  // False when the version is refused (the peer is then stopped).
  bool onProtocolVersion(RakNet::BitStream& stream);
  void onSessionRestart();
  // A game message (113 to 139); `sender` is null on a client.
  void onGameMessage(uint8_t id, RakNet::BitStream& stream, NetPlayer* sender);
  bool isMasterServer(const RakNet::SystemAddress& address) const;
  // Closes the master server's connection when due and makes a public
  // server's contacts (master_server.cpp).
  void serveMasterServer(uint32_t nowMs);
  // The master server accepted our connection (16): a server sends its
  // heartbeat, a client asks for the list (master_server.cpp).
  void onMasterServerAccepted(const RakNet::Packet& packet);
  // A server-list chunk (212), taken only from the master server.
  void onServerListChunk(const RakNet::Packet& packet, RakNet::BitStream& stream);

  // Chat (113) and renames (114), chat.cpp.
  void onChat(const RakNet::Packet& packet, RakNet::BitStream& stream, NetPlayer* sender);
  void onPlayerName(RakNet::BitStream& stream, NetPlayer* sender);

  // Chat votes (votes.cpp). A vote command from `sender`: true when the
  // text ends there (a repeat of the running vote), false when it goes on
  // as a chat line.
  bool handleVoteCommand(NetPlayer& sender, const irr::core::stringw& text);
  // Counts the running vote: it passes, runs out or waits. True when a
  // passed restart vote ended the session (the poll ends).
  bool tallyVote();
  // Sends the localised text of `key` to every peer as a chat line.
  void announce(const wchar_t* key);
  void clearVote();
  // The session restarts with the same settings: every player becomes a
  // spectator of the next game, and the clients are told (145).
  void restartSessionNow();
  // The empire of a player who leaves goes back to its AI.
  static void releaseEmpire(empire* emp);
  // Kick and ban (player_admin.cpp): the map key of the player `id`, and
  // the removal of a player whose address is refused for `banMs` (0: while
  // the peer runs), logged with "%ls" the name and announced as name +
  // `suffix`.
  bool findPlayerById(uint32_t id, uint64_t& guid);
  void expelPlayer(uint64_t guid, uint32_t banMs, const char* logFormat, const wchar_t* suffix);

  SendObserver sendObserver_;
};

// The process's network manager (lives for the whole process).
extern NetworkManager* networkManager;

// The process's manager with its built-in receivers entered (the effect
// graphics 129, diplomatic messages 132, treaties 133, research 134).
// Called once at start-up; later calls change nothing.
NetworkManager* createNetworkManager();

// Whether this process plays as the client of a remote server (a client peer
// started and connected): the server then decides the game's rules.
inline bool isNetworkClient() {
  return networkManager != nullptr && networkManager->isNetworked && networkManager->isConnected;
}

// Sends `stream` to every player who has the galaxy, one by one: high
// priority, unreliable sequenced, channel 2 (the object update batches).
void sendToInGamePlayers(NetworkManager& manager, RakNet::BitStream* stream);

// A heap stream for a message built away from the network thread (null when
// it cannot be had), and its release.
RakNet::BitStream* newBitStream();
void deleteBitStream(RakNet::BitStream* stream);

// The object detail record's text hash: over the UTF-16 units c, h =
// rotate-left(h, 8) + c, then h raised to 1 + floor(units / 3) (wrapping
// 32-bit products). The empty text gives 0.
uint32_t hashWideString(const irr::core::stringw& text);

// How far the galaxy transfer to this client has come, 0 to 1 (1 also ends a
// client's wait when its connection is refused).
extern std::atomic<float> galaxyProgress;

// The game port published for the port-mapping thread.
void publishGamePort(uint16_t port);
uint16_t publishedGamePort();
