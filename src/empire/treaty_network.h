// Treaties on the network: the treaty's network record and message 133.
//
// Network record (widths in bits):
//   from empire ID 8 (131 for none), to empire ID 8, clause count 8, then
//   per clause: reversed 1, the clause kind id as a net wide string (cap
//   255), then per option of the kind: type 8 (0 none, 1 integer, 2 float,
//   3 string) and the value (32-bit integer, the float's 32 bits, a net
//   wide string with cap 255; nothing for type 0).
//
// Message 133 = {133, sub-kind, contents}, sent on ordering channel 8,
// reliable ordered:
//   0 proposal   (client -> server) the treaty's record
//   1 answer     (client -> server) treaty ID 32, from empire ID 8, state 8
//   2 full list  (server -> one player) standing treaties: count 8, each its
//                ID 32, record, bit 1; proposals: count 8, each its ID 32,
//                record, bit 0
#pragma once

#include <cstdint>

#include "platform/peer_types.h"

namespace RakNet {
class BitStream;
}
class empire;
class ITreaty;

constexpr uint8_t kTreatyMessageId = 133;
constexpr uint8_t kTreatyChannel = 8;
enum TreatyMessageKind : uint8_t {
  TMK_Proposal = 0,
  TMK_Answer = 1,
  TMK_List = 2,
};

// The treaty ID counter: process-wide, 1 at start, never reset. Each call
// gives the incremented value (the first is 2). Any thread.
uint32_t takeTreatyID();

void writeTreaty(ITreaty* treaty, RakNet::BitStream& stream);
// Reads one record and files the treaty: on a network client the record
// starts with its ID and ends with an "active" bit (when not hosting);
// otherwise the treaty takes takeTreatyID(). Records between missing,
// identical or invalid empires, or whose from empire is not
// `requiredSender` (when given), are ignored, but still read to their end
// so that the records after them in a list stay in step; a record that
// cannot be read whole, or names an unknown clause kind, is destroyed with
// its clauses.
// A treaty read as active by a client, or whose clauses are all offensive
// on a client, is filed as standing on both empires with state 1 and no
// clause hook run (the server runs it); elsewhere an all-offensive treaty is
// activated with state 1. Any other is recorded as a proposal on both
// empires. Gives false when nothing was filed.
bool readTreaty(empire* requiredSender, RakNet::BitStream& stream);

// Sub-kind 0 to the server.
void sendTreatyProposal(ITreaty* treaty);
// Sub-kind 1 to the server (ITreaty::setState on a client calls it).
void sendTreatyAnswer(ITreaty* treaty, uint32_t state);
// Sub-kind 2 to `player`: `emp`'s standing treaties and proposals, under its
// treaties area.
void sendTreaty(empire* emp, const RakNet::SystemAddress& player);
// A client's receipt of sub-kind 2 (the stream after the sub-kind byte):
// the local player's empire (activeEmpire) lets go of its treaties and
// proposals and takes the lists read; without that empire it is ignored.
void readTreatyList(RakNet::BitStream& stream);
// The server's receipt of sub-kind 1 from `sender`'s player: applied to the
// sender's pending proposal when its ID and from empire match and the state
// is 1 or 2.
void readTreatyAnswer(RakNet::BitStream& stream, empire* sender);
