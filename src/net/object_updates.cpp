#include "net/object_updates.h"

#include <ITimer.h>

#include <cmath>
#include <mutex>
#include <vector>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "core/net_encoders.h"
#include "empire/empire.h"
#include "net/diplomacy_messages.h"
#include "net/message_receiver.h"
#include "net/network_manager.h"
#include "net/object_details.h"
#include "platform/bit_stream.h"
#include "universe/movement/fake_mobile_mover.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_guards.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/system_locks.h"

namespace {

// An object moves for the batches when its squared speed is above this.
constexpr float kMovingSpeedSquared = 0.01f;
constexpr float kFullCircle = 360.0f;
// The R a client takes for an object without a container: every position
// is then read as raw floats.
constexpr float kNoContainerRadius = 1e10f;
// Header: id, count, time, speed; the count sits right behind the id.
constexpr RakNet::BitSize kCountOffsetBits = 8;
// An unknown object's quantised position and rotation: 3 x 16 + 3 x 8.
constexpr RakNet::BitSize kQuantisedEntryBits = 72;

std::atomic<uint32_t> entryCounter{0};

// `angle` in degrees wrapped into [0, 360); 0 for a value that is not finite.
float wrapDegrees(float angle) {
  if (!std::isfinite(angle))
    return 0.0f;
  float wrapped = std::fmod(angle, kFullCircle);
  if (wrapped < 0.0f)
    wrapped += kFullCircle;
  return wrapped >= kFullCircle ? 0.0f : wrapped;
}

bool isFinite(const vector3df& value) {
  return std::isfinite(value.X) && std::isfinite(value.Y) && std::isfinite(value.Z);
}

// The one system lock the update reader keeps across consecutive entries of
// one system; released when the reader ends.
class HeldSystem {
 public:
  HeldSystem() = default;
  ~HeldSystem() { unlockSolarSystem(held_); }
  HeldSystem(const HeldSystem&) = delete;
  HeldSystem& operator=(const HeldSystem&) = delete;

  // Holds the lock of the system that contains `object`: the one held when
  // the object sits there, else that one goes and the object's is taken
  // (waiting while the object moves between systems).
  void holdFor(generic_object& object) {
    if (held_ != nullptr && object.containingSystem() == held_ && !object.inTransit())
      return;
    unlockSolarSystem(held_);
    held_ = nullptr;
    held_ = object.lockContainerSystem();
  }

 private:
  solarSystem* held_ = nullptr;
};

// What one entry carries.
struct UpdateEntry {
  bool moving = false;
  vector3df position;
  vector3df rotation;
  bool underAttack = false;
};

// Reads three position values against `range` (raw floats from 4000 on).
bool readPosition(RakNet::BitStream& stream, float range, vector3df& out) {
  if (range < kQuantisedRadiusLimit) {
    out.X = readNetFloat16(stream, -range, range);
    out.Y = readNetFloat16(stream, -range, range);
    out.Z = readNetFloat16(stream, -range, range);
    return !stream.ReadFailed();
  }
  return stream.Read(out.X) && stream.Read(out.Y) && stream.Read(out.Z) && isFinite(out);
}

bool readRotation(RakNet::BitStream& stream, vector3df& out) {
  out.X = readNetFloat8(stream, 0.0f, kFullCircle);
  out.Y = readNetFloat8(stream, 0.0f, kFullCircle);
  out.Z = readNetFloat8(stream, 0.0f, kFullCircle);
  return !stream.ReadFailed();
}

// A container the client may move `object` into: a star system or the
// galaxy, for an object that sits in the tree and is neither.
bool mayRelocate(const generic_object& object, generic_object* target) {
  if (target == nullptr || !target->isValid() || asSystemLock(target) == nullptr)
    return false;
  const int type = object.getType();
  return type != OT_System && type != OT_Galaxy && object.container.load() != nullptr;
}

// The entry of an object this client does not know: false when it cannot
// be skipped safely (the packet ends there).
bool skipUnknownEntry(RakNet::BitStream& stream, uint32_t& currentContainer) {
  bool moving = false;
  if (!stream.Read(moving))
    return false;
  if (moving) {
    bool newContainer = false;
    if (!stream.Read(newContainer))
      return false;
    if (newContainer) {
      currentContainer = readNetUInt(stream);
      if (stream.ReadFailed())
        return false;
    }
    // Only an entry in a known, small container was certainly quantised.
    const HeldObject container(currentContainer);
    if (container.get() == nullptr || !(container.get()->radius + kMaxSkippedObjectRadius < kQuantisedRadiusLimit))
      return false;
    if (!stream.IgnoreBits(kQuantisedEntryBits))
      return false;
  }
  bool underAttack = false;
  return stream.Read(underAttack);
}

// A known object's entry, read whole before anything is applied.
bool readKnownEntry(RakNet::BitStream& stream, generic_object& object, uint32_t& currentContainer, double time,
                    HeldSystem& lock) {
  UpdateEntry entry;
  if (!stream.Read(entry.moving))
    return false;
  uint32_t containerUid = currentContainer;
  if (entry.moving) {
    bool newContainer = false;
    if (!stream.Read(newContainer))
      return false;
    if (newContainer) {
      containerUid = readNetUInt(stream);
      if (stream.ReadFailed())
        return false;
    }
  }
  const HeldObject named(entry.moving ? containerUid : 0);
  generic_object* relocateTo = nullptr;
  if (entry.moving) {
    generic_object* current = object.container.load();
    if (named.get() != current && mayRelocate(object, named.get()))
      relocateTo = named.get();
    generic_object* frame = relocateTo != nullptr ? relocateTo : current;
    const float range = frame != nullptr ? frame->radius + object.radius : kNoContainerRadius;
    if (!readPosition(stream, range, entry.position) || !readRotation(stream, entry.rotation))
      return false;
  }
  if (!stream.Read(entry.underAttack))
    return false;
  currentContainer = containerUid;

  lock.holdFor(object);
  if (relocateTo != nullptr) {
    object.setContainer(relocateTo);
    lock.holdFor(object);
    object.position = entry.position;
  }
  if (FakeMobileMover* mirror = FakeMobileMover::of(&object)) {
    if (entry.moving) {
      mirror->clearTarget();
      mirror->receiveUpdate(entry.position, entry.rotation, time);
    } else {
      mirror->receiveUpdate(object.position, object.rotation, time);
    }
  }
  object.setLastAttacked(entry.underAttack);
  return true;
}

class ObjectUpdateReceiver : public MessageReceiver {
 public:
  void handle(uint8_t messageId, RakNet::BitStream& stream, NetPlayer* from) override {
    const bool server = from != nullptr || (networkManager != nullptr && networkManager->isServer.load());
    if (messageId == ID_OBJECT_UPDATES) {
      if (!server)
        readObjectUpdates(stream);
    } else if (server) {
      handleObjectDetailsRequest(stream, from);
    } else {
      readObjectDetailsAnswer(stream);
    }
  }
};

}  // namespace

uint32_t updatePacketLimit() {
  if (bSmallPackets)
    return kSmallUpdatePacketBytes;
  return bLargePackets ? kLargeUpdatePacketBytes : kUpdatePacketBytes;
}

bool writeObjectUpdate(RakNet::BitStream& stream, generic_object& object, uint32_t& lastContainer) {
  if (object.getType() == OT_Oddity)
    return false;
  const MobileMover* mover = MobileMover::of(&object);
  const bool moving =
      mover != nullptr && object.velocity.getLengthSQ() > kMovingSpeedSquared && !mover->parkOrbitInUse();
  generic_object* container = object.container.load();
  if (moving && container == nullptr)
    return false;  // nothing to place it in: no entry

  writeNetObjectRef(stream, &object);
  stream.Write(moving);
  if (moving) {
    if (container->uid == lastContainer) {
      stream.Write0();
    } else {
      stream.Write1();
      writeNetObjectRef(stream, container);
      lastContainer = container->uid;
    }
    const float range = container->radius + object.radius;
    const vector3df& p = object.position;
    if (range < kQuantisedRadiusLimit) {
      writeNetFloat16(stream, p.X, -range, range);
      writeNetFloat16(stream, p.Y, -range, range);
      writeNetFloat16(stream, p.Z, -range, range);
    } else {
      stream.Write(p.X);
      stream.Write(p.Y);
      stream.Write(p.Z);
    }
    writeNetFloat8(stream, wrapDegrees(object.rotation.X), 0.0f, kFullCircle);
    writeNetFloat8(stream, wrapDegrees(object.rotation.Y), 0.0f, kFullCircle);
    writeNetFloat8(stream, wrapDegrees(object.rotation.Z), 0.0f, kFullCircle);
  }
  stream.Write(object.isUnderAttack());
  return true;
}

// --- The batch ------------------------------------------------------------------

ObjectUpdateBatch::ObjectUpdateBatch(NetworkManager& manager, uint32_t limitBytes)
    : manager_(manager), stream_(new RakNet::BitStream()), limitBytes_(limitBytes) {
  start();
}

ObjectUpdateBatch::~ObjectUpdateBatch() { delete stream_; }

void ObjectUpdateBatch::start() {
  stream_->Reset();
  stream_->Write(ID_OBJECT_UPDATES);
  stream_->Write(static_cast<uint16_t>(0));
  stream_->Write(gameTime.load());
  stream_->Write(gameSpeed);
  count_ = 0;
  lastContainer_ = 0;
}

void ObjectUpdateBatch::add(generic_object& object) {
  if (writeObjectUpdate(*stream_, object, lastContainer_))
    ++count_;
  step(false);
}

void ObjectUpdateBatch::step(bool force) {
  if (count_ == 0)
    return;
  if (!force && stream_->GetNumberOfBytesUsed() <= limitBytes_ && count_ < kMaxUpdateEntries)
    return;
  const RakNet::BitSize end = stream_->GetWriteOffset();
  stream_->SetWriteOffset(kCountOffsetBits);
  stream_->Write(static_cast<uint16_t>(count_));
  stream_->SetWriteOffset(end);
  sendToInGamePlayers(manager_, stream_);
  ++packets_;
  start();
}

// --- The server's broadcast pass ---------------------------------------------------

void NetworkManager::broadcastObjectUpdates(bool firstPass) { runBroadcastPass(*this, firstPass); }

void runBroadcastPass(NetworkManager& manager, bool firstPass) {
  objGalaxy* walked = galaxy;
  if (walked == nullptr)
    return;
  std::vector<empire*> viewers;
  {
    std::lock_guard<std::mutex> guard(manager.playersLock);
    for (const auto& entry : manager.players)
      if (entry.second.hasGalaxy != 0 && entry.second.emp != nullptr)
        viewers.push_back(entry.second.emp);
  }
  const auto seen = [&viewers](const solarSystem& system) {
    for (const empire* viewer : viewers)
      if (system.isSystemVisibleTo(viewer))
        return true;
    return false;
  };

  ObjectUpdateBatch batch(manager, updatePacketLimit());
  // Toggled before each system: mode 1 (true) takes the second, fourth ...
  // systems, mode 2 the first, third ...
  bool parity = firstPass;
  lockSolarSystem(walked);
  for (irr::u32 i = 0; i < walked->children.size(); ++i) {
    generic_object* child = walked->children[i].get();
    if (child == nullptr)
      continue;
    if (child->getType() != OT_System) {
      batch.add(*child);
      continue;
    }
    parity = !parity;
    auto* system = static_cast<solarSystem*>(child);
    if (!parity || !seen(*system))
      continue;
    // Never both locks: the galaxy's goes while the system is written.
    system->grab();
    unlockSolarSystem(walked);
    lockSolarSystem(system);
    for (irr::u32 k = 0; k < system->children.size(); ++k)
      if (generic_object* object = system->children[k].get())
        batch.add(*object);
    unlockSolarSystem(system);
    system->drop();
    lockSolarSystem(walked);
  }
  unlockSolarSystem(walked);
  batch.step(true);
}

// --- The client's reader ---------------------------------------------------------

bool readObjectUpdates(RakNet::BitStream& stream) {
  uint16_t count = 0;
  double time = 0.0;
  double speed = 0.0;
  if (!stream.Read(count) || !stream.Read(time))
    return false;
  if (std::isnan(time) || gameTime.load() > time)
    return false;  // older than what the client shows: speed and all
  if (!stream.Read(speed) || !std::isfinite(speed) || speed < 0.0)
    return false;
  gameSpeed = speed;
  if (engine.timer != nullptr)
    engine.timer->setSpeed(static_cast<float>(speed));

  HeldSystem lock;
  uint32_t currentContainer = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t uid = readNetUInt(stream);
    if (stream.ReadFailed())
      return false;
    const HeldObject object(uid);
    if (object.get() == nullptr) {
      if (!skipUnknownEntry(stream, currentContainer))
        return false;
    } else {
      if (!readKnownEntry(stream, *object.get(), currentContainer, time, lock))
        return false;
      if (entryCounter.load() >= kWatchEntryInterval) {
        entryCounter.store(0);
        if (playingEmpire != nullptr && object.get()->getOwner() == playingEmpire && networkManager != nullptr)
          networkManager->watchObject(object.get());
      }
    }
    entryCounter.fetch_add(1);
  }
  return true;
}

uint32_t objectUpdateEntryCounter() { return entryCounter.load(); }

void setObjectUpdateEntryCounter(uint32_t value) { entryCounter.store(value); }

// --- The client's details pump ---------------------------------------------------

void NetworkManager::requestWatchedObjects() {
  std::vector<generic_object*> due;
  {
    std::lock_guard<std::mutex> guard(playersLock);
    while (!watchedObjects.empty() && due.size() < kDetailRequestsPerPoll) {
      due.push_back(*watchedObjects.begin());
      watchedObjects.erase(watchedObjects.begin());
    }
  }
  RakNet::BitStream stream;
  for (generic_object* object : due) {
    stream.Reset();
    bool written = false;
    {
      object->lockContainer();
      if (object->isValid())
        written = writeObjectDetailsQuery(stream, *object);
      object->unlockContainer();
    }
    if (written)
      send(&stream, kChannelDetailRequests, RakNet::RELIABLE_ORDERED, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
    object->drop();  // the set's reference
  }
}

void registerObjectUpdateReceivers(NetworkManager& manager) {
  static ObjectUpdateReceiver receiver;
  manager.registerReceiver(ID_OBJECT_UPDATES, &receiver);
  manager.registerReceiver(ID_OBJECT_DETAILS, &receiver);
}
