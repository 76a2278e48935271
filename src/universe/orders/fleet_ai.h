// A fleet: a group of ships led by a commander, known to its owner empire
// by name. The fleet is shared by reference count (one reference from its
// maker); the owner empire holds one for as long as it lists the fleet.
#pragma once

#include <irrString.h>

#include "core/ref_counted.h"

class FleetAI : public refCounted {
 public:
  FleetAI() = default;

  irr::core::stringw name;  // empty until the owner empire names it

 protected:
  ~FleetAI() override = default;
};
