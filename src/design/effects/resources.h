// Resources: the named quantities that objects keep in their resource states
// (ores, fuel, trade goods, population goods), declared once each in
// "Game Data/resources.xml".
//
// The file:
//
//   element                  effect on the current resource
//   <resource name="N">      begins resource N (a name not yet known)
//   </resource>              ends it; only the closing tag does, so the
//                            elements after a self-closing <resource/> still
//                            act on it
//   <canBeCargo/>            amounts above a state's maximum may be kept in
//                            the object's cargo space
//   <canTransfer/>           may be handed between objects
//   <planetsRequire/>        planets need it
//   <alwaysVisible/>         every empire sees it
//   <recycle pct="F"/>       share given back by recycling (missing: 0)
//   <duplicate>A, B</duplicate>
//                            further names of the current resource, split
//                            at ',' and trimmed; empty pieces and names
//                            already known are skipped
//
// Element names are case-sensitive; anything else is ignored, and so are the
// property elements while no resource is current. A resource without a name,
// or with a name already known, is reported and skipped.
//
// The registry maps every name (aliases included) to its record and owns the
// records: it is filled once per session and cleared at its end, and its
// records outlive every state that points at them. Lookups may run on any
// thread while the registry is not being loaded or cleared.
#pragma once

#include <irrString.h>

struct cargoData {
  bool canBeCargo = false;
  bool canTransfer = false;
  bool planetsRequire = false;
  bool alwaysVisible = false;
  float recycle = 0.0f;  // the "pct" of <recycle>
};

// The record registered under `name` (a resource's own name or an alias),
// or null.
const cargoData* findResource(const irr::core::stringw& name);

// The record of states whose name no resource has: every flag false,
// recycle 0. It lives until the program ends.
const cargoData* defaultResource();

// Reads the resource file at `path` into the registry. A file that cannot be
// opened is reported (with its path) and loads nothing; damaged markup is
// reported and ends the load, keeping what was read before it.
void loadResources(const irr::core::stringc& path);

// Deletes every record once, however many names share it, and empties the
// registry.
void clearResources();
