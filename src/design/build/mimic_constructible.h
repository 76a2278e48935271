// A client's copy of one item of a remote object's build queue: it shows
// the name, kind and progress the server reports, and nothing more. It is
// never built, paid for, saved with content or copied.
#pragma once

#include <irrString.h>

#include "design/build/constructible.h"

class mimic_constructible : public constructible {
 public:
  explicit mimic_constructible(const irr::core::stringw& itemName) : name(itemName) {}

  // Nothing: the server completes its own item.
  void complete(generic_object* builder) override;
  irr::core::stringw getName() const override { return name; }
  irr::core::stringw getType() const override { return type; }
  // False: nothing is paid on the client.
  bool payCosts(StateList& states, generic_object* builder, float seconds) override;
  // `progress` once it is above 0, else paid over total from the costs.
  float getProgress() const override;
  // The base record: the type byte 0 (no item).
  void save(SaveStream& stream) const override { constructible::save(stream); }
  // Null: a copy has nothing to build from.
  constructible* clone() const override { return nullptr; }

  irr::core::stringw name;
  irr::core::stringw type;  // "ship", "structure", "rebuild" as the server's item says
  float progress = -1.0f;   // as the server sent it; -1.0 until known
};
