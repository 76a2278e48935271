// The first byte of every game message, and what each means. The peer's own
// connection events (16 to 24) are in platform/peer_types.h. Messages whose
// handlers live elsewhere keep their constants there too (the order 116,
// the hull layout 127, the effect graphics 129, the diplomatic message 132).
#pragma once

#include <cstdint>

namespace msgid {

constexpr uint8_t kChat = 113;             // a chat line, a server notice or a vote
constexpr uint8_t kPlayerName = 114;       // a player renames itself
constexpr uint8_t kGalaxyRequest = 115;    // a client asks for the galaxy
constexpr uint8_t kPlayAs = 119;           // play-as request and empire assignment
constexpr uint8_t kGalaxyEnd = 121;        // galaxy transfer progress and end
constexpr uint8_t kGameTime = 122;         // the server's game time
constexpr uint8_t kObjectDetails = 126;    // detail request and record of one object
constexpr uint8_t kEmpireSetting = 130;    // an empire setting, or an empire's periodic state
constexpr uint8_t kDiplomacy = 133;        // treaty traffic
constexpr uint8_t kResearch = 134;         // research web traffic
constexpr uint8_t kGameSetup = 141;        // the game-setup screen's state
constexpr uint8_t kGameSettings = 142;     // mod name, game settings and formula constants
constexpr uint8_t kProtocolVersion = 143;  // the server's protocol version
constexpr uint8_t kRemoteConsole = 144;    // a console line for the server, with its password
constexpr uint8_t kSessionRestart = 145;   // the server restarts its session
constexpr uint8_t kMasterHeartbeat = 210;  // a server's heartbeat to the master server
constexpr uint8_t kMasterServerList = 212; // the master server's list of servers

// The game's own messages from a client that act for a player: 113 to 139.
constexpr uint8_t kFirstGameMessage = 113;
constexpr uint8_t kLastGameMessage = 139;

}  // namespace msgid
