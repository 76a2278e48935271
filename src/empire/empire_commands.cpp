#include "empire/empire_commands.h"

#include <cstdint>
#include <limits>
#include <thread>

#include "app/base/config.h"
#include "app/base/session_state.h"
#include "core/common_strings.h"
#include "core/locks.h"
#include "design/hull_list.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_states.h"
#include "universe/objects/system_locks.h"
#include "universe/orders/cargo_orders.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/standing_orders.h"
#include "universe/orders/tool_orders.h"
#include "universe/ships/ship.h"

namespace {

constexpr double kColonizeTimeout = 300.0;  // seconds of game time
constexpr float kNoneNearer = 1e35f;        // squared distance to beat at first
constexpr int kMobileMover = 2;

// Holds the lock of one star system at a time while a walk goes from object
// to object: looking at an object in another system first gives up the one
// held. Nothing in single-threaded mode.
class SystemWalkLock {
 public:
  SystemWalkLock() = default;
  SystemWalkLock(const SystemWalkLock&) = delete;
  SystemWalkLock& operator=(const SystemWalkLock&) = delete;
  ~SystemWalkLock() { release(); }

  // Holds the system that guards `object`, following the object when it
  // moves to another system meanwhile.
  void follow(const generic_object& object) {
    if (singleThreaded)
      return;
    for (;;) {
      solarSystem* system = object.containingSystem();
      if (system != held_) {
        release();  // never two systems at once, nor one back on release
        lockSolarSystem(system);
        held_ = system;
      }
      if (object.containingSystem() == system && !object.inTransit())
        return;
      release();
      std::this_thread::yield();
    }
  }

  void release() {
    if (held_ != nullptr)
      unlockSolarSystem(held_);
    held_ = nullptr;
  }

 private:
  solarSystem* held_ = nullptr;
};

bool ownedByValidEmpire(const generic_object& object) {
  const empire* owner = object.getOwner();
  return owner != nullptr && owner->isValid();
}

// A ship that can be sent to settle a planet: a colony ship's layout, an AI
// and no use-tool order yet. The caller holds the ship's system.
bool isFreeColonyShip(generic_object& object) {
  if (object.getType() != OT_Hulled || !object.isValid() || object.ai == nullptr)
    return false;
  const hull_list* layout = static_cast<objHulled&>(object).getHull();
  return layout != nullptr && layout->role == HullRole_ColonyShip && !object.ai->hasOrderOfType(OrdT_Use_Tool);
}

// How much of `resource` the object can carry and hand over: its free cargo
// space, plus the room and the available amount of its state of the
// resource when it has one. The caller holds the object's system.
float supplyCapacity(generic_object& object, const irr::core::stringw& resource) {
  float capacity = object.cargoSpace - object.cargoUsed;
  if (const State* state = findObjectState(&object, resource))
    capacity += getTotalFreeSpace(*state, &object) + getAvailable(*state);
  return capacity;
}

}  // namespace

// --- Colonising a planet ----------------------------------------------------

ColonizePlanetCommand::ColonizePlanetCommand(generic_object* target, empire* emp, bool placeFirst)
    : planet(target), toFront(placeFirst) {
  if (target == nullptr || target->getType() != OT_Planet)
    throw EmpireCommandError("Invalid colonization destination");
  // The owner is read under the planet's system lock: a galaxy thread may be
  // changing it (the lock is re-entered when the caller holds it already).
  target->lockContainer();
  const bool owned = ownedByValidEmpire(*target);
  target->unlockContainer();
  if (owned)
    throw EmpireCommandError("Invalid colonization destination");
  if (emp == nullptr)
    throw EmpireCommandError("Invalid empire for colonization");
  planet->grab();
  timeout = gameTime.load() + kColonizeTimeout;
  chooseColonizer(emp);
}

ColonizePlanetCommand::~ColonizePlanetCommand() {
  if (colonizer != nullptr)
    colonizer->drop();
  if (planet != nullptr)
    planet->drop();
}

void ColonizePlanetCommand::chooseColonizer(empire* emp) {
  ScopedReadLock objectsGuard(emp->locks[EA_Objects]);
  {
    // Already under way: given up before the walk takes any system, since
    // galaxy threads take the sets while they hold their system.
    ScopedReadLock setsGuard(emp->locks[EA_ColonizationSets]);
    if (emp->colonizing.count(planet->uid) != 0)
      return;
  }

  SystemWalkLock systems;
  systems.follow(*planet);
  const vector3df target = planet->getPosition();
  float nearest = kNoneNearer;
  generic_object* best = nullptr;  // one reference
  for (generic_object* object : emp->objects) {
    systems.follow(*object);
    if (!isFreeColonyShip(*object))
      continue;
    const float distance = object->getPosition().getDistanceFromSQ(target);
    if (distance >= nearest)
      continue;
    nearest = distance;
    object->grab();
    if (best != nullptr)
      best->drop();  // still one of the empire's objects: never the last
                     // reference
    best = object;
  }
  systems.release();

  if (best == nullptr) {
    if (colonizer == nullptr)
      emp->queueColonization(planet->uid);
    return;
  }
  if (colonizer != nullptr)
    colonizer->drop();
  colonizer = best;

  Order* given = new use_tool_order(L"Colonizer", planet, colonizer, false, true);
  order = given;
  colonizer->lockContainer();
  if (colonizer->ai == nullptr) {
    delete given;
    order = nullptr;
  } else if (toFront) {
    colonizer->ai->addOrder(given, false);
  } else {
    colonizer->ai->insertBeforeAutomation(given);
  }
  colonizer->unlockContainer();
}

bool ColonizePlanetCommand::execute(empire* emp) {
  if (planet == nullptr || colonizer == nullptr || emp == nullptr)
    return true;

  planet->lockContainer();
  const bool taken = ownedByValidEmpire(*planet);
  planet->unlockContainer();

  if (!taken) {
    if (!colonizer->isValid()) {
      const generic_object* lost = colonizer;
      chooseColonizer(emp);
      if (colonizer == lost) {
        // Nobody can go now: the planet waits in the colonisation queue, as
        // when no ship was found at the start.
        colonizer->drop();
        colonizer = nullptr;
        order = nullptr;
        emp->queueColonization(planet->uid);
        return true;
      }
    }
    return gameTime.load() > timeout;
  }

  // The ship's AI may have deleted the order already: it is only looked for
  // among the AI's entries, never used.
  if (order != nullptr) {
    colonizer->lockContainer();
    if (colonizer->ai != nullptr)
      colonizer->ai->removeOrder(order);
    colonizer->unlockContainer();
    order = nullptr;
  }
  return true;
}

// --- Giving supplies --------------------------------------------------------

GiveSuppliesCommand::GiveSuppliesCommand(generic_object* supplied, const irr::core::stringw& resourceName,
                                         bool travelFirst)
    : target(supplied), goFirst(travelFirst) {
  if (supplied == nullptr || !supplied->isValid())
    throw EmpireCommandError("Invalid target for Give Supplies Order");
  resource = internCommonString(resourceName);
  target->grab();
}

GiveSuppliesCommand::~GiveSuppliesCommand() {
  if (target != nullptr)
    target->drop();
}

bool GiveSuppliesCommand::execute(empire* emp) {
  if (emp == nullptr || target == nullptr)
    return true;
  ScopedReadLock objectsGuard(emp->locks[EA_Objects]);

  SystemWalkLock systems;
  systems.follow(*target);
  const vector3df destination = target->getPosition();
  double bestScore = 0.0;
  generic_object* supplier = nullptr;  // one reference
  generic_object* home = nullptr;      // the supplier's star system
  for (generic_object* object : emp->objects) {
    if (object == target)
      continue;
    systems.follow(*object);
    generic_object* outer = object->container.load();
    if (outer == nullptr || outer->getType() != OT_System)
      continue;
    if (object->mover == nullptr || object->mover->getKind() != kMobileMover || object->ai == nullptr)
      continue;
    if (object->ai->hasOrderOfType(OrdT_Transfer) || object->ai->hasOrderOfType(OrdT_Collect))
      continue;
    const float capacity = supplyCapacity(*object, *resource);
    if (capacity <= 0.0f)
      continue;
    const double weight = static_cast<double>(object->ai->getOrderCount() + 1) *
                          static_cast<double>(object->getPosition().getDistanceFromSQ(destination));
    // At the target's very spot the supplier is as good as can be.
    const double score = weight > 0.0 ? capacity / weight : std::numeric_limits<double>::infinity();
    if (supplier != nullptr && score <= bestScore)
      continue;
    bestScore = score;
    object->grab();
    if (supplier != nullptr)
      supplier->drop();  // still one of the empire's objects: never the last
                         // reference
    supplier = object;
    home = outer;
  }
  systems.release();

  if (supplier == nullptr)
    return true;
  supplier->lockContainer();
  if (ObjectAI* ai = supplier->ai) {
    if (goFirst) {
      const float distance = 0.9f * home->radius;
      ai->appendOrder(new goto_order(home, true, distance < 0.0f ? home->radius : distance));
    }
    ai->appendOrder(new transfer_order(TM_Percent, 1.0f, 0.0f, target, *resource, true));
    auto* collect = new collect_order(*resource, 0.0f, true);
    collect->timer.nextCheck = 0;  // looks for a store at its first run
    ai->appendOrder(collect);
  }
  supplier->unlockContainer();
  supplier->drop();
  return true;
}
