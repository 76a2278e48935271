#include "empire/treaty_network.h"

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>

#include "core/log.h"
#include "core/net_encoders.h"
#include "core/utf8.h"
#include "empire/empire.h"
#include "empire/treaty.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "script/script_string.h"

namespace {

// The widest counts a one-byte field carries. Longer lists are cut to it, so
// that the count always matches the records that follow.
constexpr uint32_t kMaxSentClauses = 255;
constexpr uint32_t kMaxListedTreaties = 255;

std::atomic<uint32_t> treatyIDCounter{1};

irr::core::stringw textOf(const ScriptString* text) {
  return text != nullptr ? text->toStringw() : irr::core::stringw();
}

void sendTreatyMessage(RakNet::BitStream& stream, const RakNet::SystemAddress& target) {
  if (networkManager != nullptr)
    networkManager->send(&stream, kTreatyChannel, RakNet::RELIABLE_ORDERED, target);
}

void startMessage(RakNet::BitStream& stream, TreatyMessageKind kind) {
  stream.Write(kTreatyMessageId);
  stream.Write(static_cast<uint8_t>(kind));
}

void writeOption(RakNet::BitStream& stream, const ClauseOption* option) {
  const uint32_t type = option != nullptr ? option->getType() : OT_NONE;
  stream.Write(static_cast<uint8_t>(type));
  switch (type) {
    case OT_INTEGER:
      stream.Write(option->toInt());
      break;
    case OT_FLOAT:
      stream.Write(option->toFloat());
      break;
    case OT_STRING:
      writeNetStringW(stream, textOf(option->getString()), kMaxNetStringLength);
      break;
    default:
      break;
  }
}

// Reads the values of `clause`'s options, in its kind's order. False when
// the stream is short.
bool readOptions(RakNet::BitStream& stream, IClause* clause) {
  for (uint32_t i = 0; i < clause->getOptionCount(); ++i) {
    ClauseOption* option = clause->getOption(i);
    uint8_t type = OT_NONE;
    if (!stream.Read(type))
      return false;
    switch (type) {
      case OT_INTEGER: {
        int32_t value = 0;
        if (!stream.Read(value))
          return false;
        option->opAssign(value);
        break;
      }
      case OT_FLOAT: {
        float value = 0.0f;
        if (!stream.Read(value))
          return false;
        option->opAssign(value);
        break;
      }
      case OT_STRING: {
        irr::core::stringw text;
        if (!readNetStringW(stream, text))
          return false;
        ScriptString* value = new ScriptString(text);
        option->opAssign(value);
        value->release();
        break;
      }
      default:  // an untyped value carries nothing
        break;
    }
  }
  return true;
}

// The clauses of a record being read; each holds its making reference until
// the treaty has taken its own.
class ReadClauses {
 public:
  ReadClauses() = default;
  ReadClauses(const ReadClauses&) = delete;
  ReadClauses& operator=(const ReadClauses&) = delete;
  ~ReadClauses() {
    for (IClause* clause : clauses)
      clause->release();
  }

  std::vector<IClause*> clauses;
};

enum class RecordResult {
  Filed,     // the treaty was recorded or queued for activation
  Refused,   // read whole, but its empires (or lack of clauses) rule it out
  Abandoned  // cut short or naming an unknown clause kind: the stream is out of step
};

// Records `treaty` as a proposal on both of its empires. When the to empire
// refuses it (it holds a proposal with the from empire already), the from
// empire's new entry is taken back, which ends the treaty.
bool recordProposal(ITreaty* treaty) {
  empire* from = treaty->getFromEmpire();
  empire* to = treaty->getToEmpire();
  if (!from->setProposedTreaty(to, treaty))
    return false;
  if (to->setProposedTreaty(from, treaty))
    return true;
  ScopedWriteLock guard(from->locks[EA_Treaties]);
  if (from->getProposedTreaty(to) == treaty)
    from->setProposedTreaty(to, nullptr);
  return false;
}

// A client's copy of a treaty in force: filed as standing on both of its
// empires at once, with no clause hook run. The server runs the treaty and
// owns its effects; the client only shows it.
void fileStandingTreaty(ITreaty* treaty) {
  for (empire* emp : {treaty->getFromEmpire(), treaty->getToEmpire()}) {
    ScopedWriteLock guard(emp->locks[EA_Treaties]);
    treaty->addRef();
    emp->treaties.push_back(treaty);
  }
}

// Reads one treaty record (the steps are readTreaty's) and files the treaty.
// A refused record is still read to its end, so that a list of records
// stays in step.
RecordResult readTreatyRecord(empire* requiredSender, RakNet::BitStream& stream) {
  const bool client = isNetworkClient();
  const bool hosting = networkManager != nullptr && networkManager->isServer;

  uint32_t id = 0;
  if (client && !stream.Read(id))
    return RecordResult::Abandoned;
  empire* from = readNetEmpire(stream);
  empire* to = readNetEmpire(stream);
  uint8_t clauseCount = 0;
  if (!stream.Read(clauseCount))
    return RecordResult::Abandoned;
  const bool refused = from == nullptr || to == nullptr || from == to ||
                       (requiredSender != nullptr && from != requiredSender) || !from->isValid() || !to->isValid() ||
                       clauseCount == 0;

  ReadClauses read;
  bool allOffensive = true;
  for (uint32_t i = 0; i < clauseCount; ++i) {
    bool reversed = false;
    irr::core::stringw kind;
    if (!stream.Read(reversed) || !readNetStringW(stream, kind)) {
      logWarning("A treaty record from the network is cut short: ignored\n");
      return RecordResult::Abandoned;
    }
    IClause* clause = createClause(kind, reversed);
    if (clause == nullptr) {
      logWarning("A treaty record from the network names the unknown clause kind \"%s\": ignored\n",
                 wideToUtf8(kind.c_str()).c_str());
      return RecordResult::Abandoned;
    }
    read.clauses.push_back(clause);
    allOffensive = allOffensive && clause->isOffensive();
    if (!readOptions(stream, clause)) {
      logWarning("A treaty record from the network is cut short: ignored\n");
      return RecordResult::Abandoned;
    }
  }
  bool active = false;
  if (!hosting && !stream.Read(active)) {
    logWarning("A treaty record from the network is cut short: ignored\n");
    return RecordResult::Abandoned;
  }
  if (refused)
    return RecordResult::Refused;

  auto* treaty = new CTreaty(from, to);
  for (IClause* clause : read.clauses)
    treaty->addClause(clause);
  treaty->setID(client ? id : takeTreatyID());

  // Only a treaty every clause of which one side may impose alone comes into
  // force unanswered (or one the server says stands).
  bool filed = true;
  if ((hosting || !active) && !allOffensive) {
    filed = recordProposal(treaty);
  } else {
    // Stored without setState: what the reader learns is no answer of this
    // process's player and must not go back to the server.
    treaty->state = TS_Accepted;
    if (client)
      fileStandingTreaty(treaty);
    else
      queueTreatyActivation(treaty);
  }
  treaty->release();
  return filed ? RecordResult::Filed : RecordResult::Refused;
}

// Reads a count and that many records; false when the stream fell out of
// step (the rest of the message is then ignored).
bool readTreatyRecords(RakNet::BitStream& stream) {
  uint8_t count = 0;
  if (!stream.Read(count))
    return false;
  for (uint32_t i = 0; i < count; ++i)
    if (readTreatyRecord(nullptr, stream) == RecordResult::Abandoned)
      return false;
  return true;
}

}  // namespace

uint32_t takeTreatyID() { return treatyIDCounter.fetch_add(1) + 1; }

void writeTreaty(ITreaty* treaty, RakNet::BitStream& stream) {
  writeNetEmpire(stream, treaty->getFromEmpire());
  writeNetEmpire(stream, treaty->getToEmpire());
  const uint32_t clauseCount = std::min(treaty->getClauseCount(), kMaxSentClauses);
  stream.Write(static_cast<uint8_t>(clauseCount));
  for (uint32_t i = 0; i < clauseCount; ++i) {
    const IClause* clause = treaty->getClause(i);
    stream.Write(clause->isReversed());
    writeNetStringW(stream, textOf(clause->getId()), kMaxNetStringLength);
    for (uint32_t j = 0; j < clause->getOptionCount(); ++j)
      writeOption(stream, clause->getOption(j));
  }
}

bool readTreaty(empire* requiredSender, RakNet::BitStream& stream) {
  return readTreatyRecord(requiredSender, stream) == RecordResult::Filed;
}

void sendTreatyProposal(ITreaty* treaty) {
  if (treaty == nullptr)
    return;
  RakNet::BitStream stream;
  startMessage(stream, TMK_Proposal);
  writeTreaty(treaty, stream);
  sendTreatyMessage(stream, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}

void sendTreatyAnswer(ITreaty* treaty, uint32_t state) {
  if (treaty == nullptr)
    return;
  RakNet::BitStream stream;
  startMessage(stream, TMK_Answer);
  stream.Write(treaty->getID());
  writeNetEmpire(stream, treaty->getFromEmpire());
  stream.Write(static_cast<uint8_t>(state));
  sendTreatyMessage(stream, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}

void sendTreaty(empire* emp, const RakNet::SystemAddress& player) {
  if (emp == nullptr)
    return;
  RakNet::BitStream stream;
  startMessage(stream, TMK_List);
  {
    ScopedReadLock guard(emp->locks[EA_Treaties]);
    const uint32_t standing = std::min<uint32_t>(emp->treaties.size(), kMaxListedTreaties);
    stream.Write(static_cast<uint8_t>(standing));
    for (uint32_t i = 0; i < standing; ++i) {
      ITreaty* treaty = emp->treaties[i];
      stream.Write(treaty->getID());
      writeTreaty(treaty, stream);
      stream.Write1();
    }

    std::vector<ITreaty*> proposals;
    for (const auto& entry : emp->proposedTreaties)
      if (entry.second != nullptr && proposals.size() < kMaxListedTreaties)
        proposals.push_back(entry.second);
    stream.Write(static_cast<uint8_t>(proposals.size()));
    for (ITreaty* treaty : proposals) {
      stream.Write(treaty->getID());
      writeTreaty(treaty, stream);
      stream.Write0();
    }
  }
  sendTreatyMessage(stream, player);
}

void readTreatyList(RakNet::BitStream& stream) {
  empire* own = activeEmpire;
  if (own == nullptr)
    return;

  // The old proposals, each with the reference its map entry held.
  std::vector<ITreaty*> withdrawn;
  {
    ScopedWriteLock guard(own->locks[EA_Treaties]);
    for (irr::u32 i = 0; i < own->treaties.size(); ++i) {
      own->treaties[i]->setEnded();
      own->treaties[i]->release();
    }
    own->treaties.clear();
    for (const auto& entry : own->proposedTreaties) {
      if (entry.second == nullptr)
        continue;
      entry.second->setEnded();
      withdrawn.push_back(entry.second);
    }
    own->proposedTreaties.clear();
  }

  // The other party holds each old proposal too; its entry goes now, so that
  // the same proposal read again below can be recorded on both sides. Taken
  // one empire at a time: no treaties area is held while another is taken.
  for (ITreaty* treaty : withdrawn) {
    empire* other = treaty->getFromEmpire() == own ? treaty->getToEmpire() : treaty->getFromEmpire();
    if (other != nullptr && other != own) {
      ScopedWriteLock guard(other->locks[EA_Treaties]);
      const auto found = other->proposedTreaties.find(own);
      if (found != other->proposedTreaties.end() && found->second == treaty) {
        other->proposedTreaties.erase(found);
        treaty->release();
      }
    }
    treaty->release();
  }

  // Standing treaties, then proposals. Each record files itself on both of
  // its empires, so no treaties area is held here.
  if (readTreatyRecords(stream))
    readTreatyRecords(stream);
}

void readTreatyAnswer(RakNet::BitStream& stream, empire* sender) {
  uint32_t id = 0;
  uint8_t state = 0;
  if (!stream.Read(id))
    return;
  empire* from = readNetEmpire(stream);
  if (!stream.Read(state) || from == nullptr || sender == nullptr)
    return;
  if (state != TS_Accepted && state != TS_Rejected)
    return;
  ScopedWriteLock guard(sender->locks[EA_Treaties]);
  ITreaty* treaty = sender->getProposedTreaty(from);
  if (treaty != nullptr && treaty->getID() == id && treaty->getFromEmpire() == from)
    treaty->setState(state);
}
