#include "universe/objects/mirror_objects.h"

#include "universe/orders/unit_ai.h"

// The pools serve exactly their kind's size: a mirror adds no fields.
static_assert(sizeof(sgHulled) == sizeof(objHulled), "a mirror ship must fit the ship pool");
static_assert(sizeof(sgHabitation) == sizeof(objHabitation), "a mirror planet must fit the planet pool");

namespace {

// Gives `object` a forwarding queue in place of the one it has.
void installForwarder(generic_object& object, bool takeHull) {
  auto* forwarder = new UnitAI_Forwarder(&object, takeHull);
  object.setAI(forwarder);
  forwarder->drop();  // the object holds the only reference now
}

}  // namespace

sgHulled::sgHulled(empire* shipOwner, hull_list* layout, MoveHandler* mover) : objHulled(shipOwner, layout, mover) {
  installForwarder(*this, true);
}

void sgHulled::tick(float seconds) { generic_object::tick(seconds); }

void sgHulled::setOwner(empire* newOwner) { generic_object::setOwner(newOwner); }

void sgHulled::destroyNow(bool quiet) { generic_object::destroyNow(quiet); }

sgHabitation::sgHabitation(empire* planetOwner, MoveHandler* mover) : objHabitation(planetOwner, mover, NoAI{}) {
  installForwarder(*this, false);
}

void sgHabitation::tick(float seconds) { generic_object::tick(seconds); }

void sgHabitation::setOwner(empire* newOwner) { generic_object::setOwner(newOwner); }

void sgHabitation::destroyNow(bool quiet) { generic_object::destroyNow(quiet); }

void sgHabitation::removeStructureQuietly(unsigned index) {
  if (index >= structures.size())
    return;
  const structEntry entry = structures[index];
  structures.erase(index);
  delete[] entry.record.effectorStates;
  delete entry.system;
}
