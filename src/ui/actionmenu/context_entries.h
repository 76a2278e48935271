// The entries of the context action menu: which pickers the menu has, in
// which order, what each entry checks before it is offered and what it does
// when chosen, and the selection actions that carry the orders to every
// selected object.
//
// Orders follow the player interface's placement: with Shift the order is
// queued behind the object's orders, otherwise it replaces them. Only the
// local player's objects (activeEmpire) receive orders.
//
// A network client asks its server instead where the simulation itself would
// change: park and undock requests (139), the rally point (118) and the
// colonisation of a system (136), each on channel 0, reliable ordered. The
// fleet entries are not offered to a client at all: the rows are left out of
// the list when it is built, and the later rows take their command ids.
#pragma once

#include <cstdint>

#include "ui/selection.h"

namespace RakNet {
class BitStream;
}
class CGUIActionList;
class generic_object;
class hull_list;
class solarSystem;

// Adds every picker of the menu to `list` in its order; `networkClient`
// leaves out the fleet rows.
void addContextPickers(CGUIActionList& list, bool networkClient);

// The client requests the menu sends, as written into `stream`.
void writeRallyRequest(RakNet::BitStream& stream, const generic_object* planet, const generic_object* rally);
void writeUndockAllRequest(RakNet::BitStream& stream, const generic_object* object);
void writeColonizeSystemRequest(RakNet::BitStream& stream, const generic_object* system, bool toFront);

// Forms one new fleet of the selected ships of the player (the "#RM_CreateFleet"
// entry and the fleet key), led by the largest combat ship, else the largest
// other ship.
namespace contextentries {
// The object itself when it is a star system, else its container when that
// is one; null otherwise.
solarSystem* systemOf(generic_object* object);
// The hull layout of a ship, null for anything else.
hull_list* hullOf(generic_object* object);
}  // namespace contextentries

void formFleetOfSelection();

// Stops each selected object of the player where it stands: its orders
// cleared (automation orders too with `all`), its destination its own
// position, a ship's sub-system targets dropped. Each object is changed
// under its own container lock.
class ClearOrdersAction : public SelectedObjectAction {
 public:
  explicit ClearOrdersAction(bool all) : all_(all) {}
  void act(graphicsObject* object) override;

 private:
  bool all_;
};
