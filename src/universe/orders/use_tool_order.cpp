// The use-tool order: takes a ship to its target and turns one of its tools
// on it until nothing is left to do there. A colonising order holds its
// planet in the empire's colonising set while it lives. Also the structure
// removal order, which a planet runs in one step.
#include <cmath>

#include "core/common_strings.h"
#include "core/net_encoders.h"
#include "core/save_stream.h"
#include "design/hull_list.h"
#include "empire/empire.h"
#include "platform/bit_stream.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"
#include "universe/orders/circling.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/tool_orders.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"

namespace {

// The tool whose orders mark their planet as being colonised.
const wchar_t* const kColonizerTool = L"Colonizer";

bool marksColonization(const irr::core::stringw& tool, const generic_object* target, const generic_object* user) {
  return user != nullptr && user->owner != nullptr && target != nullptr && target->getType() == OT_Planet &&
         tool == kColonizerTool;
}

// Flag bits of the saved record.
constexpr uint8_t kSavedNoHome = 1;
constexpr uint8_t kSavedColonizing = 2;
constexpr uint8_t kSavedKeepUsing = 4;
// The record of an order whose target is gone: read as type 0, which adds
// nothing.
constexpr uint8_t kLostTargetRecord = 0;
// First save version holding the colonising empire's ID rather than an
// object of that empire.
constexpr int32_t kColonizerEmpireIdVersion = 13;
// How far ahead a ship that lost its target looks to coast to a stop.
constexpr float kCoastSeconds = 1.0f;
// A ship left outside its home container heads this share of its present
// container's radius out from that container's centre.
constexpr float kContainerEdgeShare = 0.9f;
// The ship closes to this share of its reach.
constexpr float kApproachShare = 0.5f;

empire* validOrNull(empire* emp) { return emp != nullptr && emp->isValid() ? emp : nullptr; }

// The ship stops using the tool on the target and comes to rest, or heads
// out of a container it followed the target into.
void stopUsing(objHulled& ship, generic_object* target, const irr::core::stringw& tool,
               const generic_object* homeContainer) {
  ship.clearEffectorTarget(target, tool);
  generic_object* here = ship.container.load();
  // Between systems (in the galaxy) there is no edge to head for: the ship
  // coasts to a stop as it would at home.
  if (homeContainer != nullptr && here != homeContainer && here != nullptr && here->getType() != OT_Galaxy) {
    const vector3df centre = here->getPosition();
    vector3df outward = ship.getPosition() - centre;
    if (outward.getLengthSQ() > 0.0f) {
      outward.normalize();
      ship.setDestination(centre + outward * (here->radius * kContainerEdgeShare));
    }
    return;
  }
  if (ship.mover != nullptr) {
    vector3df displacement;
    ship.mover->getDisplacement(displacement, kCoastSeconds, ship);
    ship.setDestination(ship.getPosition() + displacement);
  }
}

// Marks a loaded order's planet for its colonising empire once both are
// known: the empire read (or, from older saves, the owner of the object
// `ownerUid` names) when it is valid, and the target when it was found.
// The empire's colonising set is not part of the order's record, so the
// loaded order puts its planet back there, and its deletion takes it out.
class MarkLoadedColonization : public PostObjectTreeStep {
 public:
  MarkLoadedColonization(use_tool_order* order, empire* emp, uint32_t ownerUid)
      : order_(order), empire_(emp), ownerUid_(ownerUid) {}
  void run() override { mark(*order_, empire_, ownerUid_); }

  static void mark(use_tool_order& order, empire* emp, uint32_t ownerUid) {
    if (emp == nullptr && ownerUid != 0) {
      if (const generic_object* object = getObjectByUID(ownerUid))
        emp = object->owner;
    }
    emp = validOrNull(emp);
    if (emp == nullptr || order.target == nullptr || order.colonizing != nullptr)
      return;
    order.colonizing = emp;
    emp->startColonization(order.target->uid);
  }

 private:
  use_tool_order* order_;
  empire* empire_;
  uint32_t ownerUid_;
};

}  // namespace

// --- use_tool_order
// ---------------------------------------------------------------

use_tool_order::use_tool_order(const irr::core::stringw& toolName, generic_object* useTarget, generic_object* user,
                               bool keep, bool followAnywhere)
    : tool(internCommonString(toolName)), target(useTarget), keepUsing(keep) {
  if (target == nullptr)
    return;
  target->grab();
  targetOwner = target->owner;
  if (marksColonization(toolName, target, user)) {
    colonizing = user->owner;
    colonizing->startColonization(target->uid);
  }
  if (!followAnywhere)
    homeContainer = target->container.load();
}

use_tool_order::~use_tool_order() {
  if (target != nullptr) {
    if (colonizing != nullptr)
      colonizing->endColonization(target->uid);
    target->drop();
  }
}

void* use_tool_order::operator new(size_t size) { return allocUseToolOrder(size); }

void use_tool_order::operator delete(void* memory) { releaseUseToolOrder(memory); }

const irr::core::stringw& use_tool_order::getTool() const {
  static const irr::core::stringw kNoTool;
  return tool != nullptr ? *tool : kNoTool;
}

Order* use_tool_order::clone() const {
  if (target == nullptr)
    return nullptr;
  // A copy never marks: no user is given. It keeps this order's home
  // container, wherever the target is now.
  auto* copy = new use_tool_order(getTool(), target, nullptr, keepUsing, true);
  copy->homeContainer = homeContainer;
  return copy;
}

Order* use_tool_order::cloneFor(generic_object& /*object*/) { return clone(); }

irr::core::stringw use_tool_order::describe() const {
  irr::core::stringw text(L"Use ");
  text += getTool();
  text += L" on ";
  if (target != nullptr)
    text += target->name;
  return text;
}

OrderResult use_tool_order::execute(generic_object& object) {
  // 1.
  if (object.getType() != OT_Hulled)
    return Done;
  auto* ship = dynamic_cast<objHulled*>(&object);
  if (ship == nullptr)
    return Done;
  const irr::core::stringw& toolName = getTool();

  // 2. The target is gone, captured, or has left the container it was in.
  if (target == nullptr || !target->isValid() || target->owner != targetOwner ||
      (homeContainer != nullptr && target->container.load() != homeContainer)) {
    stopUsing(*ship, target, toolName, homeContainer);
    return Done;
  }

  // 3. 4.
  const float range = ship->getMaxEffectorRange(toolName);
  if (range <= 0.0f)
    return Done;
  const float reach = target->radius + ship->radius + range;

  // 5. Nothing left for the tool to do on the target.
  if (!keepUsing && ship->container.load() == target->container.load() &&
      ship->getEffectorTargetWeight(target, toolName, false) <= 0.0f) {
    stopUsing(*ship, target, toolName, homeContainer);
    return Done;
  }

  // 6. 7.
  if (MobileMover::of(ship) == nullptr)
    return Running;
  if (!approachTarget(*ship, *target, reach * kApproachShare, reach))
    return Running;

  // 8. In reach.
  ship->setEffectorTargets(target, true, toolName);
  const hull_list* hull = ship->getHull();
  if (hull != nullptr && hull->targeting.orbits && circleTarget(*ship, *target, range))
    return Yielded;
  return Running;
}

void use_tool_order::writeNetwork(RakNet::BitStream& stream) const {
  stream.Write(static_cast<uint8_t>(getType()));
  writeNetStringW(stream, getTool(), kMaxNetStringLength);
  writeNetObjectRef(stream, target);
  stream.Write(keepUsing);
  stream.Write(homeContainer == nullptr);
}

void use_tool_order::save(SaveStream& stream) const {
  if (target == nullptr || !target->isValid()) {
    stream.writeU8(kLostTargetRecord);
    return;
  }
  stream.writeU8(getType());
  stream.writePackedUInt(target->uid);
  uint8_t flags = 0;
  if (homeContainer == nullptr)
    flags |= kSavedNoHome;
  if (colonizing != nullptr)
    flags |= kSavedColonizing;
  if (keepUsing)
    flags |= kSavedKeepUsing;
  stream.writeU8(flags);
  if (colonizing != nullptr)
    stream.writeU8(colonizing->ID);
  saveCommonString(stream, getTool());
}

// --- SetToolTarget
// ----------------------------------------------------------------

void SetToolTarget::run() {
  generic_object* found = getObjectByUID(uid_);
  setObjectRef(*targetSlot_, found);
  if (found == nullptr)
    return;
  if (homeSlot_ != nullptr)
    *homeSlot_ = found->container.load();
  *ownerSlot_ = found->owner;
}

// --- Use-tool pool
// ----------------------------------------------------------------

ObjectPool& useToolOrderPool() {
  static ObjectPool pool(sizeof(use_tool_order));
  return pool;
}

// Made when the program loads, before any thread can race to make it.
[[maybe_unused]] static ObjectPool& useToolPoolAtLoad = useToolOrderPool();

void* allocUseToolOrder(size_t size) { return useToolOrderPool().allocate(size); }

void releaseUseToolOrder(void* memory) { useToolOrderPool().free(memory); }

// --- remove_struct_order
// ----------------------------------------------------------

OrderResult remove_struct_order::execute(generic_object& object) {
  if (object.getType() != OT_Planet || structure == nullptr)
    return Done;
  auto* planet = dynamic_cast<objHabitation*>(&object);
  if (planet == nullptr)
    return Done;
  for (irr::u32 i = 0; i < planet->structures.size(); ++i) {
    if (planet->structures[i].system == structure) {
      planet->removeStructure(i);
      break;
    }
  }
  return Done;
}

// --- Record readers
// ----------------------------------------------------------------

Order* readUseToolOrderNetwork(RakNet::BitStream& stream, generic_object* carrier) {
  irr::core::stringw toolName;
  if (!readNetStringW(stream, toolName))
    return nullptr;
  const uint32_t uid = readNetUInt(stream);
  bool keep = false;
  bool followAnywhere = false;
  if (stream.ReadFailed() || !stream.Read(keep) || !stream.Read(followAnywhere))
    return nullptr;
  generic_object* target = getObjectByUID(uid);
  if (target == nullptr)
    return nullptr;
  return new use_tool_order(toolName, target, carrier, keep, followAnywhere);
}

Order* readUseToolOrderSave(SaveStream& stream) {
  const uint32_t uid = stream.readPackedUInt();
  const uint8_t flags = stream.readU8();
  empire* colonizer = nullptr;
  uint32_t colonizerObject = 0;
  if ((flags & kSavedColonizing) != 0) {
    if (stream.version() >= kColonizerEmpireIdVersion)
      colonizer = validOrNull(getEmpireByID(stream.readU8()));
    else
      colonizerObject = stream.readPackedUInt();
  }
  const irr::core::stringw* toolName = readCommonString(stream);
  if (colonizerObject != 0) {
    if (const generic_object* object = getObjectByUID(colonizerObject)) {
      colonizer = validOrNull(object->owner);
      colonizerObject = 0;
    }
  }

  auto* order = new use_tool_order();
  order->tool = toolName;
  order->keepUsing = (flags & kSavedKeepUsing) != 0;
  const bool noHome = (flags & kSavedNoHome) != 0;
  if (generic_object* found = getObjectByUID(uid)) {
    found->grab();
    order->target = found;
    order->targetOwner = found->owner;
    if (!noHome)
      order->homeContainer = found->container.load();
  } else {
    queuePostObjectTreeStep(
        new SetToolTarget(uid, &order->target, noHome ? nullptr : &order->homeContainer, &order->targetOwner));
  }
  // Marked now when everything is known, else once the tree is loaded.
  if (colonizer != nullptr && order->target != nullptr)
    MarkLoadedColonization::mark(*order, colonizer, 0);
  else if (colonizer != nullptr || colonizerObject != 0)
    queuePostObjectTreeStep(new MarkLoadedColonization(order, colonizer, colonizerObject));
  return order;
}
