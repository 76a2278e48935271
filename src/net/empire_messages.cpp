#include "net/empire_messages.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>
#include <vector>

#include "core/common_strings.h"
#include "core/locks.h"
#include "core/log.h"
#include "core/names.h"
#include "core/net_encoders.h"
#include "core/threads.h"
#include "core/utf8.h"
#include "design/hull_list.h"
#include "empire/empire.h"
#include "empire/empire_commands.h"
#include "empire/traits.h"
#include "net/chat_log.h"
#include "net/diplomacy_messages.h"
#include "net/message_receiver.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_guards.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/system_locks.h"

namespace {

using irr::core::stringw;

constexpr uint8_t ID_HULL_LAYOUT = 127;
// Ordering channels.
constexpr uint8_t kEmpireChannel = 0;
constexpr uint8_t kEmpireStateChannel = 6;
// Counts that travel in one byte.
constexpr size_t kMaxByteCount = 255;
// The oldest protocol version whose empire messages carry all four fields.
constexpr uint32_t kFullEmpireMessageVersion = 7;

// The thread's scratch stream, emptied; `fallback` when the thread has none.
RakNet::BitStream& scratchStream(RakNet::BitStream& fallback) {
  RakNet::BitStream* scratch = threadLocals().scratchStream;
  RakNet::BitStream& stream = scratch != nullptr ? *scratch : fallback;
  stream.Reset();
  return stream;
}

bool isServerSide() { return networkManager != nullptr && networkManager->isServer; }

// What a server knows of a message's sender, copied under the players lock.
struct SenderView {
  empire* emp = nullptr;
  bool inGame = false;
  RakNet::SystemAddress address;
};

// The sender's record as it stands; an empty view on a client or without a
// sender.
SenderView viewOf(const NetPlayer* sender) {
  SenderView view;
  if (sender == nullptr || !isServerSide())
    return view;
  std::lock_guard<std::mutex> guard(networkManager->playersLock);
  view.emp = sender->emp;
  view.inGame = sender->hasGalaxy != 0;
  view.address = sender->address;
  return view;
}

// The empire a server's sender controls; null for a spectator, for no
// sender, and on a client.
empire* senderEmpire(const NetPlayer* sender) { return viewOf(sender).emp; }

// A listed empire with exactly this ID, or null.
empire* listedEmpire(uint8_t id) {
  empire* emp = getEmpireByID(id);
  return emp != nullptr && emp != defaultEmpire() && emp->ID == id ? emp : nullptr;
}

// -- 127 ----------------------------------------------------------------------

// The evaluator's refusal, to the design's sender alone as a chat line.
void answerHullError(const stringw& text, const RakNet::SystemAddress& address) {
  if (address == RakNet::UNASSIGNED_SYSTEM_ADDRESS)
    return;
  RakNet::BitStream fallback;
  RakNet::BitStream& stream = scratchStream(fallback);
  writeChatMessage(stream, text);
  networkManager->sendDirect(&stream, RakNet::LOW_PRIORITY, RakNet::RELIABLE_ORDERED, kChatChannel, address, false);
}

// -- 130 ----------------------------------------------------------------------

// The server's periodic state as read, before any of it is applied.
struct EmpireState {
  std::vector<std::pair<stringw, float>> settings;
  std::vector<std::pair<uint8_t, uint16_t>> relations;
  std::vector<std::pair<uint8_t, stringw>> names;
  uint32_t visibility = 0;
};

// False when the stream is short or announces too many settings.
bool readEmpireState(RakNet::BitStream& stream, EmpireState& state) {
  uint16_t settingCount = 0;
  if (!stream.Read(settingCount) || settingCount > kMaxSentEmpireSettings)
    return false;
  state.settings.reserve(settingCount);
  for (uint16_t i = 0; i < settingCount; ++i) {
    stringw name;
    float value = 0.0f;
    if (!readNetStringW(stream, name) || !stream.Read(value))
      return false;
    state.settings.emplace_back(std::move(name), value);
  }
  uint8_t relationCount = 0;
  if (!stream.Read(relationCount))
    return false;
  for (uint8_t i = 0; i < relationCount; ++i) {
    uint8_t id = 0;
    uint16_t relation = 0;
    if (!stream.Read(id) || !stream.Read(relation))
      return false;
    state.relations.emplace_back(id, relation);
  }
  bool namesFollow = false;
  if (!stream.Read(namesFollow))
    return false;
  if (namesFollow) {
    uint8_t nameCount = 0;
    if (!stream.Read(nameCount))
      return false;
    for (uint8_t i = 0; i < nameCount; ++i) {
      uint8_t id = 0;
      stringw name;
      if (!stream.Read(id) || !readNetStringW(stream, name))
        return false;
      state.names.emplace_back(id, std::move(name));
    }
  }
  return stream.Read(state.visibility);
}

// Writes a state read whole into the local player's empire.
void applyEmpireState(empire* emp, const EmpireState& state) {
  ScopedWriteLock settingsGuard(emp->locks[EA_Settings]);
  // Not through empire::setSetting: a client's setSetting tells the server.
  for (const auto& setting : state.settings)
    if (float* value = settingFromPeer(emp, setting.first))
      *value = setting.second;
  for (const auto& entry : state.relations) {
    const empire* other = listedEmpire(entry.first);
    if (other == nullptr || other == emp)
      continue;
    EmpireRelation* relation = emp->lockRelation(other);
    relation->allied = (entry.second & 0xFF) != 0;
    relation->enemy = (entry.second >> 8) != 0;
    emp->unlockRelations();
  }
  for (const auto& entry : state.names)
    if (empire* named = listedEmpire(entry.first))
      named->setPlayerName(entry.second);
  emp->visibility.store(state.visibility);
}

// A server files a setting from the player of `emp`.
void acceptClientSetting(empire* emp, const stringw& name, float value) {
  if (!std::isfinite(value))
    return;
  ScopedWriteLock guard(emp->locks[EA_Settings]);
  // A name from the wire is held by the empire, never pooled.
  if (float* stored = settingFromPeer(emp, name, kMaxClientEmpireSettings))
    *stored = value;
}

// -- 136 ----------------------------------------------------------------------

bool ownedByValidEmpire(const generic_object& object) {
  const empire* owner = object.getOwner();
  return owner != nullptr && owner->isValid();
}

// Queues a colonisation of every free planet of the system `uid` on `emp`.
// The planets are gathered under the system's lock, which is released
// before the commands are made: making one takes the empire's objects area
// and other systems' locks, and the empire's step holds its commands area
// while its commands take system locks.
void colonizeSystem(empire* emp, uint32_t uid, bool toFront) {
  const HeldObject found(uid);
  generic_object* object = found.get();
  if (object == nullptr || object->getType() != OT_System)
    return;
  auto* system = static_cast<solarSystem*>(object);
  std::vector<generic_object*> planets;
  lockSolarSystem(system);
  for (irr::u32 i = 0; i < system->children.size(); ++i) {
    generic_object* child = system->children[i].get();
    if (child != nullptr && child->getType() == OT_Planet && !ownedByValidEmpire(*child)) {
      child->grab();
      planets.push_back(child);
    }
  }
  unlockSolarSystem(system);

  for (generic_object* planet : planets) {
    try {
      emp->queueCommand(new ColonizePlanetCommand(planet, emp, toFront));
    } catch (const EmpireCommandError&) {
      // Taken meanwhile: nothing to do for this one.
    }
    planet->drop();
  }
}

// A client follows its server's trait change of `emp`.
void applyTraitChange(empire* emp, uint8_t kind, const stringw& id) {
  bool changed = false;
  if (kind == kTraitAdded) {
    ITrait* trait = findTrait(id);
    if (trait == nullptr)
      return;
    ScopedWriteLock guard(emp->locks[EA_Traits]);
    changed = emp->traits.emplace(id, trait).second;
  } else {
    ScopedWriteLock guard(emp->locks[EA_Traits]);
    changed = emp->traits.erase(id) != 0;
  }
  if (changed)
    emp->updateTraitVariables();
}

// -- Receivers ------------------------------------------------------------------

class EmpireMessageReceiver : public MessageReceiver {
 public:
  void handle(uint8_t messageId, RakNet::BitStream& stream, NetPlayer* from) override {
    switch (messageId) {
      case ID_HULL_LAYOUT:
        handleHullLayout(stream, from);
        break;
      case ID_EMPIRE_SETTING:
        handleEmpireSetting(stream, from);
        break;
      case ID_EMPIRE_MESSAGE:
        if (!isServerSide())
          handleEmpireMessage(stream);
        break;
      case ID_HULL_SETTING:
        handleHullSetting(stream, from);
        break;
      case ID_EMPIRE_COMMAND:
        handleEmpireCommand(stream, from);
        break;
      default:
        break;
    }
  }
};

}  // namespace

uint16_t packEmpireRelation(bool allied, bool enemy) {
  return static_cast<uint16_t>((allied ? 1u : 0u) | (enemy ? 0x100u : 0u));
}

// -- Senders ------------------------------------------------------------------
// Those that game code calls (a setting, a message, a trait) build in a
// stream of their own: their caller may be building a message in the
// thread's scratch stream.

void sendEmpireSetting(const stringw& name, float value) {
  if (!isNetworkClient())
    return;
  RakNet::BitStream stream;
  stream.Write(ID_EMPIRE_SETTING);
  writeNetStringW(stream, name, kMaxNetStringLength);
  stream.Write(value);
  networkManager->send(&stream, kEmpireStateChannel, RakNet::RELIABLE, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}

void writeEmpireSettingsAndRelations(RakNet::BitStream& stream, empire* emp) {
  {
    ScopedReadLock guard(emp->locks[EA_Settings]);
    // A server files at most kMaxClientEmpireSettings names from a client;
    // its own scripts are held to what a client accepts.
    const irr::u32 count = std::min<irr::u32>(emp->settings.size(), kMaxSentEmpireSettings);
    stream.Write(static_cast<uint16_t>(count));
    for (irr::u32 i = 0; i < count; ++i) {
      writeNetStringW(stream, emp->settings[i].entryName(), kMaxNetStringLength);
      stream.Write(emp->settings[i].value);
    }
  }
  {
    ScopedReadLock guard(emp->locks[EA_Relations]);
    std::vector<std::pair<uint8_t, uint16_t>> relations;
    for (const auto& entry : emp->relations)
      if (entry.first != nullptr && entry.second != nullptr && relations.size() < kMaxByteCount)
        relations.emplace_back(entry.first->ID, packEmpireRelation(entry.second->allied, entry.second->enemy));
    stream.Write(static_cast<uint8_t>(relations.size()));
    for (const auto& relation : relations) {
      stream.Write(relation.first);
      stream.Write(relation.second);
    }
  }
}

void writeEmpireState(RakNet::BitStream& stream, empire* emp, bool withNames) {
  stream.Write(ID_EMPIRE_SETTING);
  writeEmpireSettingsAndRelations(stream, emp);
  stream.Write(withNames);
  if (withNames) {
    std::vector<empire*> named;
    for (empire* listed : empireList)
      if (listed != nullptr && listed->isValid() && named.size() < kMaxByteCount)
        named.push_back(listed);
    stream.Write(static_cast<uint8_t>(named.size()));
    for (empire* listed : named) {
      stream.Write(listed->ID);
      writeNetStringW(stream, listed->getPlayerName(), kMaxNetStringLength);
    }
  }
  stream.Write(emp->visibility.load());
}

void sendEmpireState(NetworkManager& manager, NetPlayer& player) {
  empire* emp = nullptr;
  RakNet::SystemAddress address;
  {
    std::lock_guard<std::mutex> guard(manager.playersLock);
    emp = player.emp;
    address = player.address;
  }
  if (emp == nullptr || address == RakNet::UNASSIGNED_SYSTEM_ADDRESS)
    return;
  RakNet::BitStream fallback;
  RakNet::BitStream& stream = scratchStream(fallback);
  writeEmpireState(stream, emp, manager.playerListChanged.load());
  manager.sendDirect(&stream, RakNet::MEDIUM_PRIORITY, RakNet::UNRELIABLE_SEQUENCED, kEmpireStateChannel, address,
                     false);
}

void sendEmpireMessage(const empire* emp, const stringw& text, const stringw& category, int32_t priority,
                       int32_t time) {
  if (emp == nullptr || !isServerSide() || emp == playingEmpire)
    return;
  // The unassigned address would reach every player.
  const RakNet::SystemAddress address = networkManager->getEmpirePlayerAddress(emp);
  if (address == RakNet::UNASSIGNED_SYSTEM_ADDRESS)
    return;
  RakNet::BitStream stream;
  stream.Write(ID_EMPIRE_MESSAGE);
  writeNetStringW(stream, text, kMaxNetStringLength);
  writeNetStringW(stream, category, kMaxNetStringLength);
  stream.Write(static_cast<uint32_t>(priority));
  stream.Write(static_cast<uint32_t>(time));
  networkManager->send(&stream, kEmpireChannel, RakNet::RELIABLE, address);
}

void sendTraitChange(const empire* emp, uint8_t kind, const stringw& id) {
  if (emp == nullptr || !isServerSide())
    return;
  RakNet::BitStream stream;
  stream.Write(ID_EMPIRE_COMMAND);
  stream.Write(kind);
  writeNetEmpire(stream, emp);
  writeNetStringW(stream, id, kMaxNetStringLength);
  networkManager->send(&stream, kEmpireChannel, RakNet::RELIABLE_ORDERED, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}

// -- Handlers -------------------------------------------------------------------

void handleHullLayout(RakNet::BitStream& stream, NetPlayer* sender) {
  if (!isServerSide()) {
    const stringw error = readHullLayoutMessage(stream);
    if (!error.empty())
      logPrint("Hull load error: %s\n", wideToUtf8(error.c_str()).c_str());
    return;
  }
  const SenderView view = viewOf(sender);
  if (view.emp == nullptr || !view.inGame)
    return;
  // The empire's ID is looked at before the body is read: a player files
  // designs for its own empire only.
  const auto start = stream.GetReadOffset();
  uint8_t id = 0;
  if (!stream.Read(id) || id != view.emp->ID)
    return;
  stream.SetReadOffset(start);
  const stringw error = readHullLayoutMessage(stream, kMaxClientHullLayouts);
  if (!error.empty())
    answerHullError(error, view.address);
}

void handleEmpireSetting(RakNet::BitStream& stream, NetPlayer* sender) {
  if (isServerSide()) {
    empire* emp = senderEmpire(sender);
    if (emp == nullptr)
      return;
    stringw name;
    float value = 0.0f;
    if (!readNetStringW(stream, name) || !stream.Read(value))
      return;
    acceptClientSetting(emp, name, value);
    return;
  }
  empire* emp = activeEmpire;
  if (emp == nullptr)
    return;
  EmpireState state;
  if (readEmpireState(stream, state))
    applyEmpireState(emp, state);
}

void handleEmpireMessage(RakNet::BitStream& stream) {
  empire* emp = activeEmpire;
  if (emp == nullptr)
    return;
  stringw text;
  if (!readNetStringW(stream, text))
    return;
  if (networkManager != nullptr && networkManager->peerVersion < kFullEmpireMessageVersion) {
    postMiscMessage(emp, text);
    return;
  }
  stringw category;
  uint32_t priority = 0;
  uint32_t time = 0;
  if (!readNetStringW(stream, category) || !stream.Read(priority) || !stream.Read(time))
    return;
  postEmpireMessage(emp, text, category, static_cast<int32_t>(priority), static_cast<int32_t>(time));
}

void handleHullSetting(RakNet::BitStream& stream, NetPlayer* sender) {
  empire* emp = senderEmpire(sender);
  if (emp == nullptr)
    return;
  uint8_t kind = 0;
  stringw name;
  float threshold = 0.0f;
  if (!stream.Read(kind) || kind != kHullSettingThreshold || !readNetStringW(stream, name) || !stream.Read(threshold))
    return;
  ScopedWriteLock guard(emp->locks[EA_HullLayouts]);
  const irr::s32 index = NamedVar<hull_list*>::find(emp->hulls, name);
  if (index < 0)
    return;
  if (hull_list* layout = emp->hulls[static_cast<irr::u32>(index)].value)
    layout->updateThreshold = threshold;
}

void handleEmpireCommand(RakNet::BitStream& stream, NetPlayer* sender) {
  if (isServerSide()) {
    empire* emp = senderEmpire(sender);
    if (emp == nullptr)
      return;
    uint8_t kind = 0;
    uint32_t uid = 0;
    bool toFront = false;
    if (!stream.Read(kind) || kind != kEmpireCommandColonize || !stream.Read(uid) || !stream.Read(toFront))
      return;
    colonizeSystem(emp, uid, toFront);
    return;
  }
  uint8_t kind = 0;
  if (!stream.Read(kind) || (kind != kTraitAdded && kind != kTraitRemoved))
    return;
  empire* emp = readNetEmpire(stream);
  stringw id;
  if (emp == nullptr || !readNetStringW(stream, id))
    return;
  applyTraitChange(emp, kind, id);
}

void registerEmpireMessageReceivers(NetworkManager& manager) {
  static EmpireMessageReceiver receiver;
  for (uint8_t id : {ID_HULL_LAYOUT, ID_EMPIRE_SETTING, ID_EMPIRE_MESSAGE, ID_HULL_SETTING, ID_EMPIRE_COMMAND})
    manager.registerReceiver(id, &receiver);
}
