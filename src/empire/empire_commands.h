// Empire commands: player orders that concern the empire rather than one
// ship. Each is queued on its empire (empire::queueCommand) and executed by
// the empire's step until it reports that it is done.
//
//   ColonizePlanetCommand  sends the nearest free colony ship to settle a
//                          planet, waiting up to 300 s of game time
//   GiveSuppliesCommand    sends the best carrier of a resource to deliver
//                          it to an object and restock, once
//
// Lock order: the empire's objects area, then one star system's lock at a
// time. The colonisation-sets area is never held while a system lock is
// awaited (galaxy threads take it under their system's lock).
#pragma once

#include <irrString.h>

#include <stdexcept>

#include "empire/empire.h"

class generic_object;
class Order;

// What a command's constructor throws for a target it cannot act on.
class EmpireCommandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ColonizePlanetCommand : public empCommand {
 public:
  // `planet` must be a planet whose owner is not a valid empire; otherwise
  // throws EmpireCommandError("Invalid colonization destination"). Chooses
  // a colonizer at once for `emp`: the nearest colony ship with an AI and
  // no use-tool order gets a use_tool_order of the "Colonizer" on the planet
  // (at the front of its queue with `toFront`, else before its first
  // automation order); with none, the planet joins the colonisation queue.
  ColonizePlanetCommand(generic_object* planet, empire* emp, bool toFront);
  ~ColonizePlanetCommand() override;  // releases the planet and colonizer

  // Done when there is no colonizer, when the planet has been taken (the
  // order is taken back from the colonizer), or after the timeout. A lost
  // colonizer is replaced; with no replacement the planet joins the
  // colonisation queue and the command is done.
  bool execute(empire* emp) override;

  generic_object* planet = nullptr;     // one reference
  generic_object* colonizer = nullptr;  // one reference, or null
  Order* order = nullptr;               // the colonizer's AI owns it; only compared, never used
  double timeout = 0.0;                 // game time: construction + 300 s
  bool toFront = false;

 private:
  void chooseColonizer(empire* emp);
};

class GiveSuppliesCommand : public empCommand {
 public:
  // `target` must be a valid object; otherwise throws
  // EmpireCommandError("Invalid target for Give Supplies Order").
  GiveSuppliesCommand(generic_object* target, const irr::core::stringw& resource, bool goFirst);
  ~GiveSuppliesCommand() override;  // releases the target

  // Picks the mobile object of `emp` with an AI free of transfer and
  // collect orders that scores best (capacity / ((orders + 1) x squared
  // distance)) and gives it a transfer of the resource to the target and a
  // collect order (after a goto within its own system with `goFirst`).
  // Always done after one run.
  bool execute(empire* emp) override;

  generic_object* target = nullptr;                // one reference
  const irr::core::stringw* resource = nullptr;  // pooled resource name
  bool goFirst = false;
};
