// The ship maker: a ship or station of a hull layout, placed in the star
// system (or the galaxy) that holds a given object, named from the
// process's ship counter, given its layout's standing orders, parked when
// its role or its owner asks for it, and announced to the "ship" scripts.
#include <atomic>

#include "design/hull_list.h"
#include "empire/empire.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/galaxygen/net_object_records.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/game_object.h"
#include "universe/orders/order.h"
#include "universe/ships/ship.h"

using irr::core::stringw;

namespace {

// An owner setting above this parks every new ship of that empire.
constexpr float kAutoParkThreshold = 0.5f;
const stringw kAutoParkSetting = L"autoPark";

// Counts the ships made since the process started; the n-th is named
// "<layout name> n". Ships may be made on any thread.
std::atomic<uint32_t> shipNameCounter{0};

// The star system or galaxy that holds `place` (`place` itself when it is
// one), or null.
generic_object* shipContainerOf(generic_object* place) {
  for (generic_object* at = place; at != nullptr; at = at->container.load()) {
    const int type = at->getType();
    if (type == OT_System || type == OT_Galaxy)
      return at;
  }
  return nullptr;
}

bool isStationRole(uint32_t role) { return role == HullRole_CivStation || role == HullRole_Station; }

// The layout's standing orders, each made by name: walked from the last to
// the first, each appended behind what the queue holds, so the ship starts
// with them in the reverse of the layout's order.
void queueStandingOrders(objHulled* ship, const hull_list* layout) {
  if (ship->ai == nullptr)
    return;
  for (irr::u32 i = layout->orders.size(); i-- > 0;) {
    const hull_list::orderEntry& entry = layout->orders[i];
    if (entry.order == nullptr)
      continue;
    if (Order* order = createAutomationOrder(*entry.order, entry.argument, entry.secondArgument))
      ship->ai->appendOrder(order);
  }
}

// Parks the ship when it is a station or its owner parks every ship: in
// orbit of the planet it was made at, else about a body its mover picks.
void parkIfWanted(objHulled* ship, const hull_list* layout, empire* owner, generic_object* place) {
  MobileMover* mover = MobileMover::of(ship);
  if (mover == nullptr)
    return;
  const bool ownerParks = owner->isValid() && owner->getSetting(kAutoParkSetting) > kAutoParkThreshold;
  if (!isStationRole(layout->role) && !ownerParks)
    return;
  // Parking makes the nested orbit mover when it is missing (inactive).
  mover->setParked(true);
  if (place->getType() == OT_Planet)
    mover->orbitAround(*ship, place);
  else
    mover->startParkOrbit(*ship);
}

}  // namespace

// --- Hull_Desc ---------------------------------------------------------------

Hull_Desc::Hull_Desc(const Hull_Desc& other) : Position(other.Position), Owner(other.Owner) { set_hull(other.layout); }

Hull_Desc& Hull_Desc::operator=(const Hull_Desc& other) {
  Position = other.Position;
  Owner = other.Owner;
  set_hull(other.layout);
  return *this;
}

Hull_Desc::~Hull_Desc() { set_hull(nullptr); }

void Hull_Desc::set_hull(hull_list* hull) {
  // Taken before the old one goes: `hull` may be the layout held already.
  if (hull != nullptr)
    hull->grab();
  hull_list* old = layout;
  layout = hull;
  if (old != nullptr)
    old->drop();
}

// --- The maker ---------------------------------------------------------------

objHulled* createShipObject(const Hull_Desc& desc, generic_object* place) {
  // Without a layout there is nothing to build, and without an owner no
  // empire to take the design; neither can make a ship.
  if (desc.layout == nullptr || desc.Owner == nullptr)
    return nullptr;
  generic_object* container = shipContainerOf(place);
  if (container == nullptr)
    return nullptr;

  auto* mover = new MobileMover();
  container->toAbsolutePosition(mover->destination, desc.Position);

  hull_list* layout = desc.layout;
  if (desc.Owner != layout->owner)
    layout = desc.Owner->acquireForeignHull(layout);

  auto* ship = new objHulled(desc.Owner, layout, mover);
  ship->setOwner(desc.Owner);
  ship->setContainer(container);
  ship->position = desc.Position;

  queueStandingOrders(ship, layout);

  stringw shipName = layout->getName();
  shipName += L" ";
  shipName += stringw(shipNameCounter.fetch_add(1) + 1);
  ship->name = shipName;
  ship->radius = layout->scale;

  parkIfWanted(ship, layout, desc.Owner, place);

  // The clients get the ship while this process hosts a network game and
  // the galaxy is live, as the other makers' objects go to them.
  broadcastNewObject(ship);

  runShipCreateHook(ship, place);
  return ship;
}
