#include "net/object_details.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "core/common_strings.h"
#include "core/locks.h"
#include "core/net_encoders.h"
#include "design/build/constructible.h"
#include "design/build/mimic_constructible.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "net/diplomacy_messages.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "universe/movement/fake_mobile_mover.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_guards.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/object_states.h"
#include "universe/objects/solar_system.h"
#include "universe/orders/networked_order.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_types.h"
#include "universe/ships/ship.h"

using irr::core::stringw;

namespace {

const stringw kDamageState = L"Damage";
constexpr float kFractionScale = 65535.0f;
constexpr unsigned kOrderCountBits = 5;

objHabitation* asPlanet(generic_object& object) {
  return object.getType() == OT_Planet ? dynamic_cast<objHabitation*>(&object) : nullptr;
}

objHulled* asShip(generic_object& object) {
  return object.getType() == OT_Hulled ? dynamic_cast<objHulled*>(&object) : nullptr;
}

bool isFinite(const vector3df& value) {
  return std::isfinite(value.X) && std::isfinite(value.Y) && std::isfinite(value.Z);
}

void writeVector(RakNet::BitStream& stream, const vector3df& value) {
  stream.Write(value.X);
  stream.Write(value.Y);
  stream.Write(value.Z);
}

bool readVector(RakNet::BitStream& stream, vector3df& out) {
  return stream.Read(out.X) && stream.Read(out.Y) && stream.Read(out.Z);
}

uint32_t floatWord(float value) {
  uint32_t word = 0;
  std::memcpy(&word, &value, sizeof word);
  return word;
}

float wordFloat(uint32_t word) {
  float value = 0.0f;
  std::memcpy(&value, &word, sizeof value);
  return value;
}

// The order queue's length, 0 without one.
uint32_t orderCountOf(const generic_object& object) { return object.ai != nullptr ? object.ai->getOrderCount() : 0; }

// --- States -------------------------------------------------------------------

void writeSignedMagnitude(RakNet::BitStream& stream, float value, float range) {
  if (!std::isfinite(value) || value == 0.0f) {
    stream.Write0();
    return;
  }
  stream.Write1();
  stream.Write(value > 0.0f);
  writeNetFloat16(stream, std::fabs(value), 0.0f, range);
}

bool readSignedMagnitude(RakNet::BitStream& stream, float range, float& out) {
  bool nonZero = false;
  if (!stream.Read(nonZero))
    return false;
  if (!nonZero) {
    out = 0.0f;
    return true;
  }
  bool positive = false;
  if (!stream.Read(positive))
    return false;
  const float magnitude = readNetFloat16(stream, 0.0f, range);
  out = positive ? magnitude : -magnitude;
  return !stream.ReadFailed();
}

void writeStates(generic_object& object, RakNet::BitStream& stream) {
  const uint32_t count = std::min<uint32_t>(object.states.size(), kMaxDetailStates);
  stream.Write(static_cast<uint8_t>(count));
  for (uint32_t i = 0; i < count; ++i) {
    const State& state = *object.states[i];
    const storedAmount& amount = state.value;
    const float values[4] = {amount.val, amount.max, amount.required, amount.inCargo};
    float range = 0.0f;
    for (float value : values)
      if (std::isfinite(value))
        range = std::max(range, std::fabs(value));
    writeNetStringW(stream, state.entryName(), kMaxNetStringLength);
    stream.Write(range);
    for (float value : values)
      writeSignedMagnitude(stream, value, range);
  }
}

struct StateValues {
  stringw name;
  float values[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

bool readStates(RakNet::BitStream& stream, generic_object& object) {
  uint8_t count = 0;
  if (!stream.Read(count))
    return false;
  std::vector<StateValues> read(count);
  for (StateValues& entry : read) {
    float range = 0.0f;
    if (!readNetStringW(stream, entry.name) || !stream.Read(range) || !std::isfinite(range) || range < 0.0f)
      return false;
    for (float& value : entry.values)
      if (!readSignedMagnitude(stream, range, value))
        return false;
  }
  for (const StateValues& entry : read) {
    if (entry.name.empty())
      continue;
    State* state = getOrAddObjectState(&object, entry.name);
    state->value.val = entry.values[0];
    state->value.max = entry.values[1];
    state->value.required = entry.values[2];
    state->value.inCargo = entry.values[3];
  }
  return true;
}

// --- Planets ------------------------------------------------------------------

void writePlanetPart(objHabitation& planet, RakNet::BitStream& stream, const ObjectDetailsQuery& query) {
  const bool structuresChanged = planet.structures.size() != query.structureCount;
  stream.Write(structuresChanged);
  if (structuresChanged) {
    stream.Write(static_cast<uint32_t>(planet.structures.size()));
    for (irr::u32 i = 0; i < planet.structures.size(); ++i) {
      const objHabitation::structEntry& entry = planet.structures[i];
      const subSystem* system = entry.system;
      stream.Write(system != nullptr && system->def != nullptr ? system->def->id : 0u);  // definition ID
      stream.Write(entry.record.state);                                                  // SysState
      stream.Write(floatWord(entry.record.HP));                                          // durability
      stream.Write(floatWord(entry.record.val1));  // the structure tick's first word
    }
  }
  const bool conditionsChanged = planet.conditions.size() != query.conditionCount;
  stream.Write(conditionsChanged);
  if (conditionsChanged) {
    const uint32_t count = std::min<uint32_t>(planet.conditions.size(), kMaxDetailConditions);
    stream.Write(static_cast<uint16_t>(count));
    for (uint32_t i = 0; i < count; ++i) {
      const planetCondition* condition = planet.conditions[i];
      writeNetStringW(stream, condition != nullptr ? condition->id : stringw(), kMaxNetStringLength);
    }
  }
  stream.Write(planet.usesGovernor());
  const stringw* governor = planet.getGovernorType();
  stream.Write(governor != nullptr);
  if (governor != nullptr)
    writeNetStringW(stream, *governor, kMaxNetStringLength);
  stream.Write(planet.getRepeatQueue());
  stream.Write(planet.linkedObject != nullptr);
  if (planet.linkedObject != nullptr)
    writeNetObjectRef(stream, planet.linkedObject);
}

struct StructureWords {
  uint32_t definition = 0;
  uint32_t state = 0;
  uint32_t durability = 0;
  uint32_t runWord = 0;
};

struct PlanetPart {
  bool structuresChanged = false;
  std::vector<StructureWords> structures;
  bool conditionsChanged = false;
  std::vector<stringw> conditions;
  bool useGovernor = false;
  bool hasGovernorType = false;
  stringw governorType;
  bool repeatQueue = false;
  bool hasRallyPoint = false;
  uint32_t rallyPoint = 0;
};

bool readPlanetPart(RakNet::BitStream& stream, PlanetPart& part) {
  if (!stream.Read(part.structuresChanged))
    return false;
  if (part.structuresChanged) {
    uint32_t count = 0;
    if (!stream.Read(count) || count > kMaxDetailStructures)
      return false;
    part.structures.resize(count);
    for (StructureWords& words : part.structures)
      if (!stream.Read(words.definition) || !stream.Read(words.state) || !stream.Read(words.durability) ||
          !stream.Read(words.runWord))
        return false;
  }
  if (!stream.Read(part.conditionsChanged))
    return false;
  if (part.conditionsChanged) {
    uint16_t count = 0;
    if (!stream.Read(count))
      return false;
    for (uint32_t i = 0; i < count; ++i) {
      stringw name;
      if (!readNetStringW(stream, name))
        return false;
      part.conditions.push_back(name);
    }
  }
  if (!stream.Read(part.useGovernor) || !stream.Read(part.hasGovernorType))
    return false;
  if (part.hasGovernorType && !readNetStringW(stream, part.governorType))
    return false;
  if (!stream.Read(part.repeatQueue) || !stream.Read(part.hasRallyPoint))
    return false;
  if (part.hasRallyPoint) {
    part.rallyPoint = readNetUInt(stream);
    if (stream.ReadFailed())
      return false;
  }
  return true;
}

// Frees the planet's structures without their events: the server ran them.
void clearStructuresQuietly(objHabitation& planet) {
  for (irr::u32 i = 0; i < planet.structures.size(); ++i) {
    delete[] planet.structures[i].record.effectorStates;
    delete planet.structures[i].system;
  }
  planet.structures.clear();
}

void rebuildStructures(objHabitation& planet, const std::vector<StructureWords>& structures) {
  clearStructuresQuietly(planet);
  if (structures.empty())
    return;
  std::unique_ptr<SubSystemFactory> factory(createSubSystemFactory());
  factory->prepare(&planet);
  for (const StructureWords& words : structures) {
    const auto found = subSystemDefsByID.find(words.definition);
    if (found == subSystemDefsByID.end())
      continue;
    subSystem* system = factory->create(found->second);
    if (system == nullptr)
      break;  // no owner to evaluate it for
    objHabitation::structEntry entry;
    entry.system = system;
    entry.record.system = system;
    entry.record.state = words.state;
    entry.record.HP = wordFloat(words.durability);
    entry.record.val1 = wordFloat(words.runWord);
    if (system->effectors.size() > 0)
      entry.record.effectorStates = new interactor_data[system->effectors.size()]();
    planet.structures.push_back(entry);
  }
  factory->release();
}

void applyPlanetPart(objHabitation& planet, const PlanetPart& part) {
  if (part.structuresChanged)
    rebuildStructures(planet, part.structures);
  if (part.conditionsChanged) {
    PlanetConditionRegistry& known = planetConditionRegistry();
    for (const stringw& name : part.conditions) {
      const int index = findPlanetCondition(name);
      if (index < 0)
        continue;
      planetCondition* condition = known[static_cast<irr::u32>(index)].value;
      if (planet.conditions.linear_search(condition) < 0)
        planet.conditions.push_back(condition);
    }
  }
  planet.setUseGovernor(part.useGovernor);
  if (part.hasGovernorType)
    planet.setGovernorType(part.governorType);
  else
    planet.governorType = nullptr;
  planet.setRepeatQueue(part.repeatQueue);
  if (!part.hasRallyPoint) {
    planet.setLinkedObject(nullptr);
  } else {
    const HeldObject rally(part.rallyPoint);
    planet.setLinkedObject(rally.get());
  }
}

// --- Ships ----------------------------------------------------------------------

float maximumHitPoints(const SysRef& record) {
  return record.system != nullptr ? record.system->getDurability() : 0.0f;
}

void writeShipPart(objHulled& ship, RakNet::BitStream& stream, const ObjectDetailsQuery& query) {
  const hull_list* layout = ship.getHull();
  const bool hullFollows = query.hullWanted && layout != nullptr;
  stream.Write(hullFollows);
  if (hullFollows) {
    stream.Write(layout->role);  // the layout's class (HullRole)
    stream.Write(layout->scale);
    writeNetStringW(stream, layout->getName(), kMaxNetStringLength);
    writeNetEmpire(stream, layout->owner);
  }
  const uint32_t count = std::min<uint32_t>(ship.getSubSystemCount(), kMaxDetailSubSystems);
  stream.Write(static_cast<uint16_t>(count));
  for (uint32_t i = 0; i < count; ++i) {
    const SysRef* record = ship.getSubSystem(static_cast<int>(i));
    const float maximum = record != nullptr ? maximumHitPoints(*record) : 0.0f;
    float fraction = maximum > 0.0f ? record->HP / maximum : 0.0f;
    if (!std::isfinite(fraction))
      fraction = 0.0f;
    fraction = std::min(std::max(fraction, 0.0f), 1.0f);
    stream.Write(static_cast<uint16_t>(std::lround(fraction * kFractionScale)));
  }
}

struct ShipPart {
  bool hullFollows = false;
  uint32_t role = 0;
  float scale = 1.0f;
  stringw name;
  uint8_t empireId = kInvalidEmpireID;
  std::vector<uint16_t> fractions;
};

bool readShipPart(RakNet::BitStream& stream, ShipPart& part) {
  if (!stream.Read(part.hullFollows))
    return false;
  if (part.hullFollows &&
      !(stream.Read(part.role) && stream.Read(part.scale) && readNetStringW(stream, part.name) &&
        stream.Read(part.empireId)))
    return false;
  uint16_t count = 0;
  if (!stream.Read(count) || stream.GetNumberOfUnreadBits() < static_cast<RakNet::BitSize>(count) * 16)
    return false;
  part.fractions.resize(count);
  for (uint16_t& fraction : part.fractions)
    if (!stream.Read(fraction))
      return false;
  return true;
}

// The layout `name` of the empire with `id`, made (and filed, the table
// holding it) as a placeholder of the server's when this client lacks it.
// Null for an unknown empire or an empty name.
hull_list* findOrMakeLayout(uint8_t id, const ShipPart& part) {
  empire* emp = id != kInvalidEmpireID ? getEmpireByID(id) : nullptr;
  if (emp == nullptr || emp->ID != id || part.name.empty())
    return nullptr;
  ScopedWriteLock guard(emp->locks[EA_HullLayouts]);
  NamedVar<hull_list*>& entry = NamedVar<hull_list*>::getOrAdd(emp->hulls, part.name);
  if (entry.value == nullptr) {
    auto* layout = new hull_list(layout_desc(), emp, true);
    layout->name = part.name;
    layout->scale = std::isfinite(part.scale) && part.scale > 0.0f ? part.scale : 1.0f;
    layout->role = part.role;
    entry.value = layout;
  }
  return entry.value;
}

void applyShipPart(objHulled& ship, const ShipPart& part) {
  if (part.hullFollows) {
    hull_list* layout = findOrMakeLayout(part.empireId, part);
    if (layout != nullptr && layout != ship.getHull())
      ship.setHullLayout(layout);
  }
  const uint32_t count = std::min<uint32_t>(static_cast<uint32_t>(part.fractions.size()), ship.getSubSystemCount());
  for (uint32_t i = 0; i < count; ++i)
    if (SysRef* record = ship.getSubSystem(static_cast<int>(i)))
      record->HP = static_cast<float>(part.fractions[i]) / kFractionScale * maximumHitPoints(*record);
}

// --- Movement and stance -----------------------------------------------------------

void writeMovement(generic_object& object, RakNet::BitStream& stream) {
  const MobileMover* mover = MobileMover::of(&object);
  stream.Write(mover != nullptr);
  if (mover != nullptr) {
    stream.Write(mover->target != nullptr);
    if (mover->target != nullptr)
      stream.Write(mover->target->uid);
    else
      writeVector(stream, mover->destination);
    stream.Write(mover->thrust > 0.0f);
    stream.Write(mover->parked);
  }
  writeVector(stream, object.velocity);
}

struct Movement {
  bool mobile = false;
  bool hasTarget = false;
  uint32_t target = 0;
  vector3df destination;
  bool thrusting = false;
  bool parked = false;
  vector3df velocity;
};

bool readMovement(RakNet::BitStream& stream, Movement& out) {
  if (!stream.Read(out.mobile))
    return false;
  if (out.mobile) {
    if (!stream.Read(out.hasTarget))
      return false;
    if (out.hasTarget ? !stream.Read(out.target) : !readVector(stream, out.destination))
      return false;
    if (!stream.Read(out.thrusting) || !stream.Read(out.parked))
      return false;
  }
  return readVector(stream, out.velocity);
}

void applyMovement(generic_object& object, const Movement& movement) {
  FakeMobileMover* mirror = FakeMobileMover::of(&object);
  if (movement.mobile && mirror != nullptr) {
    if (movement.hasTarget) {
      const HeldObject target(movement.target);
      if (target.get() != nullptr && target.get() != &object)
        mirror->setTargetObject(target.get());
    } else if (isFinite(movement.destination)) {
      mirror->setDestination(movement.destination);
    }
    mirror->thrust = movement.thrusting ? 1.0f : 0.0f;
    mirror->parked = movement.parked;
  }
  if (isFinite(movement.velocity))
    object.velocity = movement.velocity;
}

// --- Build queue -------------------------------------------------------------------

void writeCosts(const constructible& item, RakNet::BitStream& stream) {
  const uint32_t count = std::min<uint32_t>(item.costs.size(), kMaxDetailCosts);
  stream.Write(static_cast<uint8_t>(count));
  for (uint32_t i = 0; i < count; ++i) {
    writeNetStringW(stream, item.costs[i].entryName(), kMaxNetStringLength);
    stream.Write(item.costs[i].value.paid);
    stream.Write(item.costs[i].value.amount);
  }
}

struct CostEntry {
  stringw name;
  float paid = 0.0f;
  float total = 0.0f;
};

bool readCosts(RakNet::BitStream& stream, std::vector<CostEntry>& out) {
  uint8_t count = 0;
  if (!stream.Read(count))
    return false;
  out.resize(count);
  for (CostEntry& cost : out)
    if (!readNetStringW(stream, cost.name) || !stream.Read(cost.paid) || !stream.Read(cost.total))
      return false;
  return true;
}

void setCosts(constructible& item, const std::vector<CostEntry>& costs) {
  item.costs.clear();
  for (const CostEntry& cost : costs) {
    if (cost.name.empty())
      continue;
    constructible::cost& entry = PtrNamedVar<constructible::cost>::getOrAdd(item.costs, cost.name, internCommonString).value;
    entry.paid = cost.paid;
    entry.amount = cost.total;
  }
}

void writeBuildQueue(generic_object& object, RakNet::BitStream& stream, const ObjectDetailsQuery& query) {
  const uint32_t count = std::min<uint32_t>(object.buildQueue.size(), kMaxDetailQueueItems);
  const bool unchanged =
      query.queueCount == count && (count == 0 || query.queueHash == hashWideString(object.buildQueue[0]->getName()));
  stream.Write(!unchanged);
  // Both forms carry a flag for the non-empty queue.
  stream.Write(count > 0);
  if (count == 0)
    return;
  if (unchanged) {
    writeCosts(*object.buildQueue[0], stream);
    return;
  }
  stream.Write(static_cast<uint8_t>(count));
  for (uint32_t i = 0; i < count; ++i) {
    const constructible& item = *object.buildQueue[i];
    writeNetStringW(stream, item.getName(), kMaxNetStringLength);
    writeNetStringW(stream, item.getType(), kMaxNetStringLength);
    if (i == 0)
      writeCosts(item, stream);
  }
}

struct QueueItem {
  stringw name;
  stringw type;
};

struct BuildQueuePart {
  bool changed = false;
  bool nonEmpty = false;
  std::vector<QueueItem> items;
  std::vector<CostEntry> firstCosts;
};

bool readBuildQueue(RakNet::BitStream& stream, BuildQueuePart& part) {
  if (!stream.Read(part.changed) || !stream.Read(part.nonEmpty))
    return false;
  if (!part.nonEmpty)
    return true;
  if (!part.changed)
    return readCosts(stream, part.firstCosts);
  uint8_t count = 0;
  if (!stream.Read(count))
    return false;
  part.items.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    if (!readNetStringW(stream, part.items[i].name) || !readNetStringW(stream, part.items[i].type))
      return false;
    if (i == 0 && !readCosts(stream, part.firstCosts))
      return false;
  }
  return true;
}

// Empties a client's queue without asking the server.
void dropQueueItems(generic_object& object) {
  for (irr::u32 i = 0; i < object.buildQueue.size(); ++i)
    delete object.buildQueue[i];
  object.buildQueue.clear();
}

void applyBuildQueue(generic_object& object, const BuildQueuePart& part) {
  if (!part.changed) {
    if (!part.nonEmpty)
      dropQueueItems(object);
    else if (object.buildQueue.size() > 0)
      setCosts(*object.buildQueue[0], part.firstCosts);
    return;
  }
  dropQueueItems(object);
  for (size_t i = 0; i < part.items.size(); ++i) {
    auto* item = new mimic_constructible(part.items[i].name);
    item->type = part.items[i].type;
    if (i == 0)
      setCosts(*item, part.firstCosts);
    object.buildQueue.push_back(item);
  }
}

// --- Orders and counters -----------------------------------------------------------

void writeOrders(generic_object& object, RakNet::BitStream& stream) {
  const uint32_t count = std::min(orderCountOf(object), kMaxDetailOrders);
  const auto bits = static_cast<unsigned char>(count);
  stream.WriteBits(&bits, kOrderCountBits);
  for (uint32_t i = 0; i < count; ++i) {
    const Order* order = object.ai->getOrder(i);
    writeNetStringW(stream, order != nullptr ? order->describe() : stringw(), kMaxNetStringLength);
  }
}

bool readOrders(RakNet::BitStream& stream, std::vector<stringw>& out) {
  unsigned char count = 0;
  if (!stream.ReadBits(&count, kOrderCountBits))
    return false;
  out.resize(count);
  for (stringw& text : out)
    if (!readNetStringW(stream, text))
      return false;
  return true;
}

// Replaces a client's order list with display entries, without asking the
// server.
void applyOrders(generic_object& object, const std::vector<stringw>& texts) {
  auto* queue = dynamic_cast<UnitAI*>(object.ai);
  if (queue == nullptr)
    return;
  for (Order* order : queue->orders)
    delete order;
  queue->orders.clear();
  for (const stringw& text : texts)
    queue->orders.push_back(new networked_order(text));
}

}  // namespace

// --- Request ---------------------------------------------------------------------

bool writeObjectDetailsQuery(RakNet::BitStream& stream, generic_object& object) {
  if (object.uid == 0)
    return false;
  stream.Write(ID_OBJECT_DETAILS);
  writeNetUInt(stream, object.uid);
  if (objHabitation* planet = asPlanet(object)) {
    stream.Write(static_cast<uint32_t>(planet->structures.size()));
    stream.Write(static_cast<uint32_t>(planet->conditions.size()));
  } else if (objHulled* ship = asShip(object)) {
    const hull_list* layout = ship->getHull();
    const bool placeholder = layout == nullptr || layout->owner == nullptr || layout->owner->ID == kSpaceEmpireID;
    const bool own = playingEmpire != nullptr && ship->getOwner() == playingEmpire;
    stream.Write(placeholder || (own && layout->systemCount == 0));
    const State* damage = findObjectState(ship, kDamageState);
    const float missing = damage != nullptr ? damage->value.max - damage->value.val : 0.0f;
    stream.Write(std::isfinite(missing) && missing > 0.0f ? static_cast<uint32_t>(std::min(missing, 4294967040.0f))
                                                          : 0u);
  } else if (object.getType() == OT_Planet || object.getType() == OT_Hulled) {
    return false;  // a kind this process cannot describe
  }
  // The hash follows whenever the count the server reads is not 0.
  const auto queueCount = static_cast<uint8_t>(object.buildQueue.size());
  stream.Write(queueCount);
  if (queueCount != 0)
    stream.Write(hashWideString(object.buildQueue[0]->getName()));
  const auto orderCount = static_cast<uint8_t>(orderCountOf(object));
  stream.Write(orderCount);
  if (orderCount != 0) {
    const Order* first = object.ai->getOrder(0);
    stream.Write(hashWideString(first != nullptr ? first->describe() : stringw()));
  }
  return true;
}

bool readObjectDetailsQuery(RakNet::BitStream& stream, int objectType, ObjectDetailsQuery& query) {
  if (objectType == OT_Planet) {
    if (!stream.Read(query.structureCount) || !stream.Read(query.conditionCount))
      return false;
  } else if (objectType == OT_Hulled) {
    if (!stream.Read(query.hullWanted) || !stream.Read(query.damage))
      return false;
  }
  if (!stream.Read(query.queueCount))
    return false;
  if (query.queueCount != 0 && !stream.Read(query.queueHash))
    return false;
  if (!stream.Read(query.orderCount))
    return false;
  return query.orderCount == 0 || stream.Read(query.orderHash);
}

// --- Answer ----------------------------------------------------------------------

void writeObjectDetailsAnswer(generic_object& object, RakNet::BitStream& stream, const ObjectDetailsQuery& query) {
  stream.Write(ID_OBJECT_DETAILS);
  writeNetUInt(stream, object.uid);
  writeStates(object, stream);
  if (objHabitation* planet = asPlanet(object))
    writePlanetPart(*planet, stream, query);
  else if (objHulled* ship = asShip(object))
    writeShipPart(*ship, stream, query);
  writeMovement(object, stream);
  const auto* queue = dynamic_cast<const UnitAI*>(object.ai);
  stream.Write(static_cast<uint8_t>(queue != nullptr ? queue->stance : AIS_Engage));
  writeBuildQueue(object, stream, query);
  if (object.ai != nullptr)
    writeOrders(object, stream);
  const uint32_t queueLength = object.buildQueue.size();
  const uint32_t orders = orderCountOf(object);
  stream.Write(queueLength != 0 || orders != 0);
  if (queueLength != 0 || orders != 0) {
    stream.Write(queueLength);
    stream.Write(orders);
  }
}

bool readObjectDetails(generic_object& object, RakNet::BitStream& stream) {
  if (!readStates(stream, object))
    return false;

  const int type = object.getType();
  if (type == OT_Planet) {
    PlanetPart part;
    if (!readPlanetPart(stream, part))
      return false;
    if (objHabitation* planet = asPlanet(object))
      applyPlanetPart(*planet, part);
  } else if (type == OT_Hulled) {
    ShipPart part;
    if (!readShipPart(stream, part))
      return false;
    if (objHulled* ship = asShip(object))
      applyShipPart(*ship, part);
  }

  Movement movement;
  if (!readMovement(stream, movement))
    return false;
  applyMovement(object, movement);

  uint8_t stance = 0;
  if (!stream.Read(stance))
    return false;
  if (auto* queue = dynamic_cast<UnitAI*>(object.ai); queue != nullptr && stance <= AIS_Defend)
    queue->stance = static_cast<AIStance>(stance);

  BuildQueuePart queuePart;
  if (!readBuildQueue(stream, queuePart))
    return false;
  applyBuildQueue(object, queuePart);

  if (object.ai != nullptr) {
    std::vector<stringw> orders;
    if (!readOrders(stream, orders))
      return false;
    applyOrders(object, orders);
  }

  bool counters = false;
  uint32_t queueLength = 0;
  uint32_t orderCount = 0;
  if (!stream.Read(counters))
    return false;
  if (counters && !(stream.Read(queueLength) && stream.Read(orderCount)))
    return false;
  object.remoteQueueLength = queueLength;
  object.remoteOrderCount = orderCount;
  return true;
}

// --- Handlers --------------------------------------------------------------------

void handleObjectDetailsRequest(RakNet::BitStream& stream, NetPlayer* sender) {
  if (sender == nullptr || networkManager == nullptr)
    return;
  empire* emp = nullptr;
  bool inGame = false;
  RakNet::SystemAddress address;
  {
    std::lock_guard<std::mutex> guard(networkManager->playersLock);
    emp = sender->emp;
    inGame = sender->hasGalaxy != 0;
    address = sender->address;
  }
  if (emp == nullptr || !inGame)
    return;
  const uint32_t uid = readNetUInt(stream);
  if (stream.ReadFailed())
    return;
  const HeldObject object(uid);
  if (object.get() == nullptr)
    return;
  ObjectDetailsQuery query;
  if (!readObjectDetailsQuery(stream, object.get()->getType(), query))
    return;

  RakNet::BitStream answer;
  {
    const ObjectLock lock(*object.get());
    generic_object& target = *object.get();
    if (!target.isValid())
      return;
    if (target.getOwner() != emp) {
      generic_object* container = target.container.load();
      if (container == nullptr || container->getType() != OT_System ||
          !static_cast<solarSystem*>(container)->isSystemVisibleTo(emp))
        return;
    }
    writeObjectDetailsAnswer(target, answer, query);
  }
  networkManager->sendDirect(&answer, RakNet::MEDIUM_PRIORITY, RakNet::UNRELIABLE, kChannelDetailAnswers, address,
                             false);
}

bool readObjectDetailsAnswer(RakNet::BitStream& stream) {
  const uint32_t uid = readNetUInt(stream);
  if (stream.ReadFailed())
    return false;
  const HeldObject object(uid);
  if (object.get() == nullptr)
    return false;
  const ObjectLock lock(*object.get());
  return readObjectDetails(*object.get(), stream);
}
