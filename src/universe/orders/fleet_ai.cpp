#include "universe/orders/fleet_ai.h"

#include <algorithm>

#include "core/log.h"
#include "empire/empire.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/game_object.h"
#include "universe/objects/solar_system.h"
#include "universe/orders/fleet_formation.h"
#include "universe/orders/unit_ai.h"

namespace {

using MemberList = irr::core::array<heldPointer<generic_object>>;

// No member of a fleet accelerates faster than this.
constexpr double kUnlimitedAcceleration = 1e35;
// The commander keeps this share of its slowest member's acceleration, so
// that the members can catch up with their places.
constexpr double kCommanderAccelerationShare = 0.9;
// Below this presence of enemies the commander's system counts as safe.
constexpr float kEnemyPresenceThreshold = 0.1f;

// The object's AI when it is an ordinary order queue, else null.
UnitAI* unitAIOf(generic_object* object) {
  return object != nullptr ? dynamic_cast<UnitAI*>(object->ai) : nullptr;
}

bool inStarSystem(const generic_object* object) {
  const generic_object* outer = object->container.load();
  return outer != nullptr && outer->getType() == OT_System;
}

// Takes `object` out of `fleet` on its side: its UnitAI, when it still
// points at the fleet, belongs to no fleet any more.
void leaveFleet(generic_object* object, const FleetAI* fleet) {
  UnitAI* ai = unitAIOf(object);
  if (ai != nullptr && ai->fleet == fleet)
    ai->fleet = nullptr;
}

// Holds an object's star system for the life of the guard; nothing for a
// null object.
class ContainerLock {
 public:
  explicit ContainerLock(generic_object* object) : object_(object) {
    if (object_ != nullptr)
      object_->lockContainer();
  }
  ~ContainerLock() {
    if (object_ != nullptr)
      object_->unlockContainer();
  }
  ContainerLock(const ContainerLock&) = delete;
  ContainerLock& operator=(const ContainerLock&) = delete;

 private:
  generic_object* object_;
};

// The commander and its own queue, held for a call that must not keep the
// fleet's lock (it locks star systems).
struct CommandView {
  heldPointer<generic_object> commander;
  UnitAI* prior = nullptr;  // counted while the view lives

  CommandView() = default;
  CommandView(const CommandView&) = delete;
  CommandView& operator=(const CommandView&) = delete;
  ~CommandView() {
    if (prior != nullptr)
      prior->release();
  }
};

// Reads the commander and its queue under the fleet's read lock.
void viewCommand(FleetAI& fleet, CommandView& view) {
  ScopedReadLock guard(fleet.lock);
  view.commander = fleet.commander;
  view.prior = fleet.prior;
  if (view.prior != nullptr)
    view.prior->grab();
}

// A copy of the member list, each member held, taken under the read lock.
void copyMembers(FleetAI& fleet, MemberList& out) {
  ScopedReadLock guard(fleet.lock);
  out = fleet.members;
}

enum class QueueOp { Add, BeforeAutomation, Append };

void giveOrder(ObjectAI& ai, Order* order, QueueOp op, bool clearFirst) {
  switch (op) {
    case QueueOp::Add:
      ai.addOrder(order, clearFirst);
      break;
    case QueueOp::BeforeAutomation:
      ai.insertBeforeAutomation(order);
      break;
    case QueueOp::Append:
      ai.appendOrder(order);
      break;
  }
}

// Whether the members get copies of `order` given to a fleet led by
// `commander`. Attacks and repeat orders are the commander's alone. A move
// or goto that stays in the commander's container is followed through the
// formation; one that leaves a star system is too, unless the owner sees
// enemies there.
bool reachesMembers(const Order& order, generic_object& commander) {
  const OrderType type = order.getType();
  if (type == OrdT_Attack || type == OrdT_Repeat)
    return false;
  if (type != OrdT_Move && type != OrdT_Goto)
    return true;

  generic_object* outer = commander.container.load();
  if (const generic_object* target = order.getTarget()) {
    if (target->container.load() == outer)
      return false;
  } else if (outer != nullptr) {
    const vector3df offset = order.getDestination() - outer->getPosition();
    if (offset.getLengthSQ() < outer->radius * outer->radius)
      return false;
  }
  if (outer == nullptr || outer->getType() != OT_System)
    return true;
  empire* owner = commander.getOwner();
  if (owner == nullptr)
    return false;
  SysPresence presence;
  owner->getSystemPresence(static_cast<solarSystem*>(outer), presence);
  return presence.enemies >= kEnemyPresenceThreshold;
}

// The order fan-out. The copies are made before the commander's queue
// takes the order: once queued, the commander's worker may finish and
// delete it at any time.
void fanOut(FleetAI& fleet, Order* order, QueueOp op, bool clearFirst) {
  if (order == nullptr)
    return;
  CommandView view;
  viewCommand(fleet, view);
  if (view.prior == nullptr) {
    delete order;  // a fleet between commanders takes no orders
    return;
  }

  MemberList members;
  irr::core::array<Order*> copies;
  if (reachesMembers(*order, *view.commander)) {
    copyMembers(fleet, members);
    for (irr::u32 i = 0; i < members.size(); ++i) {
      Order* copy = order->cloneFor(*members[i]);
      if (copy == nullptr)
        break;
      copies.push_back(copy);
    }
  }

  {
    ContainerLock hold(view.commander);
    giveOrder(*view.prior, order, op, clearFirst);
  }

  for (irr::u32 i = 0; i < copies.size(); ++i) {
    generic_object* member = members[i];
    Order* copy = copies[i];
    if (!inStarSystem(member)) {
      delete copy;
      continue;
    }
    bool remove = false;
    {
      ContainerLock hold(member);
      UnitAI* ai = unitAIOf(member);
      if (ai == nullptr) {
        remove = true;
      } else if (ai->fleet == &fleet) {
        giveOrder(*ai, copy, op, clearFirst);
        copy = nullptr;
      }
    }
    delete copy;
    if (remove)
      fleet.removeMember(member);
  }
}

// The commander leaves and the command passes to the first member that can
// take it. `commanderReferenceGone` tells whether the commander's reference
// on the fleet was given back on the way (the commander let go of the fleet
// as its AI here).
bool handCommandOn(FleetAI& fleet, bool& commanderReferenceGone) {
  commanderReferenceGone = false;
  generic_object* former = nullptr;
  UnitAI* formerPrior = nullptr;  // the fleet's reference, given back at the end
  {
    ScopedWriteLock guard(fleet.lock);
    former = fleet.commander;
    if (former == nullptr)
      return false;
    formerPrior = fleet.prior;
    fleet.commander = nullptr;
    fleet.prior = nullptr;
  }
  fleet.grab();  // the commander's reference may be the last one
  empire* owner = former->getOwner();

  {
    ContainerLock hold(former);
    if (formerPrior != nullptr && formerPrior->fleet == &fleet)
      formerPrior->fleet = nullptr;
    // An object already being deleted gets no AI back: it would never let
    // go of it.
    const bool dying = former->refCount.load() <= 0;
    if (!dying && formerPrior != nullptr && (former->ai == &fleet || former->ai == nullptr)) {
      commanderReferenceGone = former->ai == &fleet;
      former->setAI(formerPrior);
    }
    former->clearFlag(FLAG_IN_FLEET);
    if (!dying)
      former->setDestination(former->getPosition());
    if (MobileMover* mover = MobileMover::of(former))
      mover->maxAcceleration = static_cast<float>(kUnlimitedAcceleration);
  }

  bool succeeded = false;
  for (;;) {
    heldPointer<generic_object> next;
    {
      ScopedWriteLock guard(fleet.lock);
      if (fleet.members.empty())
        break;
      next = fleet.members[0];
      fleet.members.erase(0);
    }
    generic_object* member = next;
    if (!inStarSystem(member)) {
      leaveFleet(member, &fleet);
      continue;
    }
    ContainerLock hold(member);
    UnitAI* ai = unitAIOf(member);
    if (member->isValid() && ai != nullptr && (ai->fleet == &fleet || ai->fleet == nullptr)) {
      ai->fleet = &fleet;
      ai->grab();
      {
        ScopedWriteLock guard(fleet.lock);
        fleet.prior = ai;
        fleet.commander = member;
      }
      member->setAI(&fleet);
      member->setFlag(FLAG_IN_FLEET);
      succeeded = true;
      break;
    }
    leaveFleet(member, &fleet);
  }

  if (!succeeded && owner != nullptr)
    owner->removeFleet(&fleet);
  if (formerPrior != nullptr)
    formerPrior->release();
  fleet.release();
  return succeeded;
}

}  // namespace

FleetAI::FleetAI(UnitAI* priorAI) : prior(priorAI) {
  if (prior != nullptr) {
    prior->grab();
    stance = prior->stance;
    commander = prior->object;
    prior->fleet = this;
  }
  formation = createFormation(FT_Wall);
}

FleetAI::~FleetAI() {
  delete formation;
  formation = nullptr;
  // A member left behind must not keep pointing at a fleet that is gone.
  for (irr::u32 i = 0; i < members.size(); ++i)
    leaveFleet(members[i], this);
  members.clear();
  if (prior != nullptr) {
    if (prior->fleet == this)
      prior->fleet = nullptr;
    prior->release();
    prior = nullptr;
  }
}

// --- Orders ------------------------------------------------------------------

void FleetAI::addOrder(Order* order, bool clearFirst) { fanOut(*this, order, QueueOp::Add, clearFirst); }

void FleetAI::insertBeforeAutomation(Order* order) { fanOut(*this, order, QueueOp::BeforeAutomation, false); }

void FleetAI::appendOrder(Order* order) { fanOut(*this, order, QueueOp::Append, false); }

void FleetAI::clearOrders(bool all) {
  CommandView view;
  viewCommand(*this, view);
  if (view.prior != nullptr) {
    ContainerLock hold(view.commander);
    view.prior->clearOrders(all);
  }
  MemberList copy;
  copyMembers(*this, copy);
  for (irr::u32 i = 0; i < copy.size(); ++i) {
    generic_object* member = copy[i];
    if (!inStarSystem(member))
      continue;
    ContainerLock hold(member);
    UnitAI* ai = unitAIOf(member);
    if (ai != nullptr && ai->fleet == this)
      ai->clearOrders(all);
  }
}

bool FleetAI::hasOrderOfType(int type) const {
  ScopedReadLock guard(const_cast<ReadWriteLock&>(lock));
  return prior != nullptr && prior->hasOrderOfType(type);
}

bool FleetAI::hasOrder(const Order* order) const {
  ScopedReadLock guard(const_cast<ReadWriteLock&>(lock));
  return prior != nullptr && prior->hasOrder(order);
}

void FleetAI::removeOrder(Order* order) {
  ScopedReadLock guard(lock);
  if (prior != nullptr)
    prior->removeOrder(order);
}

uint32_t FleetAI::getOrderCount() const {
  ScopedReadLock guard(const_cast<ReadWriteLock&>(lock));
  return prior != nullptr ? prior->getOrderCount() : 0;
}

Order* FleetAI::getOrder(uint32_t index) const {
  ScopedReadLock guard(const_cast<ReadWriteLock&>(lock));
  return prior != nullptr ? prior->getOrder(index) : nullptr;
}

float FleetAI::getTargetWeight(generic_object* target) {
  ScopedReadLock guard(lock);
  return prior != nullptr ? prior->getTargetWeight(target) : 1.0f;
}

bool FleetAI::orbitTargets(generic_object* target) {
  ScopedReadLock guard(lock);
  return prior == nullptr || prior->orbitTargets(target);
}

// --- Tick --------------------------------------------------------------------

void FleetAI::tick() {
  {
    CommandView view;
    viewCommand(*this, view);
    if (view.prior != nullptr)
      view.prior->tick();
    // The commander's thread runs this tick: its motion is read here for the
    // members elsewhere.
    if (view.commander != nullptr) {
      CommanderMotion seen;
      seen.position = view.commander->getPosition();
      seen.velocity = view.commander->velocity;
      seen.radius = view.commander->radius;
      seen.known = true;
      std::lock_guard<std::mutex> hold(motionLock);
      motion = seen;
    }
  }

  // Members that are gone leave first; they are let go once the lock is.
  MemberList gone;
  bool anyGone = false;
  {
    ScopedReadLock guard(lock);
    for (irr::u32 i = 0; i < members.size() && !anyGone; ++i)
      anyGone = !members[i]->isValid();
  }
  if (anyGone) {
    ScopedWriteLock guard(lock);
    for (irr::u32 i = members.size(); i-- > 0;) {
      if (members[i]->isValid())
        continue;
      leaveFleet(members[i], this);
      gone.push_back(members[i]);
      members.erase(i);
    }
  }

  // A member's place is read by its idle step under its own system's lock,
  // so a place that changed is written under that lock too, once the
  // fleet's lock is let go (system before fleet).
  MemberList moved;
  irr::core::array<uint32_t> places;
  {
    ScopedReadLock guard(lock);
    for (irr::u32 i = 0; i < members.size(); ++i) {
      UnitAI* ai = unitAIOf(members[i]);
      if (members[i]->isValid() && ai != nullptr && ai->fleet == this && ai->formationPlace != i) {
        moved.push_back(members[i]);
        places.push_back(i);
      }
    }
  }
  for (irr::u32 i = 0; i < moved.size(); ++i) {
    ContainerLock hold(moved[i]);
    UnitAI* ai = unitAIOf(moved[i]);
    if (ai != nullptr && ai->fleet == this)
      ai->formationPlace = places[i];
  }

  ScopedReadLock guard(lock);
  if (commander == nullptr)
    return;
  double slowest = kUnlimitedAcceleration;
  float largestRadius = commander->radius;
  for (irr::u32 i = 0; i < members.size(); ++i) {
    generic_object* member = members[i];
    if (!member->isValid())
      continue;  // leaves on the next tick
    const MobileMover* mover = MobileMover::of(member);
    if (mover != nullptr && mover->thrust > 0.0f) {
      const double mass = member->getMass();
      if (mass > 0.0)
        slowest = std::min(slowest, static_cast<double>(mover->thrust) / mass);
    }
    largestRadius = std::max(largestRadius, member->radius);
  }
  if (formation != nullptr) {
    formation->setMemberCount(members.size());
    formation->setSpacing(largestRadius);
  }
  if (MobileMover* mover = MobileMover::of(commander))
    mover->maxAcceleration = static_cast<float>(kCommanderAccelerationShare * slowest);
}

// --- References --------------------------------------------------------------

bool FleetAI::drop() {
  bool commanded = false;
  {
    ScopedReadLock guard(lock);
    commanded = prior != nullptr && commander != nullptr;
  }
  if (!commanded)
    return release();
  grab();  // kept for the hand-over
  bool referenceGone = false;
  handCommandOn(*this, referenceGone);
  // The caller's reference goes, whether the command passed on or the fleet
  // ended; a successor took a reference of its own through setAI.
  if (!referenceGone)
    release();
  return release();
}

// --- Formation ---------------------------------------------------------------

int FleetAI::getFormationType() {
  ScopedReadLock guard(lock);
  return formation != nullptr ? formation->getType() : FT_Wall;
}

void FleetAI::setFormationType(int type) {
  ScopedWriteLock guard(lock);
  if (formation != nullptr && formation->getType() == type)
    return;
  delete formation;
  formation = createFormation(type);
}

void FleetAI::placeMember(generic_object* member, uint32_t index) {
  if (member == nullptr)
    return;
  ScopedReadLock guard(lock);
  if (formation != nullptr)
    formation->getMemberPosition(member, index, this);
}

// --- Members -----------------------------------------------------------------

void FleetAI::addMember(generic_object* object) {
  if (object == nullptr)
    return;
  // The member's system first: its idle step reads its fleet under it.
  ContainerLock hold(object);
  ObjectAI* ai = object->ai;
  if (ai == this) {
    logError("Error: Fleet attempted to add itself as member\n");
    return;
  }
  if (dynamic_cast<FleetAI*>(ai) != nullptr) {
    logError("Error: Fleet attempted to add another fleet as a member\n");
    return;
  }
  UnitAI* unit = dynamic_cast<UnitAI*>(ai);
  if (unit == nullptr)
    return;  // no queue to lead
  ScopedWriteLock guard(lock);
  if (unit->fleet != nullptr)
    return;  // already in a fleet
  members.push_back(heldPointer<generic_object>(object));
  unit->fleet = this;
}

void FleetAI::removeMember(generic_object* object) {
  if (object == nullptr)
    return;
  heldPointer<generic_object> gone;  // let go after the locks
  ContainerLock hold(object);          // system before fleet
  ScopedWriteLock guard(lock);
  for (irr::u32 i = 0; i < members.size(); ++i)
    if (members[i].get() == object) {
      gone = members[i];
      members.erase(i);
      break;
    }
  leaveFleet(object, this);
}

generic_object* FleetAI::getMember(unsigned index) {
  ScopedReadLock guard(lock);
  return index < members.size() ? members[index].get() : nullptr;
}

unsigned FleetAI::getMemberCount() {
  ScopedReadLock guard(lock);
  return members.size();
}

irr::core::stringw FleetAI::getName() {
  ScopedReadLock guard(lock);
  return name;
}

void FleetAI::setName(const irr::core::stringw& newName) {
  ScopedWriteLock guard(lock);
  name = newName;
}

bool FleetAI::dropCommander() {
  bool referenceGone = false;
  return handCommandOn(*this, referenceGone);
}

FleetAI::CommanderMotion FleetAI::getCommanderMotion() {
  std::lock_guard<std::mutex> hold(motionLock);
  return motion;
}
