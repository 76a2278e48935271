// Actions that forEachSelected applies to each selected object in turn:
// orders given from keys, from the context menu and from the strategic view.
// Each acts only on objects of the local player's empire (`activeEmpire`),
// under the object's lock (lockContainer), and builds nothing but what it
// hands to the object's AI. They are short-lived: made by their caller,
// passed to forEachSelected, then destroyed.
#pragma once

#include "ui/selection.h"

class FleetAI;

// Stops each object where it stands: clears its orders (automation orders
// too while Control is held), the targets of a ship's sub-systems, and sets
// its destination to its own absolute position. An object without an AI is
// still stopped.
class clearSelectedOrders : public SelectedObjectAction {
 public:
  void act(graphicsObject* object) override;
};

// Puts a new colonise order in front of each object's queue (its current
// order from then on, the others following). Objects without an AI get none.
class giveColonizeOrd : public SelectedObjectAction {
 public:
  void act(graphicsObject* object) override;
};

// The same with a new defend order.
class giveDefendOrd : public SelectedObjectAction {
 public:
  void act(graphicsObject* object) override;
};

// Moves each object with an order queue into `target` (held while the action
// lives): out of the fleet it is in first, unless Shift is held, which leaves
// objects already in a fleet where they are. The fleet's own commander and
// the commanders of other fleets stay where they are. The object's lock is
// taken before the player's fleets area, in the order of every other fleet
// change.
class joinToFleet : public SelectedObjectAction {
 public:
  explicit joinToFleet(FleetAI* target);
  ~joinToFleet() override;
  joinToFleet(const joinToFleet&) = delete;
  joinToFleet& operator=(const joinToFleet&) = delete;

  void act(graphicsObject* object) override;

 private:
  FleetAI* target_;
};
