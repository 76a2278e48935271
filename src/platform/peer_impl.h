// The peer over ENet (see peer.h): its connections, attempts, queues and
// service thread. Internal to the platform library.
#pragma once

#include <enet/enet.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "platform/peer.h"
#include "platform/peer_bans.h"
#include "platform/peer_clock.h"
#include "platform/peer_limits.h"
#include "platform/peer_wire.h"
#include "platform/thread.h"

namespace RakNet {

// Time-out of a silent connection unless SetTimeoutTime says otherwise.
constexpr unsigned kDefaultTimeoutMs = 10000;
// The service thread looks at its timers at least this often.
constexpr int kServiceIdleWaitMs = 10;
// Queued messages are handed to the transport only when it has sent what it
// had, at most this many bytes a round (at least one message), so that a
// later message of higher priority overtakes a backlog of lower ones.
constexpr std::size_t kHandOverBytes = 64 * 1024;
// Transport slots per socket: the connections Startup allows, as many again
// for handshakes and closings under way, and a few spare.
constexpr std::size_t transportSlots(unsigned maxConnections) { return 2u * maxConnections + 8u; }
// Most connections Startup accepts (the transport addresses 4095 peers).
constexpr unsigned kMaxConnectionsLimit = 2043;

class EnetPeer final : public RakPeerInterface {
 public:
  EnetPeer();
  ~EnetPeer() override;

  StartupResult Startup(unsigned maxConnections, const SocketDescriptor* descriptors, unsigned descriptorCount,
                        int threadPriority) override;
  bool IsActive() const override;
  void SetMaximumIncomingConnections(unsigned count) override;
  unsigned GetMaximumIncomingConnections() const override;
  bool SetIncomingPassword(const char* password, int length) override;
  ConnectResult Connect(const char* host, uint16_t port, const char* password, int passwordLength,
                        const void* publicKey, unsigned socketIndex, unsigned attempts, unsigned intervalMs,
                        unsigned timeoutMs) override;
  void CloseConnection(const SystemAddress& address, bool notify, uint8_t orderingChannel,
                       PacketPriority priority) override;
  void Shutdown(unsigned blockMs, uint8_t orderingChannel, PacketPriority priority) override;
  uint32_t Send(const BitStream* stream, PacketPriority priority, PacketReliability reliability,
                uint8_t orderingChannel, const SystemAddress& target, bool broadcast) override;
  uint32_t Send(const char* data, int length, PacketPriority priority, PacketReliability reliability,
                uint8_t orderingChannel, const SystemAddress& target, bool broadcast) override;
  Packet* Receive() override;
  void DeallocatePacket(Packet* packet) override;
  PeerConnectionState GetConnectionState(const SystemAddress& address) override;
  PeerConnectionState GetConnectionState(const RakNetGUID& guid) override;
  RakNetGUID GetGuidFromSystemAddress(const SystemAddress& address) override;
  RakNetGUID GetMyGUID() const override { return myGuid_; }
  SystemAddress GetSystemAddressFromIndex(unsigned index) override;
  unsigned NumberOfConnections() override;
  void SetTimeoutTime(unsigned timeoutMs, const SystemAddress& target) override;
  uint64_t GetDropCount(DropReason reason) override;
  bool AddToBanList(const char* address, uint32_t milliseconds) override;
  bool IsBanned(const char* address) override;
  int GetLastPing(const SystemAddress& address) override;
  bool GetStatistics(const SystemAddress& address, RakNetStatistics& out) override;
  void HoldService(bool hold) override;
  unsigned TransportPeersInUse() override;
  uint16_t GetBoundPort(unsigned index) override;
  void AdvanceClock(uint64_t milliseconds) override;
  void HoldClock(bool hold) override;

 private:
  // Where a connection stands.
  enum class Phase {
    AwaitTransport,  // ours: the transport connect is under way
    AwaitConfirm,    // ours: hello sent, waiting for the confirm
    AwaitHello,      // theirs: transport connected, waiting for the hello
    Open,
    Closing,         // closed by us with notice: queued data leaves, then the notice
    Refusing,        // theirs, refused at the hello: the refusal is on its way
  };

  struct OutMessage {
    ENetPacket* packet;
    uint8_t channel;
  };

  struct Connection {
    ~Connection();

    uint64_t serial = 0;
    SystemAddress address;
    RakNetGUID guid;  // known from the hello (theirs) or the confirm (ours)
    unsigned socketIndex = 0;
    ENetPeer* transport = nullptr;
    bool outgoing = false;
    Phase phase = Phase::AwaitTransport;
    uint64_t handshakeDeadlineMs = 0;
    std::string password;  // ours: what the hello carries
    unsigned timeoutMs = 0;
    bool closeIssued = false;  // the transport was told to disconnect
    std::deque<OutMessage> queues[kPriorityCount];
    std::size_t queuedBytes = 0;  // the bytes of every message in `queues`
    // Sent a message over the host's limit: closed after this round, and
    // nothing more is read from it.
    bool oversized = false;
    ConnectionAccounting accounting;
  };

  // An attempt of ours in its request stage.
  struct Attempt {
    SystemAddress target;
    unsigned socketIndex = 0;
    std::string password;
    unsigned attempts = 0;  // requests to send in all
    unsigned sent = 0;
    unsigned intervalMs = 0;
    unsigned timeoutMs = 0;
    uint64_t nextMs = 0;  // the next request, or the failure after the last
    uint32_t firstNonce = 0;
  };

  // A connection the remote closed, kept for GetGuidFromSystemAddress until
  // its event has been taken.
  struct Departed {
    SystemAddress address;
    RakNetGUID guid;
    uint64_t serial = 0;
  };

  struct Queued {
    Packet* packet;
    uint64_t retires;  // the departed connection whose event this is, or 0
  };

  // -- Service thread (all under lock_) --------------------------------------
  static uint32_t serviceEntry(void* self);
  static int ENET_CALLBACK interceptEntry(ENetHost* host, ENetEvent* event);
  void serviceLoop();
  void serviceRound();
  void pumpSocket(unsigned index);
  int onDatagram(unsigned index);
  // A datagram naming one of the host's transport peers: 1 to drop it (it
  // fits none of them, or carries a message over the host's limit), 0 to
  // let the transport have it.
  int onKnownDatagram(unsigned index, const SystemAddress& from, const uint8_t* data, std::size_t length);
  void onRequest(unsigned index, const SystemAddress& from, const wire::Request& request);
  void onAnswer(unsigned index, const SystemAddress& from, const wire::Answer& answer);
  void onTransportConnect(unsigned index, ENetPeer* peer);
  void onTransportReceive(ENetPeer* peer, ENetPacket* packet);
  void onTransportDisconnect(ENetPeer* peer, uint32_t data);
  void onHello(Connection& connection, const uint8_t* data, std::size_t length);
  void onConfirm(Connection& connection, const uint8_t* data, std::size_t length);
  void runTimers(uint64_t now);
  void handOver();
  int waitMs(uint64_t now) const;

  // -- Helpers (under lock_) ---------------------------------------------------
  // 0 when a peer with `guid` and `password` may connect from `from`, else
  // the refusal. `self` is the connection asking (at the hello), else null.
  uint8_t admission(const SystemAddress& from, uint64_t guid, const std::string& password,
                    const Connection* self) const;
  bool isBanned(const SystemAddress& address) const;
  void closeOversized();
  unsigned openIncoming() const;
  unsigned openConnections() const;
  Connection* liveConnection(const SystemAddress& address) const;
  PeerConnectionState stateOf(const SystemAddress& address) const;
  Connection* newConnection(const SystemAddress& address, unsigned socketIndex, ENetPeer* transport);
  void open(Connection& connection, RakNetGUID guid);
  // Forgets a connection whose transport is already reset or gone.
  void forget(Connection& connection);
  // Resets the transport without notice and forgets the connection.
  void drop(Connection& connection);
  void fail(Connection& connection);
  void sendRequest(Attempt& attempt);
  void sendDatagram(unsigned index, const SystemAddress& to, const uint8_t* data, std::size_t length);
  void applyTimeout(Connection& connection);
  // Closes a connection the layer gave up on (a message over the limit, a
  // send queue over its cap): the remote is told (21), this side reports
  // 22 as for a lost connection.
  void abandon(Connection& connection, const char* why);
  // The message and waiting-data limits of every host, by the peer's role.
  void applyHostLimits();
  std::size_t maxMessageBytes() const { return maxIncomingMessageBytes(maxIncoming_ > 0); }
  // Connections and handshakes (every transport peer) from the IPv4 address.
  unsigned transportPeersFrom(uint32_t binaryAddress) const;
  // Reads the transport's packet counters of every connection into its
  // accounting (they start again from zero now and then).
  void sampleCounters(uint64_t now);
  // Hands one message to the transport (a server host may send more than
  // it takes).
  int transportSend(Connection& connection, uint8_t channel, ENetPacket* packet);
  void queueEvent(uint8_t id, const SystemAddress& address, RakNetGUID guid, uint64_t retires = 0);
  void queuePacket(const uint8_t* data, std::size_t length, const SystemAddress& address, RakNetGUID guid,
                   uint64_t retires);
  void countDrop(DropReason reason) { drops_.add(reason); }
  void wake();
  uint64_t nowMs() const;
  // Started and not shutting down: calls may change connections.
  bool running() const { return active_ && !shuttingDown_; }
  void stopService(std::unique_lock<std::mutex>& lock);
  void freeQueuedPackets();

  const RakNetGUID myGuid_;
  // Every timer of the layer reads it (cookie windows, handshake deadlines,
  // connection attempts).
  PeerClock clock_;

  // The layer's lock: every transport call and all connection state.
  mutable std::mutex lock_;
  std::condition_variable changed_;  // hold released, stop asked, a connection forgotten
  bool active_ = false;
  bool shuttingDown_ = false;  // Shutdown under way
  bool stopping_ = false;      // the service thread is to end
  bool held_ = false;
  std::vector<ENetHost*> sockets_;
  plat::ThreadHandle thread_;
  int wakeFd_ = -1;
  std::atomic<bool> wakePending_{false};

  unsigned maxConnections_ = 0;
  unsigned maxIncoming_ = 0;
  std::string password_;
  unsigned defaultTimeoutMs_ = kDefaultTimeoutMs;
  wire::CookieKeeper cookies_;
  std::mt19937_64 random_;

  uint64_t nextSerial_ = 1;
  std::map<SystemAddress, std::unique_ptr<Connection>> live_;
  std::vector<Connection*> established_;  // open connections in the order they were made
  std::map<SystemAddress, Attempt> attempts_;
  std::vector<Departed> departed_;
  // Strangers whose transport connect carried a valid cookie, and when the
  // first such connect came: their handshake time counts from there.
  std::map<SystemAddress, uint64_t> admitted_;
  // Connections that sent a message over the limit, closed once the round's
  // datagrams are read.
  std::vector<SystemAddress> oversized_;

  // Received messages and events, taken by Receive.
  std::mutex packetsLock_;
  std::deque<Queued> packets_;

  DropCounters drops_;
  // Lives as long as the peer: Shutdown keeps it.
  mutable BanList bans_;
};

}  // namespace RakNet
