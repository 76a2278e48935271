// Build-queue items: one entry of an object's construction queue. The
// object pays its front item every tick from its own resource states; once
// everything is paid it announces the item and calls its completion.
//
// Save record of an item (inside the owning object's record): its type byte
// first; the base item writes the type byte 0 alone and is not restored.
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include "core/names.h"
#include "universe/objects/object_states.h"

class SaveStream;
class generic_object;

class constructible {
 public:
  struct cost {
    float amount = 0.0f;  // the total to pay
    float paid = 0.0f;    // paid so far
  };
  using CostList = irr::core::array<PtrNamedVar<cost>>;

  constructible() = default;
  constructible(const constructible&) = delete;
  constructible& operator=(const constructible&) = delete;
  virtual ~constructible() = default;

  // Applies the finished item to the object that built it.
  virtual void complete(generic_object* builder) = 0;
  // The display name; empty for the base.
  virtual irr::core::stringw getName() const { return irr::core::stringw(); }
  // The kind text; empty for the base.
  virtual irr::core::stringw getType() const { return irr::core::stringw(); }
  // Pays for one time step from the builder's states; true once everything
  // is paid.
  virtual bool payCosts(StateList& states, generic_object* builder, float seconds);
  // Paid over total amount; 0 when the total is not positive.
  virtual float getProgress() const;
  // True for ships (and the base), false for structures.
  virtual bool buildsShip() const { return true; }
  // Writes the item's record: the base writes the type byte 0.
  virtual void save(SaveStream& stream) const;
  // A fresh copy for a repeating queue; null for the base.
  virtual constructible* clone() const { return nullptr; }

  CostList costs;
};
