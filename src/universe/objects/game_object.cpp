#include "universe/objects/game_object.h"

#include "app/base/config.h"
#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "core/locale.h"
#include "core/net_encoders.h"
#include "core/save_stream.h"
#include "core/threads.h"
#include "design/build/constructible.h"
#include "design/effects/effects.h"
#include "empire/empire.h"
#include "gfx/fleet_icon.h"
#include "gfx/graphics_object.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "platform/thread.h"
#include "universe/movement/fake_mobile_mover.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/docking.h"
#include "universe/objects/object_messages.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/system_locks.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/unit_ai.h"

#include <ITimer.h>

#include <cmath>

// Messages sent by objects:
//
//   owner change (138)       u8 138, object reference (net encoder), u8 0,
//                            u8 new owner's ID (131 for none); server to all,
//                            channel 2, reliable ordered
//   object destroyed (124)   u8 124, u32 UID; server to all, channel 9,
//                            reliable
//   build queue clear (117)  u8 117, u32 UID, u8 5; client to server,
//                            channel 0, reliable ordered

using objectmsg::isNetworkServer;
using objectmsg::kChannelObjectEvents;
using objectmsg::kDockEventOwner;
using objectmsg::kMsgDockEvent;
using objectmsg::messageStream;

namespace {

constexpr uint8_t kMsgBuildQueue = 117;
constexpr uint8_t kMsgObjectDestroyed = 124;
constexpr uint8_t kBuildQueueClear = 5;
constexpr uint8_t kChannelRequests = 0;
constexpr uint8_t kChannelDestruction = 9;

// An object at least this large is seen by every empire.
constexpr float kAlwaysVisibleRadius = 60.0f;
// How long a hit keeps an object under attack.
constexpr uint32_t kUnderAttackMs = 4000;

// Build messages: priority by the item's kind.
constexpr int32_t kStructurePriority = -10;
constexpr int32_t kShipPriority = 0;

std::atomic<uint32_t> testClockMs{0};

const irr::core::stringw kPresence = L"prs";
const irr::core::stringw kVisited = L"visited";
const irr::core::stringw kPlanets = L"planets";
const irr::core::stringw kStrength = L"str";
const irr::core::stringw kEmpirePlanets = L"Planet";
const irr::core::stringw kEmpireShips = L"Ship";
const irr::core::stringw kDamage = L"Damage";

// Lets an object that is on its way into `system` arrive. A thread that
// still holds the system (it held it before it looked) gives it up
// completely while it waits, or the mover could never take it.
void waitForArrival(solarSystem* system) {
  const unsigned depth = system != nullptr && heldSolarSystem() == system ? system->lock->releaseAll() : 0;
  plat::sleepMs(0);
  if (depth > 0)
    system->lock->reacquire(depth);
}

// Takes `object`'s AI out of its fleet: a commander hands the command on
// (its own queue comes back), a member is taken off the list. The caller
// holds the object's system, which comes before the fleet's lock.
void leaveFleet(generic_object& object) {
  if (auto* fleet = dynamic_cast<FleetAI*>(object.ai)) {
    fleet->dropCommander();
    return;
  }
  auto* unit = dynamic_cast<UnitAI*>(object.ai);
  if (unit != nullptr && unit->fleet != nullptr)
    unit->fleet->removeMember(&object);
}

}  // namespace

bool objectmsg::isNetworkServer() { return networkManager->isServer; }

RakNet::BitStream& objectmsg::messageStream(RakNet::BitStream& fallback) {
  RakNet::BitStream* scratch = threadLocals().scratchStream;
  RakNet::BitStream& stream = scratch != nullptr ? *scratch : fallback;
  stream.Reset();
  return stream;
}

uint32_t objectRealTimeMs() {
  return engine.timer != nullptr ? engine.timer->getRealTime() : testClockMs.load();
}

void setObjectTestClock(uint32_t ms) { testClockMs.store(ms); }

solarSystem* asSystemLock(generic_object* object) {
  if (object == nullptr)
    return nullptr;
  const int type = object->getType();
  return type == OT_System || type == OT_Galaxy ? static_cast<solarSystem*>(object) : nullptr;
}

// --- MoveHandler and ObjectAI base behaviour -------------------------------

vector3df& MoveHandler::getDisplacement(vector3df& out, float t, generic_object& object) {
  out = object.velocity * t + object.acceleration * (t * t * 0.5f);
  return out;
}

vector3df& MoveHandler::getPredictedPosition(vector3df& out, float t, generic_object& object) {
  vector3df displacement;
  getDisplacement(displacement, t, object);
  out = object.position + displacement;
  return out;
}

vector3df& MoveHandler::getFacing(vector3df& out, float, generic_object& object) {
  out = object.rotation;
  return out;
}

void ObjectAI::save(SaveStream& stream) const { stream.writeU8(0); }

// --- Life ------------------------------------------------------------------

generic_object::generic_object(empire* objectOwner, StatsList* stats, MoveHandler* objectMover)
    : mover(objectMover), systemStats(stats), owner(objectOwner), localTime(gameTime.load()), uid(registerNewObject(this)) {}

generic_object::~generic_object() {
  releaseDockedEntries(*this);
  releaseTimedEffects();
  clearObjectStates(states);
  for (irr::u32 i = 0; i < buildQueue.size(); ++i)
    delete buildQueue[i];
  if (mover != nullptr)
    mover->release();
  if (ai != nullptr)
    ai->drop();
  if (nearObject != nullptr)
    nearObject->drop();
  if (linkedObject != nullptr)
    linkedObject->drop();
  if (generic_object* held = container.load())
    held->drop();
}

bool generic_object::drop() {
  if (refCount.fetch_sub(1, std::memory_order_acq_rel) != 1)
    return false;
  releaseObject(this);
  return true;
}

void generic_object::deleteThis() { delete this; }

void generic_object::destroy(bool quiet) {
  if (quiet)
    setFlag(FLAG_DESTROY | FLAG_QUIET_DESTROY);
  else {
    setFlag(FLAG_DESTROY);
    clearFlag(FLAG_QUIET_DESTROY);
  }
}

void generic_object::destroyNow(bool quiet) {
  if (!isValid())
    return;
  // Kept alive to the end, even when the container held the last reference.
  const heldPointer<generic_object> self(this);
  clearFlag(FLAG_VALID);
  if (!effectsTicking_)
    releaseTimedEffects();
  destroyDockedObjects(*this, quiet);

  while (children.size() > 0) {
    generic_object* child = children.getLast().get();
    const irr::u32 before = children.size();
    child->setContainer(container.load());
    if (children.size() == before && children.getLast().get() == child)
      removeChild(child);  // a child that cannot leave is let go all the same
  }
  // A commander hands its fleet on and a member leaves it before the AI
  // goes: the commander's own queue, given back on the way, goes with it.
  leaveFleet(*this);
  setAI(nullptr);
  setOwner(nullptr);
  setContainer(nullptr);
  // The object's reference on its graphics object; the graphics object
  // removes itself from the scene on its next update.
  if (graphicsObject* mirror = graphics) {
    graphics = nullptr;
    mirror->drop();
  }
  if (nearObject != nullptr) {
    nearObject->drop();
    nearObject = nullptr;
  }
  if (mover != nullptr) {
    mover->release();
    mover = nullptr;
  }
  if (isNetworkServer() && !sessionEnding.load())
    sendDestroyed();
  drop();
}

// --- Plain fields ----------------------------------------------------------

void generic_object::writeOwnFields(SaveStream&) {}

void generic_object::readOwnFields(SaveStream&) {}

double generic_object::getMass() const { return dockedMass + baseMass + 0.1 * cargoUsed; }

void generic_object::setLinkedObject(generic_object* object) { setObjectRef(linkedObject, object); }

vector3df& generic_object::toAbsolutePosition(vector3df& out, const vector3df& point) const {
  const vector3df relative = point + position;
  if (generic_object* outer = container.load())
    return outer->toAbsolutePosition(out, relative);
  out = relative;
  return out;
}

vector3df generic_object::getPosition() const {
  if (generic_object* outer = container.load()) {
    vector3df out;
    return outer->toAbsolutePosition(out, position);
  }
  return position;
}

bool generic_object::isUnderAttack() const { return objectRealTimeMs() - kUnderAttackMs < lastAttacked; }

void generic_object::setLastAttacked(bool attacked) { lastAttacked = attacked ? objectRealTimeMs() : 0; }

void generic_object::setRepeatQueue(bool repeat) {
  if (repeat)
    setFlag(FLAG_REPEAT_QUEUE);
  else
    clearFlag(FLAG_REPEAT_QUEUE);
}

void generic_object::setAI(ObjectAI* newAI) {
  if (newAI != nullptr)
    newAI->grab();
  ObjectAI* old = ai;
  // Decided before the old AI goes.
  const bool wasFleet = dynamic_cast<FleetAI*>(old) != nullptr;
  const bool isFleet = dynamic_cast<FleetAI*>(newAI) != nullptr;
  ai = newAI;
  if (old != nullptr)
    old->drop();
  // The fleet-leader icon follows a change to or from a fleet.
  if (graphics != nullptr && isFleet != wasFleet) {
    if (isFleet)
      addFleetIcon(*graphics);
    else
      removeFleetIcons(*graphics);
  }
}

solarSystem* generic_object::containingSystem() const { return asSystemLock(container.load()); }

// --- Visibility ------------------------------------------------------------

bool generic_object::isOwnerVisibleTo(const empire* viewer, bool force) const {
  if (force || hasFlag(FLAG_ALWAYS_VISIBLE))
    return true;
  if (viewer == nullptr)
    return false;
  if (viewer->seeAll)
    return true;
  return owner != nullptr && owner->isValid() && owner->isAllied(viewer);
}

bool generic_object::isVisibleTo(const empire* viewer) const {
  if (hasFlag(FLAG_ALWAYS_VISIBLE) || (viewer != nullptr && viewer->seeAll))
    return true;
  generic_object* outer = container.load();
  if (outer != nullptr && outer->getType() == OT_System)
    return static_cast<solarSystem*>(outer)->isSystemVisibleTo(viewer);
  return isOwnerVisibleTo(viewer, false);
}

// --- The object tree -------------------------------------------------------

void generic_object::addChild(generic_object* child) { children.push_back(heldPointer<generic_object>(child)); }

void generic_object::removeChild(generic_object* child) {
  for (irr::s32 i = static_cast<irr::s32>(children.size()) - 1; i >= 0; --i) {
    if (children[i].get() == child) {
      children.erase(static_cast<irr::u32>(i));
      return;
    }
  }
}

void generic_object::checkChildLeaving(generic_object* child) {
  if (container.load() == nullptr || child == nullptr)
    return;
  if (child->position.getLength() > child->radius + radius)
    child->setContainer(container.load());
}

void generic_object::countInSystemStats(generic_object* system, empire* statsOwner, float sign) {
  if (statsOwner == nullptr || system == nullptr || system->systemStats == nullptr)
    return;
  Stats& entry = getEmpireStats(*system->systemStats, statsOwner);
  statValue(entry, kPresence) += sign;
  if (sign > 0.0f)
    statValue(entry, kVisited) = static_cast<float>(gameTime.load());
  if (getType() == OT_Planet)
    statValue(entry, kPlanets) += sign;
  const float strength = strengthStat();
  if (strength > 0.0f)
    statValue(entry, kStrength) += sign * strength;
}

// Moving between containers. The object leaves its old container first,
// under that container's system lock, and points at the new container
// before the lock goes; it then joins the new container's children under
// the new system's lock. In between it is "in transit": its container is
// already the new one, but it is in no children list, and lockContainer
// waits until it has arrived (giving up the new system meanwhile, should it
// hold it already). So a thread never holds two system locks, and two
// threads moving the same object never both move it.
void generic_object::setContainer(generic_object* newContainer) {
  if (newContainer == container.load())
    return;
  grab();  // the old container's reference may be the last one

  generic_object* old = nullptr;
  solarSystem* oldLock = nullptr;
  for (;;) {
    old = container.load();
    oldLock = asSystemLock(old);
    lockSolarSystem(oldLock);
    if (container.load() == old && !inTransit())
      break;
    unlockSolarSystem(oldLock);
    waitForArrival(oldLock);
  }
  if (newContainer == old) {  // moved there meanwhile
    unlockSolarSystem(oldLock);
    drop();
    return;
  }

  if (radius >= kAlwaysVisibleRadius)
    setFlag(FLAG_ALWAYS_VISIBLE);
  else
    clearFlag(FLAG_ALWAYS_VISIBLE);

  vector3df absolute = position;
  if (old != nullptr) {
    old->toAbsolutePosition(absolute, position);
    old->removeChild(this);
    if (statisticsActive.load())
      countInSystemStats(old, owner, -1.0f);
    if (getType() == OT_Planet && old->getType() == OT_Galaxy)
      setFlag(FLAG_ALWAYS_VISIBLE);
  }
  if (newContainer != nullptr) {
    newContainer->grab();
    transit.store(true);
  }
  container.store(newContainer);
  unlockSolarSystem(oldLock);

  if (newContainer != nullptr) {
    solarSystem* newLock = asSystemLock(newContainer);
    lockSolarSystem(newLock);
    newContainer->addChild(this);
    if (statisticsActive.load())
      countInSystemStats(newContainer, owner, 1.0f);
    position = absolute - newContainer->getPosition();
    transit.store(false);
    unlockSolarSystem(newLock);
  }
  if (old != nullptr)
    old->drop();
  drop();
}

void generic_object::lockContainer() { lockContainerSystem(); }

solarSystem* generic_object::lockContainerSystem() {
  if (singleThreaded)
    return nullptr;
  for (;;) {
    generic_object* outer = container.load();
    solarSystem* system = asSystemLock(outer);
    lockSolarSystem(system);
    if (container.load() == outer && !inTransit())
      return system;
    unlockSolarSystem(system);
    waitForArrival(system);
  }
}

bool generic_object::tryLockContainer() {
  if (singleThreaded)
    return true;
  for (;;) {
    generic_object* outer = container.load();
    solarSystem* system = asSystemLock(outer);
    if (!tryLockSolarSystem(system))
      return false;
    if (container.load() == outer && !inTransit())
      return true;
    unlockSolarSystem(system);
    waitForArrival(system);
  }
}

void generic_object::unlockContainer() {
  if (singleThreaded)
    return;
  unlockSolarSystem(asSystemLock(container.load()));
}

// --- Owner -----------------------------------------------------------------

void generic_object::setOwner(empire* newOwner) {
  empire* old = owner;
  if (newOwner == old)
    return;
  if (sessionEnding.load()) {
    if (old != nullptr)
      old->unregisterObject(this);
    leaveFleet(*this);
    owner = newOwner;
    if (isNetworkServer())
      sendOwnerChange(newOwner);
    return;
  }

  generic_object* outer = container.load();
  StatsList* stats = outer != nullptr ? outer->systemStats : nullptr;
  if (stats != nullptr) {
    if (old != nullptr)
      statValue(getEmpireStats(*stats, old), kPresence) -= 1.0f;
    if (newOwner != nullptr)
      statValue(getEmpireStats(*stats, newOwner), kPresence) += 1.0f;
  }

  // Empire stats of planets and ships, and their share of the system's.
  const int type = getType();
  if (type == OT_Planet || type == OT_Hulled) {
    const irr::core::stringw& kindStat = type == OT_Planet ? kEmpirePlanets : kEmpireShips;
    const float strength = strengthStat();
    if (newOwner != nullptr) {
      newOwner->modStat(kindStat, ESO_Add, 1.0f);
      if (strength > 0.0f)
        newOwner->modStat(kStrength, ESO_Add, strength);
    }
    if (old != nullptr) {
      old->modStat(kindStat, ESO_Add, -1.0f);
      if (strength > 0.0f)
        old->modStat(kStrength, ESO_Add, -strength);
    }
    if (stats != nullptr) {
      const irr::core::stringw& systemStat = type == OT_Planet ? kPlanets : kStrength;
      const float amount = type == OT_Planet ? 1.0f : strength;
      if (amount > 0.0f) {
        if (old != nullptr && old->isValid())
          statValue(getEmpireStats(*stats, old), systemStat) -= amount;
        if (newOwner != nullptr && newOwner->isValid())
          statValue(getEmpireStats(*stats, newOwner), systemStat) += amount;
      }
    }
  }

  if (newOwner != nullptr)
    newOwner->registerObject(this);
  if (old != nullptr)
    old->unregisterObject(this);
  leaveFleet(*this);
  if (ai != nullptr)
    ai->clearOrders(false);

  owner = newOwner;
  if (isNetworkServer())
    sendOwnerChange(newOwner);
}

void generic_object::sendOwnerChange(const empire* newOwner) {
  RakNet::BitStream fallback;
  RakNet::BitStream& stream = messageStream(fallback);
  stream.Write(kMsgDockEvent);
  writeNetObjectRef(stream, this);
  stream.Write(kDockEventOwner);
  stream.Write(newOwner != nullptr ? newOwner->ID : kInvalidEmpireID);
  networkManager->send(&stream, kChannelObjectEvents, RakNet::RELIABLE_ORDERED, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}

void generic_object::sendDestroyed() {
  RakNet::BitStream fallback;
  RakNet::BitStream& stream = messageStream(fallback);
  stream.Write(kMsgObjectDestroyed);
  stream.Write(uid);
  networkManager->send(&stream, kChannelDestruction, RakNet::RELIABLE, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}

// --- Build queue -----------------------------------------------------------

void generic_object::addConstructible(constructible* item) {
  if (item == nullptr)
    return;
  if (isNetworkClient()) {  // the server keeps the queue
    delete item;
    return;
  }
  buildQueue.push_back(item);
}

void generic_object::removeConstructible(constructible* item) {
  const irr::s32 index = buildQueue.linear_search(item);
  if (index < 0)
    return;
  delete item;
  buildQueue.erase(static_cast<irr::u32>(index));
}

void generic_object::clearBuildQueue() {
  if (isNetworkClient()) {
    RakNet::BitStream fallback;
    RakNet::BitStream& stream = messageStream(fallback);
    stream.Write(kMsgBuildQueue);
    stream.Write(uid);
    stream.Write(kBuildQueueClear);
    networkManager->send(&stream, kChannelRequests, RakNet::RELIABLE_ORDERED, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
    return;
  }
  for (irr::u32 i = 0; i < buildQueue.size(); ++i)
    delete buildQueue[i];
  buildQueue.clear();
}

void generic_object::moveConstructible(unsigned from, unsigned to) {
  const unsigned count = buildQueue.size();
  if (from >= count || from == to)
    return;
  if (to >= count)
    to = count - 1;
  if (from == to)
    return;
  constructible* item = buildQueue[from];
  buildQueue.erase(from);
  buildQueue.insert(item, to);
}

void generic_object::tickBuildQueue(float seconds) {
  irr::u32 startCount = buildQueue.size();
  while (startCount > 0 && buildQueue.size() > 0) {
    constructible* item = buildQueue[0];
    if (!item->payCosts(states, this, seconds))
      return;

    const irr::core::stringw itemName = item->getName();
    irr::core::stringw text = L"#link:o";
    text += irr::core::stringw(uid);
    text += L"#";
    text += name;
    text += getLocalizedText(L"#EM_Built");
    if (itemName.size() > 0) {
      text += L": ";
      text += itemName;
    }
    text += L"#link#";
    postEmpireMessage(owner, text, L"build", item->buildsShip() ? kShipPriority : kStructurePriority, -1);

    item->complete(this);
    if (hasFlag(FLAG_REPEAT_QUEUE)) {
      if (constructible* copy = item->clone())
        addConstructible(copy);  // first paid in the next tick
    }
    const irr::s32 index = buildQueue.linear_search(item);
    if (index >= 0)
      buildQueue.erase(static_cast<irr::u32>(index));
    delete item;
    --startCount;
  }
}

// --- Timed effects and damage ------------------------------------------------

bool generic_object::addTimedEffect(const effect_data& values, float duration, float delay, generic_object* source,
                                    SysRef* eventSource, SysRef* eventDest) {
  timed_effect* effect = new timed_effect(values, source, this, duration, delay, eventSource, eventDest);
  if (effect->event.state != ESC_DISABLE && effect->duration >= 0.0f) {
    timedEffects.push_back(effect);
    return true;
  }
  delete effect;  // its event lets go of both objects
  return false;
}

void generic_object::releaseTimedEffects() {
  for (irr::u32 i = 0; i < timedEffects.size(); ++i)
    delete timedEffects[i];
  timedEffects.clear();
}

bool generic_object::tickTimedEffects(float seconds) {
  effectsTicking_ = true;
  for (irr::s32 i = static_cast<irr::s32>(timedEffects.size()) - 1; i >= 0; --i) {
    timed_effect* effect = timedEffects[static_cast<irr::u32>(i)];
    if (effect->tick(seconds)) {
      timedEffects.erase(static_cast<irr::u32>(i));
      delete effect;
    }
    if (!isValid()) {
      effectsTicking_ = false;
      releaseTimedEffects();  // the destruction left them to this loop
      return false;
    }
  }
  effectsTicking_ = false;
  return true;
}

void generic_object::damage(EffectEvent& event) {
  State* damageState = getOrAddObjectState(this, kDamage);
  addToState(*damageState, this, event.time);
  if (damageState->value.val >= damageState->value.max) {
    setFlag(FLAG_DESTROY);
    clearFlag(FLAG_QUIET_DESTROY);
  }
  lastAttacked = objectRealTimeMs();
}

// --- Movement --------------------------------------------------------------------

bool movesFreely(const MoveHandler* handler) {
  const auto* mobile = dynamic_cast<const MobileMover*>(handler);
  return mobile != nullptr && !mobile->parkOrbitInUse();
}

void generic_object::setDestination(const vector3df& point, vector3df frameVelocity) {
  if (auto* mobile = dynamic_cast<MobileMover*>(mover))
    mobile->setDestinationWithVelocity(point, frameVelocity);
  else if (auto* mirror = dynamic_cast<FakeMobileMover*>(mover))
    mirror->setDestinationWithVelocity(point, frameVelocity);
}

void generic_object::setDestination(const vector3df& point) {
  if (auto* mobile = dynamic_cast<MobileMover*>(mover))
    mobile->setDestination(point);
  else if (auto* mirror = dynamic_cast<FakeMobileMover*>(mover))
    mirror->setDestination(point);
}

// --- Proximity push ------------------------------------------------------------

namespace {

// Children looked at for a neighbour in one tick.
constexpr unsigned kNeighbourScan = 5;
// A push is not aimed when the two centres (nearly) coincide.
constexpr float kPushAimSquared = 1e-8f;
// Squared speeds at and beyond this are not given by a push.
constexpr float kPushSpeedLimitSquared = 100.0f;

float reachSquared(const generic_object& a, const generic_object& b) {
  const float reach = a.radius + b.radius;
  return reach * reach;
}

}  // namespace

void generic_object::pushApartFromNeighbour(float seconds) {
  generic_object* outer = container.load();
  if (outer == nullptr || outer->getType() != OT_System || !movesFreely(mover))
    return;

  if (nearObject == nullptr) {
    const irr::u32 count = outer->children.size();
    if (count == 0)
      return;
    irr::u32 index = (nearScanIndex + 1) % count;
    for (irr::u32 n = 0; n < kNeighbourScan && n < count; ++n) {
      generic_object* other = outer->children[index].get();
      if (other != this && (other->position - position).getLengthSQ() < reachSquared(*this, *other)) {
        setObjectRef(nearObject, other);
        nearScanIndex = index;
        return;
      }
      index = (index + 1) % count;
    }
    nearScanIndex = index;
    return;
  }

  generic_object* other = nearObject;
  if (!other->isValid() || other->container.load() != outer ||
      (other->position - position).getLengthSQ() > reachSquared(*this, *other)) {
    setObjectRef(nearObject, nullptr);
    return;
  }
  const float massA = static_cast<float>(getBaseMass());
  const float massB = static_cast<float>(other->getBaseMass());
  vector3df apart = position - other->position;
  const float lengthSquared = apart.getLengthSQ();
  if (std::fabs(lengthSquared) > kPushAimSquared)
    apart = apart / std::sqrt(lengthSquared) * (seconds * 4.0f / (massA + massB));
  const vector3df mine = velocity + apart * massB;
  const vector3df theirs = other->velocity - apart * massA;
  if (mine.getLengthSQ() < kPushSpeedLimitSquared)
    velocity = mine;
  if (theirs.getLengthSQ() < kPushSpeedLimitSquared)
    other->velocity = theirs;
}

// --- Tick ------------------------------------------------------------------

void generic_object::tick(float seconds) {
  if (linkedObject != nullptr && !linkedObject->isValid())
    setObjectRef(linkedObject, nullptr);

  if (generic_object* outer = container.load())
    localTime = outer->localTime;
  else
    localTime += seconds;

  if (timedEffects.size() > 0) {
    // An effect may end the object: it stays alive to the end of this step.
    const heldPointer<generic_object> self(this);
    if (!tickTimedEffects(seconds))
      return;
  }
  if (!isValid())
    return;
  if (hasFlag(FLAG_DESTROY)) {
    destroyNow(hasFlag(FLAG_QUIET_DESTROY));
    return;
  }

  if (ObjectAI* current = ai) {
    // Alive for the whole of its tick: an order that ends the object or
    // replaces its AI cannot free what the tick is walking.
    current->grab();
    current->tick();
    current->release();  // a temporary reference: not the object letting go of its AI
  }
  tickBuildQueue(seconds);
  pushApartFromNeighbour(seconds);
  if (mover != nullptr)
    mover->tick(seconds, *this);

  irr::u32 i = 0;
  while (i < children.size()) {
    const irr::u32 before = children.size();
    children[i]->tick(seconds);
    if (children.size() == before)
      ++i;
  }
}
