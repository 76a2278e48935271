// The master server: a public server announces itself to it, and a client
// asks it for the list of servers.
//
// Every 8 s a public server connects to the master server from its second
// socket, sends one heartbeat (210) once accepted, and closes the connection
// 100 ms later. The master server listens on ports 25000 to 25009; a
// connection from one of them is the master server's everywhere in the
// dispatcher. A client connects the same way, asks for the list (212) and
// collects the chunks that come back.
//
//   210 heartbeat, server to master server:
//   field              encoding
//   details present    1 bit
//   server name        wide string, at most 255 units     } only with
//   mod name           narrow string, at most 255 bytes   } the details
//   game port          u16                                }
//   player count       u8
//   maximum players    u8
//
//   212 list request, client to master server: the id byte alone.
//
//   212 list chunk, master server to client: entries up to the stream's end,
//   each:
//   field              encoding
//   address            48 bits (platform/system_address_io.h)
//   player count       u8
//   maximum players    u8
//   name is wide       1 bit
//   name               wide string if the bit is set, else narrow (widened)
//   mod name           narrow string
//
// A chunk is taken only from the master server's address, and only by a
// process that asked for the list. A read that fails drops that entry and
// the rest of the chunk; an entry with the unassigned address or an empty
// name is dropped and reading goes on. The list keeps at most
// kServerListLimit entries.
//
// The host comes from config.cfg's sMasterServer; with none (the built-in
// value is empty) nothing is ever attempted. A host name is looked up on a
// helper thread and kept, so that no contact waits for a name server: a
// contact before the first answer starts the look-up and is skipped.
#pragma once

#include <irrString.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/peer_types.h"

namespace RakNet {
class BitStream;
}
class NetworkManager;

// Time between two contacts of a public server, how long the connection
// stays open after the heartbeat, and how much later a busy master server
// (20) is asked again.
constexpr uint32_t kHeartbeatIntervalMs = 8000;
constexpr uint32_t kMasterCloseDelayMs = 100;
constexpr uint32_t kMasterBusyDelayMs = 5000;
// One heartbeat in four, about, carries the details.
constexpr int kHeartbeatDetailsPercent = 25;
// The master server's connection attempt: requests, their interval, and the
// time-out of the connection once made.
constexpr unsigned kMasterConnectAttempts = 6;
constexpr unsigned kMasterConnectIntervalMs = 500;
constexpr unsigned kMasterConnectTimeoutMs = 1000;
// The most entries the server list keeps.
constexpr std::size_t kServerListLimit = 4096;
// The mod name a heartbeat gives while the game-setup screen is open.
constexpr char kLobbyModName[] = "Lobby";

// One listed server.
struct ServerListEntry {
  irr::core::stringw name;
  irr::core::stringc modName;  // the mod it runs, or "Lobby"
  RakNet::SystemAddress address;
  uint8_t playerCount = 0;
  uint8_t maxPlayers = 0;
};

// Builds and sends 210 to the master server (high priority, reliable,
// channel 0).
void sendMasterHeartbeat(NetworkManager& manager, bool withDetails);
// Sends the list request (212) to the master server (channel 0, reliable)
// and from then on takes its chunks.
void requestServerList(NetworkManager& manager);

// Appends the entries of a chunk (read position behind the id byte) to
// `list`, up to kServerListLimit entries in all.
void readServerListChunk(RakNet::BitStream& stream, std::vector<ServerListEntry>& list);

// The process's server list (a copy), and its emptying.
std::vector<ServerListEntry> serverList();
void clearServerList();
// Whether this process asked the master server for the list.
bool serverListRequested();

// The master-server port of a contact: 25000 + ((draw >> 2) mod 10), for a
// draw from 0 to 32767.
uint16_t masterServerPort(int draw);

// What the master-server contacts have done in this process: connection
// attempts handed to the peer, and host-name look-ups started.
uint32_t masterConnectAttempts();
uint32_t masterNameLookups();
// Forgets the looked-up address (the next contact looks the name up again).
void forgetMasterServerAddress();
