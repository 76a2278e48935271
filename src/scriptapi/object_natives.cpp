#include "scriptapi/object_natives.h"

#include <algorithm>
#include <atomic>
#include <optional>

#include "core/log.h"
#include "core/net_encoders.h"
#include "design/build/build_requests.h"
#include "design/build/constructible.h"
#include "design/build/mimic_constructible.h"
#include "design/hull_list.h"
#include "design/effects/resources.h"
#include "empire/empire.h"
#include "net/object_requests.h"
#include "script/script_engine.h"
#include "script/script_string.h"
#include "scriptapi/native_support.h"
#include "universe/movement/fake_mobile_mover.h"
#include "universe/movement/mobile_mover.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/solar_system.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"

namespace objectnatives {

namespace {

// Cargo is used up whole only when it does not exceed the amount by more
// than this factor, and overflow is stored only when the hold has more room
// than this factor of it: the single-precision factor, widened.
const double kCargoSlack = static_cast<double>(1.0001f);

constexpr char kStateIndexError[] = "Accessed storage out-of-bounds";
// The channel of the object commands and build requests.
constexpr uint8_t kRequestChannel = 0;
constexpr char kNullStatName[] = "Null string@ when specifying stat";

// The lock that guards an object's states: a star system's (or the
// galaxy's) own lock for those, else the object's lock.
class StatesLock {
 public:
  explicit StatesLock(generic_object* object) : object_(object), system_(asSystemLock(object)) {
    if (system_ != nullptr)
      lockSolarSystem(system_);
    else
      object_->lockContainer();
  }
  ~StatesLock() {
    if (system_ != nullptr)
      unlockSolarSystem(system_);
    else
      object_->unlockContainer();
  }
  StatesLock(const StatesLock&) = delete;
  StatesLock& operator=(const StatesLock&) = delete;

 private:
  generic_object* object_;
  solarSystem* system_;
};

bool canBeCargo(const State& state) {
  return state.value.resource != nullptr && state.value.resource->canBeCargo;
}

// Whether the client engine may show `state` of `object`.
bool visibleToClient(const generic_object* object, const State* state) {
  if (state == nullptr)
    return false;
  if (state->value.resource != nullptr && state->value.resource->alwaysVisible)
    return true;
  const empire* active = activeEmpire.load();
  return active != nullptr && object->getOwner() == active;
}

bool ownedByActiveEmpire(const generic_object* object) {
  const empire* active = activeEmpire.load();
  return active != nullptr && object->getOwner() == active;
}

State* lookUp(generic_object* object, const ScriptString& name) {
  return findObjectState(object, name.toStringw());
}

bool writeValues(const State* state, float& val, float& max, float& required, float& inCargo) {
  if (state == nullptr)
    return false;
  val = state->value.val;
  max = state->value.max;
  required = state->value.required;
  inCargo = state->value.inCargo;
  return true;
}

bool validStance(int value) { return value >= AIS_Engage && value <= AIS_Defend; }

// The stance kept by the object's AI; null for an object without one.
UnitAI* unitAI(generic_object* object) { return dynamic_cast<UnitAI*>(object->ai); }

// The server's change, with the object locked by the caller.
void applyStance(generic_object* object, int value) {
  if (UnitAI* ai = unitAI(object))
    ai->stance = static_cast<AIStance>(value);
  if (value == AIS_HoldFire && object->getType() == OT_Hulled)
    if (auto* ship = dynamic_cast<objHulled*>(object))
      ship->clearEffectorTargets();
}

}  // namespace

float stateAvailable(const State* state) { return getAvailable(*state); }

float stateFreeSpace(const State* state) { return getFreeSpace(*state); }

float stateTotalFreeSpace(const State* state, const generic_object* object) {
  return getTotalFreeSpace(*state, object);
}

float stateAdd(State* state, float amount, generic_object* object) {
  const HeldHandle<generic_object> held(object);
  if (object == nullptr) {
    raiseScriptException("Null Object@ when adding a resource");
    return 0.0f;
  }
  storedAmount& stock = state->value;
  const double room = static_cast<double>(stock.max) - stock.val;
  if (room >= amount) {
    stock.val = static_cast<float>(static_cast<double>(stock.val) + amount);
    return amount;
  }
  stock.val = stock.max;
  if (!canBeCargo(*state))
    return static_cast<float>(room);  // the excess is lost
  const double excess = amount - room;
  const double cargoFree = static_cast<double>(object->cargoSpace) - object->cargoUsed;
  if (cargoFree > excess * kCargoSlack) {
    object->cargoUsed = static_cast<float>(object->cargoUsed + excess);
    stock.inCargo = static_cast<float>(stock.inCargo + excess);
    return static_cast<float>(room + excess);
  }
  object->cargoUsed = object->cargoSpace;
  stock.inCargo = static_cast<float>(stock.inCargo + cargoFree);
  return static_cast<float>(room + cargoFree);
}

float stateConsume(State* state, float amount, generic_object* object) {
  const HeldHandle<generic_object> held(object);
  if (object == nullptr) {
    raiseScriptException("Null Object@ when consuming a resource");
    return 0.0f;
  }
  storedAmount& stock = state->value;
  double remaining = amount;
  if (stock.inCargo > 0.0f) {
    if (stock.inCargo > remaining * kCargoSlack) {
      object->cargoUsed = static_cast<float>(object->cargoUsed - remaining);
      stock.inCargo = static_cast<float>(stock.inCargo - remaining);
      return amount;
    }
    object->cargoUsed = static_cast<float>(static_cast<double>(object->cargoUsed) - stock.inCargo);
    remaining -= stock.inCargo;
    stock.inCargo = 0.0f;
  }
  stock.val = static_cast<float>(stock.val - remaining);
  return amount;
}

State* addedState(generic_object* object, const ScriptString& name) {
  const StatesLock lock(object);
  return getOrAddObjectState(object, name.toStringw());
}

State* foundState(generic_object* object, const ScriptString& name) {
  const StatesLock lock(object);
  return lookUp(object, name);
}

State* foundStateForClient(generic_object* object, const ScriptString& name) {
  static std::atomic<bool> warned{false};
  if (!warned.exchange(true))
    logPrint("%s\n", kClientGetStateWarning);
  const StatesLock lock(object);
  State* state = lookUp(object, name);
  return visibleToClient(object, state) ? state : nullptr;
}

bool stateValues(generic_object* object, const ScriptString& name, float& val, float& max, float& required,
                 float& inCargo) {
  const StatesLock lock(object);
  return writeValues(lookUp(object, name), val, max, required, inCargo);
}

bool stateValuesForClient(generic_object* object, const ScriptString& name, float& val, float& max,
                          float& required, float& inCargo) {
  const StatesLock lock(object);
  const State* state = lookUp(object, name);
  return visibleToClient(object, state) && writeValues(state, val, max, required, inCargo);
}

bool hasState(generic_object* object, const ScriptString& name) {
  const StatesLock lock(object);
  return lookUp(object, name) != nullptr;
}

bool hasStateForClient(generic_object* object, const ScriptString& name) {
  const StatesLock lock(object);
  return visibleToClient(object, lookUp(object, name));
}

uint32_t stateCount(const generic_object* object) { return object->states.size(); }

State* stateAt(generic_object* object, uint32_t index) {
  const StatesLock lock(object);
  StateList& states = object->states;
  if (index >= states.size()) {
    raiseScriptException(kStateIndexError);
    return nullptr;
  }
  states.sort();  // by name, unless marked sorted
  return states[index];
}

ScriptString* stateNameAt(generic_object* object, uint32_t index) {
  const StatesLock lock(object);
  StateList& states = object->states;
  if (index >= states.size()) {
    raiseScriptException(kStateIndexError);
    return nullptr;
  }
  states.sort();
  return new ScriptString(states[index]->entryName());
}

int stance(generic_object* object) {
  const ObjectLock lock(object);
  const UnitAI* ai = unitAI(object);
  return ai != nullptr ? ai->stance : AIS_Engage;
}

void setStance(generic_object* object, int value) {
  if (!validStance(value))
    return;
  const ObjectLock lock(object);
  applyStance(object, value);
}

void setStanceForClient(generic_object* object, int value) {
  if (!validStance(value) || !ownedByActiveEmpire(object))
    return;
  if (!sendsClientRequests()) {
    setStance(object, value);
    return;
  }
  sendClientRequest(kRequestChannel, RakNet::RELIABLE_ORDERED, [&](RakNet::BitStream& stream) {
    stream.Write(ID_OBJECT_COMMAND);
    stream.Write(static_cast<uint8_t>(OCK_Stance));
    writeNetObjectRef(stream, object);
    stream.Write(static_cast<uint8_t>(value));
    return true;
  });
  const ObjectLock lock(object);
  if (UnitAI* ai = unitAI(object))
    ai->stance = static_cast<AIStance>(value);
}

}  // namespace objectnatives

std::atomic<bool> noObjectLocking{false};

namespace objectnatives {

namespace {

// Scripts name the default empire with a null handle.
empire* statsEmpire(empire* emp) { return emp != nullptr ? emp : getEmpireByID(static_cast<EmpireID>(-1)); }

// The statistics table's lock, unless locking is off while the galaxy is
// set up.
class StatsLock {
 public:
  explicit StatsLock(generic_object* object) {
    if (!noObjectLocking.load())
      lock_.emplace(object);
  }

 private:
  std::optional<StatesLock> lock_;
};

}  // namespace

float mass(const generic_object* object) { return static_cast<float>(object->getMass()); }

void setName(generic_object* object, const ScriptString& name) {
  const irr::core::stringw text = name.toStringw();
  if (text.empty()) {
    raiseScriptException("Empty strings are not valid object names");
    return;
  }
  const ObjectLock lock(object);
  object->name = text;
}

generic_object* parent(generic_object* object) { return object->container.load(); }

bool globalVisibility(const generic_object* object) { return object->hasFlag(FLAG_ALWAYS_VISIBLE); }

void setGlobalVisibility(generic_object* object, bool visible) {
  if (visible)
    object->setFlag(FLAG_ALWAYS_VISIBLE);
  else
    object->clearFlag(FLAG_ALWAYS_VISIBLE);
}

ScriptString* makeLink(const generic_object* object) {
  return new ScriptString(irr::core::stringw(L"#link:o") + irr::core::stringw(object->uid) + L"#");
}

void repair(generic_object* object, float amount) {
  switch (object->getType()) {
    case OT_Planet:
      if (auto* planet = dynamic_cast<objHabitation*>(object))
        planet->repair(amount);
      break;
    case OT_Hulled:
      if (auto* ship = dynamic_cast<objHulled*>(object))
        ship->repair(amount);
      break;
    default:
      break;
  }
}

void destroy(generic_object* object) { object->destroy(false); }

void destroyQuietly(generic_object* object, bool quiet) { object->destroy(quiet); }

void reparent(generic_object* object) { object->setFlag(FLAG_REPARENT); }

bool underAttack(const generic_object* object) { return object->isUnderAttack(); }

void setUnderAttack(generic_object* object) { object->setLastAttacked(true); }

void setStat(generic_object* object, empire* emp, const ScriptString* name, float value) {
  if (name == nullptr) {
    raiseScriptException(kNullStatName);
    return;
  }
  const StatsLock lock(object);
  if (object->systemStats != nullptr)
    statValue(getEmpireStats(*object->systemStats, statsEmpire(emp)), name->toStringw()) = value;
}

float stat(generic_object* object, empire* emp, const ScriptString* name) {
  if (name == nullptr) {
    raiseScriptException(kNullStatName);
    return 0.0f;
  }
  const StatsLock lock(object);
  if (object->systemStats == nullptr)
    return 0.0f;
  return getStatValue(getEmpireStats(*object->systemStats, statsEmpire(emp)), name->toStringw());
}

void cargoValues(const generic_object* object, float& used, float& capacity) {
  used = object->cargoUsed;
  capacity = object->cargoSpace;
}

void shipBayValues(const generic_object* object, float& used, float& capacity) {
  used = object->dockUsed;
  capacity = object->dockSpace;
}

}  // namespace objectnatives

namespace objectnatives {

namespace {

constexpr uint8_t kQueueSettingChannel = 2;

constructible* itemAt(const generic_object* object, uint32_t index) {
  return index < object->buildQueue.size() ? object->buildQueue[index] : nullptr;
}

// 118 with its sub-kind, for `object`; `rest` writes the fields after it.
template <class Rest>
void sendQueueSetting(generic_object* object, uint8_t subKind, Rest rest) {
  sendClientRequest(kQueueSettingChannel, RakNet::RELIABLE_ORDERED, [&](RakNet::BitStream& stream) {
    stream.Write(ID_PLANET_SETTING);
    writeNetObjectRef(stream, object);
    stream.Write(subKind);
    rest(stream);
    return true;
  });
}

void sendMakeShip(const generic_object* object, const irr::core::stringw& layoutName, uint32_t count) {
  const bool counted = networkManager != nullptr && networkManager->peerVersion > 6;
  const uint32_t messages = counted ? (count > 0 ? 1 : 0) : count;
  for (uint32_t i = 0; i < messages; ++i)
    sendClientRequest(kRequestChannel, RakNet::RELIABLE_ORDERED, [&](RakNet::BitStream& stream) {
      const uint16_t sent = static_cast<uint16_t>(count);
      writeShipBuildRequest(stream, object->uid, layoutName, counted ? &sent : nullptr);
      return true;
    });
}

}  // namespace

float constructionProgress(generic_object* object, uint32_t index) {
  const ObjectLock lock(object);
  const constructible* item = itemAt(object, index);
  return item != nullptr ? item->getProgress() : 0.0f;
}

float firstConstructionProgress(generic_object* object) { return constructionProgress(object, 0); }

ScriptString* constructionName(generic_object* object, uint32_t index) {
  const ObjectLock lock(object);
  const constructible* item = itemAt(object, index);
  return item != nullptr ? new ScriptString(item->getName()) : nullptr;
}

ScriptString* firstConstructionName(generic_object* object) { return constructionName(object, 0); }

ScriptString* constructionType(generic_object* object, uint32_t index) {
  const ObjectLock lock(object);
  const constructible* item = itemAt(object, index);
  return item != nullptr ? new ScriptString(item->getType()) : nullptr;
}

ScriptString* firstConstructionType(generic_object* object) { return constructionType(object, 0); }

// The queue's length is read under the object's lock: a galaxy thread's
// governor adds to the queue while an empire step's script asks for it.
uint32_t constructionQueueSize(const generic_object* object) {
  const ObjectLock lock(const_cast<generic_object*>(object));
  return object->buildQueue.size();
}

uint32_t constructionQueueSizeForClient(const generic_object* object) {
  return ownedByActiveEmpire(object) ? constructionQueueSize(object) : 0;
}

void removeConstruction(generic_object* object, uint32_t index) {
  if (sendsClientRequests())
    sendQueueSetting(object, PSK_RemoveItem, [&](RakNet::BitStream& stream) { stream.Write(index); });
  const ObjectLock lock(object);
  if (constructible* item = itemAt(object, index))
    object->removeConstructible(item);
}

void moveConstruction(generic_object* object, uint32_t from, uint32_t to) {
  if (sendsClientRequests())
    sendQueueSetting(object, PSK_MoveItem, [&](RakNet::BitStream& stream) {
      stream.Write(from);
      stream.Write(to);
    });
  const ObjectLock lock(object);
  object->moveConstructible(from, to);
}

void constructionCost(generic_object* object, uint32_t index, const ScriptString& name, float& paid,
                      float& total) {
  paid = 0.0f;
  total = 0.0f;
  const ObjectLock lock(object);
  constructible* item = itemAt(object, index);
  if (item == nullptr)
    return;
  const irr::s32 found = findNamedCost(item->costs, name.toStringw());
  if (found < 0)
    return;
  paid = item->costs[found].value.paid;
  total = item->costs[found].value.amount;
}

void clearBuildQueue(generic_object* object) {
  const ObjectLock lock(object);
  object->clearBuildQueue();
}

void setRepeatQueue(generic_object* object, bool repeat) { object->setRepeatQueue(repeat); }

void setRepeatQueueForClient(generic_object* object, bool repeat) {
  if (!ownedByActiveEmpire(object))
    return;
  if (sendsClientRequests())
    sendQueueSetting(object, PSK_RepeatQueue, [&](RakNet::BitStream& stream) { stream.Write(repeat); });
  object->setRepeatQueue(repeat);
}

bool repeatQueue(const generic_object* object) { return object->getRepeatQueue(); }

void makeShips(generic_object* object, const hull_list* layout, uint32_t count) {
  if (layout == nullptr || layout->owner != object->getOwner())
    return;
  count = std::min(count, kMaxMakeShipCount);
  if (sendsClientRequests()) {
    sendMakeShip(object, layout->name, count);
    // Placeholders until the server's queue arrives (the client's queue
    // keeps no real items, so they go in directly).
    const ObjectLock lock(object);
    for (uint32_t i = 0; i < count; ++i) {
      auto* placeholder = new mimic_constructible(layout->name);
      placeholder->progress = 0.0f;
      object->buildQueue.push_back(placeholder);
    }
    return;
  }
  const ObjectLock lock(object);
  empire* owner = object->getOwner();
  if (owner == nullptr || owner != activeEmpire.load())
    return;
  for (uint32_t i = 0; i < count; ++i) {
    hull_list* current = owner->updateHullByName(layout->name, 1.0f);
    if (current == nullptr)
      return;
    object->addConstructible(new ShipConstructible(current));
  }
}

void makeShip(generic_object* object, const hull_list* layout) { makeShips(object, layout, 1); }

void undockAll(generic_object* object) {
  const ObjectLock lock(object);
  const unsigned count = object->docked.size();
  for (unsigned i = 0; i < count; ++i)
    object->undockObject(0);
}

void undockAllForClient(generic_object* object) {
  if (ownedByActiveEmpire(object))
    undockAll(object);
}

}  // namespace objectnatives

namespace objectnatives {

namespace {

// The absolute position of `object`, read under its own lock.
vector3df lockedPosition(generic_object* object) {
  const ObjectLock lock(object);
  return object->getPosition();
}

bool validTarget(const generic_object* target) { return target != nullptr && target->isValid(); }

}  // namespace

void setDestination(generic_object* object, const vector3df& point) { object->setDestination(point); }

vector3df destination(generic_object* object) {
  // The goal is read under the object's lock, with a reference on the
  // target; the target's position then under the target's own lock (a
  // thread holds one system at a time).
  generic_object* target = nullptr;
  vector3df point;
  bool ownPosition = false;
  {
    const ObjectLock lock(object);
    if (MobileMover* mover = MobileMover::of(object)) {
      if (validTarget(mover->target))
        target = mover->target;
      else
        point = mover->destination;
    } else if (FakeMobileMover* mirror = FakeMobileMover::of(object)) {
      const bool active = mirror->parkOrbit != nullptr && mirror->parkOrbit->active;
      if (!active)
        ownPosition = true;
      else if (validTarget(mirror->destinationTarget))
        target = mirror->destinationTarget;
      else
        point = mirror->destination;
    }
    if (target != nullptr)
      target->grab();
  }
  if (ownPosition)
    return lockedPosition(object);
  if (target == nullptr)
    return point;
  const HeldHandle<generic_object> held(target);
  return lockedPosition(target);
}

float thrust(const generic_object* object) {
  if (const MobileMover* mover = MobileMover::of(object))
    return mover->thrust;
  if (const FakeMobileMover* mirror = FakeMobileMover::of(object))
    return mirror->thrust;
  return 0.0f;
}

void setThrust(generic_object* object, float value) {
  if (MobileMover* mover = MobileMover::of(object))
    mover->thrust = value;
}

generic_object* orbitedBody(generic_object* object) {
  if (object == nullptr)
    return nullptr;
  const ObjectLock lock(object);
  if (const MobileMover* mover = MobileMover::of(object))
    return mover->getParkedOrbitBody();
  if (auto* orbit = dynamic_cast<const OrbitOtherMover*>(object->mover))
    return orbit->active ? orbit->orbited : nullptr;
  return nullptr;
}

void orbitAround(generic_object* object, generic_object* body) {
  const ObjectLock lock(object);
  MobileMover* mover = MobileMover::of(object);
  if (mover != nullptr && MobileMover::isOrbitChainShort(body, object))
    mover->orbitAround(*object, body);
}

bool parked(const generic_object* object) {
  const MobileMover* mover = MobileMover::of(object);
  return mover != nullptr && mover->parked;
}

void setParked(generic_object* object, bool park) {
  if (sendsClientRequests()) {
    sendClientRequest(kRequestChannel, RakNet::RELIABLE_ORDERED, [&](RakNet::BitStream& stream) {
      stream.Write(ID_OBJECT_COMMAND);
      stream.Write(static_cast<uint8_t>(OCK_Park));
      writeNetObjectRef(stream, object);
      stream.Write(park);
      return true;
    });
    return;
  }
  const ObjectLock lock(object);
  if (MobileMover* mover = MobileMover::of(object))
    mover->setParked(park);
}

}  // namespace objectnatives

namespace objectnatives {

solarSystem* currentSystem(generic_object* object) {
  for (generic_object* at = object; at != nullptr; at = at->container.load()) {
    if (at->getType() == OT_System) {
      at->grab();
      return static_cast<solarSystem*>(at);
    }
  }
  return nullptr;
}

generic_object* objectByIDForClient(uint32_t uid) {
  generic_object* object = getObjectByUIDRef(uid);
  if (object != nullptr && !object->isVisibleTo(activeEmpire.load())) {
    object->drop();
    return nullptr;
  }
  return object;
}

}  // namespace objectnatives
