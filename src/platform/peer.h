// The network peer: connections to and from other peers over UDP, carrying
// whole messages with a priority, a reliability and an ordering channel,
// and reporting connection events as one-byte messages (ids 16 to 24, see
// peer_types.h). The transport beneath is ENet; the connection handshake,
// the stateless cookie against spoofed attempts and the message rules are
// the layer's own (peer_wire.h).
//
// Every call may come from any thread and none waits on the network (but
// Shutdown with a block time, which waits at most that long, and Connect
// given a host name, which asks the system's resolver). One service thread
// per started peer runs the transport under the peer's lock: it hands queued
// messages to the transport, highest priority first, and queues what
// arrives for Receive.
//
// Connecting:
//  1. The connecting side sends a request datagram, once per attempt, from
//     the socket it will connect from.
//  2. The other side answers from the request alone: a refusal (wrong
//     password 24, full 20, that peer id already connected 18, banned 23)
//     or a cookie bound to the requester's address and port.
//  3. The requester opens the transport connection with 14 channels and the
//     cookie as its connect data. A host drops every datagram from a
//     stranger but such a connect, so a forged source cannot take a slot.
//  4. The requester's first message is the hello (its id and password
//     again), checked once more; the accepted side sends the confirm and
//     reports 19, the requester reports 16 on the confirm. A refusal here is
//     a close whose data is the refusal's event. A handshake not finished
//     within 5 s is dropped (no event on the accepting side, 17 on the
//     requester).
//  5. No answer after the last attempt: 17, one interval after it.
//
// Delivery: RELIABLE, RELIABLE_ORDERED and RELIABLE_SEQUENCED arrive exactly
// once, and within one priority in the order they were sent to that
// connection, whatever their ordering channels. UNRELIABLE_SEQUENCED may be
// lost, and never arrives older after newer on its channel; UNRELIABLE may be
// lost. One transport packet is one message; a received message that is
// empty or starts with an id below 32 is dropped (counted), never delivered.
//
// Closing: a close with notice lets everything queued before it leave first,
// and the remote then reports 21; a close without notice drops the
// connection at once and the remote reports 22 after its time-out. The
// closing side reports nothing. A connection from which nothing at all has
// been heard for the time-out (10 s unless set by SetTimeoutTime; both ends
// ping while idle) is reported as 22.
//
// Limits (peer_limits.h): message sizes by the host's role, connections and
// handshakes per address, the handshake time, the send queue. Datagrams that
// belong to no connection, or that no peer of ours would send, are dropped
// and counted by reason (GetDropCount); the system discards empty ones
// before the layer sees them.
#pragma once

#include <cstdint>

#include "platform/peer_statistics.h"
#include "platform/peer_types.h"

namespace RakNet {

class BitStream;

class RakPeerInterface {
 public:
  // A new, stopped peer with an id of its own; DestroyInstance frees it.
  static RakPeerInterface* GetInstance();
  // Shuts the peer down without notice (as Shutdown(0)) and frees it with
  // every packet it still queues. Packets already taken must have been
  // given back. Null does nothing.
  static void DestroyInstance(RakPeerInterface* peer);

  virtual ~RakPeerInterface() = default;

  // Opens one socket per descriptor (the first is socket index 0) and starts
  // the service thread. `maxConnections` bounds the connections of every
  // kind together. The thread runs at the system's normal priority whatever
  // `threadPriority` asks. 0 on success, else a StartupResult and the peer
  // stays stopped.
  virtual StartupResult Startup(unsigned maxConnections, const SocketDescriptor* descriptors,
                                unsigned descriptorCount, int threadPriority) = 0;
  virtual bool IsActive() const = 0;

  // How many remote peers may connect to this one (0 at first, capped by
  // Startup's count); what is over is refused with 20.
  virtual void SetMaximumIncomingConnections(unsigned count) = 0;
  virtual unsigned GetMaximumIncomingConnections() const = 0;
  // The password a connecting peer must give, exactly these bytes (at most
  // 29). False, and nothing changes, for a longer one or null text with a
  // length.
  virtual bool SetIncomingPassword(const char* password, int length) = 0;

  // Starts a connection attempt to host:port from socket `socketIndex`:
  // `attempts` requests `intervalMs` apart; `timeoutMs` is the connection's
  // time-out once made (0: the peer's). The public key is not used and must
  // be null. Answers a ConnectResult; the outcome comes later as 16 (made),
  // 17, 18, 20, 23 or 24.
  virtual ConnectResult Connect(const char* host, uint16_t port, const char* password, int passwordLength,
                                const void* publicKey, unsigned socketIndex, unsigned attempts,
                                unsigned intervalMs, unsigned timeoutMs) = 0;

  // Closes the connection to `address`, or abandons an attempt to it. With
  // notice, what was queued for it leaves first and the remote then reports
  // 21; without, the remote reports 22 after its time-out. Nothing is
  // reported here. The channel and priority are accepted for callers' sake:
  // the notice always follows everything queued.
  virtual void CloseConnection(const SystemAddress& address, bool notify, uint8_t orderingChannel,
                               PacketPriority priority) = 0;
  // Stops the peer. With a block time, every connection is closed with
  // notice and the call waits at most `blockMs` for the queued data and the
  // notices to leave (what has not left by then is dropped without notice);
  // with 0 the connections are dropped without notice.
  // Packets not yet taken are freed; those taken stay valid until given
  // back.
  virtual void Shutdown(unsigned blockMs, uint8_t orderingChannel, PacketPriority priority) = 0;

  // Queues a message: to `target`, or with `broadcast` to every connection
  // but `target` (every one for the unassigned address). The ordering
  // channel is 0 to 11 or 100. Answers how many connections it was queued
  // for: 0 for bad arguments, a message above kClientMaxMessageBytes (no
  // peer takes one), a stopped peer or no such connection. A connection
  // whose queue would pass kMaxQueuedOutgoingBytes is closed instead
  // (peer_limits.h): the remote is told (21) and this side reports 22.
  virtual uint32_t Send(const BitStream* stream, PacketPriority priority, PacketReliability reliability,
                        uint8_t orderingChannel, const SystemAddress& target, bool broadcast) = 0;
  virtual uint32_t Send(const char* data, int length, PacketPriority priority, PacketReliability reliability,
                        uint8_t orderingChannel, const SystemAddress& target, bool broadcast) = 0;

  // The next received message or event, or null. Never waits.
  virtual Packet* Receive() = 0;
  virtual void DeallocatePacket(Packet* packet) = 0;

  // The state of the connection to `address` or to the peer with `guid`.
  virtual PeerConnectionState GetConnectionState(const SystemAddress& address) = 0;
  virtual PeerConnectionState GetConnectionState(const RakNetGUID& guid) = 0;
  // The id of the peer at `address`, also of one that left until its 21 or
  // 22 has been taken; this peer's own id for the unassigned address; else
  // the unassigned id.
  virtual RakNetGUID GetGuidFromSystemAddress(const SystemAddress& address) = 0;
  virtual RakNetGUID GetMyGUID() const = 0;
  // The open connection `index`, counting in the order they were made; the
  // unassigned address past the last.
  virtual SystemAddress GetSystemAddressFromIndex(unsigned index) = 0;
  virtual unsigned NumberOfConnections() = 0;

  // Time-out of silent connections: of the connection to `target`, or with
  // the unassigned address the peer's default (10 s at first) and every
  // connection's.
  virtual void SetTimeoutTime(unsigned timeoutMs, const SystemAddress& target) = 0;

  // How many messages or datagrams the layer dropped for `reason` since it
  // was made (see peer_statistics.h).
  virtual uint64_t GetDropCount(DropReason reason) = 0;

  // Refuses connections from the IPv4 address `address` (dotted text
  // without a port) for `milliseconds`, or for the life of this peer with 0:
  // its connection requests are answered with 23, and a handshake under way
  // from it is refused at its hello. Connections already open stay open.
  // Bans are kept by this peer only (also across Shutdown and Startup) and
  // stored nowhere. A later ban of the same address replaces the earlier.
  // False, and nothing changes, for text that is no such address.
  virtual bool AddToBanList(const char* address, uint32_t milliseconds) = 0;
  // True while a ban of the address (`address` as AddToBanList takes it)
  // holds.
  virtual bool IsBanned(const char* address) = 0;

  // The round-trip time to the open connection at `address` in
  // milliseconds, as last measured (the transport's running mean over its
  // acknowledgements); -1 when there is no open connection there.
  virtual int GetLastPing(const SystemAddress& address) = 0;

  // The statistics of the open connection at `address` (peer_statistics.h);
  // false, and `out` untouched, when there is none.
  virtual bool GetStatistics(const SystemAddress& address, RakNetStatistics& out) = 0;

  // -- For tests --------------------------------------------------------------
  // Holds the service thread (nothing is sent or received) until released.
  virtual void HoldService(bool hold) = 0;
  // Transport peer slots in use over every socket (connections, handshakes
  // and closings alike).
  virtual unsigned TransportPeersInUse() = 0;
  // The port socket `index` is bound to (0 when there is no such socket).
  virtual uint16_t GetBoundPort(unsigned index) = 0;
  // The peer's clock (ban expiry, handshake time-outs, cookie windows,
  // connection attempts): moves it on at once, or holds it still until
  // released (see peer_clock.h). The service thread looks at its timers
  // again at once.
  virtual void AdvanceClock(uint64_t milliseconds) = 0;
  virtual void HoldClock(bool hold) = 0;
};

}  // namespace RakNet
