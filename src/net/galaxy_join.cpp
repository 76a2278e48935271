#include "net/galaxy_join.h"

#include <ITimer.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "app/base/engine.h"
#include "app/base/message_box.h"
#include "app/base/session_state.h"
#include "core/common_strings.h"
#include "core/locks.h"
#include "core/net_encoders.h"
#include "empire/empire.h"
#include "empire/research/research_network.h"
#include "empire/traits.h"
#include "net/diplomacy_messages.h"
#include "net/empire_messages.h"
#include "net/galaxy_transfer.h"
#include "net/message_ids.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"

namespace {

using irr::core::stringw;

empire* (*spectatorMaker)() = nullptr;

// The fewest bits one empire record of 120 takes: ID, flags, colour, mask,
// seven empty strings and the trait count.
constexpr size_t kMinEmpireRecordBits = 8 * (1 + 1 + 4 + 4 + 7 + 2);
// The fewest bits one trait id takes: its length byte.
constexpr size_t kMinTraitBits = 8;

// One empire record of 120 as read.
struct EmpireRecord {
  uint8_t id = 0;
  uint8_t flags = 0;
  uint32_t color = 0;
  uint32_t visibility = 0;
  stringw name, ruler, player, shipSet, raceName, raceDescription, raceHistory;
  std::vector<stringw> traits;
};

size_t bitsLeft(const RakNet::BitStream& stream) { return stream.GetNumberOfUnreadBits(); }

bool readEmpireRecord(RakNet::BitStream& stream, EmpireRecord& record) {
  if (!stream.Read(record.id) || !stream.Read(record.flags) || !stream.Read(record.color) ||
      !stream.Read(record.visibility))
    return false;
  for (stringw* text : {&record.name, &record.ruler, &record.player, &record.shipSet, &record.raceName,
                        &record.raceDescription, &record.raceHistory})
    if (!readNetStringW(stream, *text))
      return false;
  uint16_t traitCount = 0;
  if (!stream.Read(traitCount) || traitCount * kMinTraitBits > bitsLeft(stream))
    return false;
  for (uint16_t i = 0; i < traitCount; ++i) {
    stringw trait;
    if (!readNetStringW(stream, trait))
      return false;
    record.traits.push_back(std::move(trait));
  }
  return true;
}

// A listed empire with exactly this ID, or null.
empire* listedEmpire(uint8_t id) {
  empire* emp = getEmpireByID(id);
  return emp != nullptr && emp != defaultEmpire() && emp->ID == id ? emp : nullptr;
}

// Makes and registers the empire of one record (step 2 of 120).
void makeEmpire(const EmpireRecord& record) {
  auto emp = std::make_unique<empire>();
  // Player-controlled until registered: its registration makes no AI.
  emp->playerControlled = true;
  emp->valid = (record.flags & kGalaxyEmpireValid) != 0;
  emp->reserved = (record.flags & kGalaxyEmpireReserved) != 0;
  emp->color = record.color;
  emp->visibility.store(record.visibility);
  emp->name = record.name;
  emp->emperor.name = record.ruler;
  emp->setPlayerName(record.player);
  emp->shipSet = record.shipSet;
  emp->raceName = record.raceName;
  emp->raceDescription = record.raceDescription;
  emp->raceHistory = record.raceHistory;
  {
    ScopedWriteLock guard(emp->locks[EA_Traits]);
    emp->traits.clear();
    for (const stringw& id : record.traits)
      if (ITrait* trait = findTrait(id))
        emp->traits[id] = trait;
  }
  emp->updateTraitVariables();
  emp->ID = record.id;
  empire* made = emp.get();
  if (registerEmpire(made) != made)
    return;  // listed meanwhile: ours stays with us and goes
  emp.release();  // the list owns it now
  made->playerControlled = (record.flags & kGalaxyEmpireAI) == 0;
  made->color = record.color;
}

void setClockSpeed(double speed) {
  gameSpeed = speed;
  if (engine.timer != nullptr)
    engine.timer->setSpeed(static_cast<float>(speed));
}

void reportIncompatibleVersion() {
  showMessageBox("Incompatible version", "The server you attempted to join uses an incompatible version of the game.",
                 false);
  galaxyProgress = 1.0f;
  gameRunning = false;
}

bool isConnectedClient() {
  return networkManager != nullptr && networkManager->isNetworked && networkManager->isConnected;
}

void sendToServer(uint8_t id, const empire* emp) {
  RakNet::BitStream stream;
  stream.Write(id);
  if (emp != nullptr)
    stream.Write(static_cast<uint8_t>(emp->ID));
  networkManager->send(&stream, kGalaxyChannel, RakNet::RELIABLE, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}

}  // namespace

void setSpectatorMaker(empire* (*maker)()) { spectatorMaker = maker; }

void requestGalaxy() {
  if (!isConnectedClient())
    throw std::runtime_error("Not connected to a server");
  sendToServer(msgid::kGalaxyRequest, nullptr);
}

void sendGalaxyReceived() {
  if (!isConnectedClient())
    throw std::runtime_error("Not connected to a server");
  sendToServer(msgid::kGalaxyEnd, nullptr);
}

void sendPlayAsRequest(const empire* emp) {
  if (emp == nullptr || networkManager == nullptr || !networkManager->isConnected)
    return;
  sendToServer(msgid::kPlayAs, emp);
}

void applyServerGameTime(bool setHard, double serverTime, double serverSpeed, bool hasSpeed) {
  if (!std::isfinite(serverTime) || std::fabs(serverTime) > kMaxGameTime || (hasSpeed && !std::isfinite(serverSpeed)))
    return;
  const double speed = hasSpeed ? serverSpeed : 1.0;
  const double target = serverTime - kGameTimeLag * speed;
  double factor = 1.0;
  const double now = gameTime.load();
  if (setHard)
    gameTime = target;
  else if (now > target)
    factor = 1.0 / ((now - target) + 1.0);
  else
    factor = (target - now) + 1.0;
  if (!hasSpeed)
    return;
  setClockSpeed(factor * speed);
  pendingGameSpeed = speed;
}

void handleGalaxyHeader(RakNet::BitStream& stream) {
  double time = 0.0;
  double speed = 0.0;
  uint8_t count = 0;
  if (!stream.Read(time) || !stream.Read(speed) || !stream.Read(count) ||
      count * kMinEmpireRecordBits > bitsLeft(stream))
    return;
  std::vector<EmpireRecord> records(count);
  for (EmpireRecord& record : records)
    if (!readEmpireRecord(stream, record))
      return;
  uint16_t version = 0;
  const bool hasVersion = stream.Read(version);

  // 1.
  galaxyProgress = 0.0f;
  if (std::isfinite(time) && std::fabs(time) <= kMaxGameTime)
    gameTime = time;
  if (std::isfinite(speed))
    setClockSpeed(speed);
  // 2. An ID that cannot be listed (or is listed already) would come back
  // from the registration as the listed empire, and ours would be lost.
  std::vector<uint8_t> seen;
  for (const EmpireRecord& record : records) {
    if (record.id == kInvalidEmpireID || record.id == kSpectatorEmpireID ||
        std::find(seen.begin(), seen.end(), record.id) != seen.end() || listedEmpire(record.id) != nullptr)
      continue;
    seen.push_back(record.id);
    makeEmpire(record);
  }
  // 3.
  if (spectatorMaker != nullptr) {
    if (empire* spectator = spectatorMaker()) {
      pendingPlayerEmpire = spectator;
      activeEmpire = spectator;
      playingEmpire = spectator;
    }
  }
  // 4.
  if (!hasVersion || version < kOldestGalaxyVersion || version > kGalaxyVersion)
    reportIncompatibleVersion();
}

void handleGalaxyProgress(RakNet::BitStream& stream) {
  float progress = 0.0f;
  if (!stream.Read(progress) || !std::isfinite(progress))
    return;
  float seen = galaxyProgress.load();
  while (progress > seen && !galaxyProgress.compare_exchange_weak(seen, progress)) {
  }
}

void handleGameTime(RakNet::BitStream& stream) {
  if (networkManager == nullptr || !networkManager->isNetworked)
    return;
  bool setHard = false;
  double time = 0.0;
  double speed = 1.0;
  if (!stream.Read(setHard) || !stream.Read(time)) {
    return;  // nothing whole to act on: the cheats bit comes last
  }
  const bool hasSpeed = stream.Read(speed);
  applyServerGameTime(setHard, time, speed, hasSpeed);
  bool cheats = false;
  if (stream.Read(cheats))
    svCheats = cheats;
}

void handlePlayAs(RakNet::BitStream& stream) {
  uint8_t id = 0;
  if (!stream.Read(id))
    return;
  empire* emp = listedEmpire(id);
  if (emp == nullptr)
    return;
  pendingPlayerEmpire = emp;
  activeEmpire = emp;
  playingEmpire = emp;
  if (auto* web = dynamic_cast<research::CNetworkedWeb*>(emp->researchWeb)) {
    if (!research::readResearchWebMessage(stream, *web, emp))
      return;
  }
  emp->updateSubSystems();

  uint16_t settingCount = 0;
  if (!stream.Read(settingCount) || settingCount > kMaxSentEmpireSettings)
    return;
  std::vector<std::pair<stringw, float>> settings;
  for (uint16_t i = 0; i < settingCount; ++i) {
    stringw name;
    float value = 0.0f;
    if (!readNetStringW(stream, name) || !stream.Read(value))
      return;
    settings.emplace_back(std::move(name), value);
  }
  {
    ScopedWriteLock guard(emp->locks[EA_Settings]);
    for (const auto& setting : settings)
      if (float* value = settingFromPeer(emp, setting.first))
        *value = setting.second;
  }
  uint8_t relationCount = 0;
  if (!stream.Read(relationCount))
    return;
  for (uint8_t i = 0; i < relationCount; ++i) {
    uint8_t otherId = 0;
    uint16_t packed = 0;
    if (!stream.Read(otherId) || !stream.Read(packed))
      return;
    const empire* other = listedEmpire(otherId);
    if (other == nullptr || other == emp)
      continue;
    EmpireRelation* relation = emp->lockRelation(other);
    relation->allied = (packed & 0xFF) != 0;
    relation->enemy = (packed >> 8) != 0;
    emp->unlockRelations();
  }
}
