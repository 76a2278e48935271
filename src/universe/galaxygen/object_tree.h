// The galaxy's object tree in a saved game: nested object records.
//
//   record      packed u32 kind (1 planet, 2 star, 3 ship, 4 oddity,
//               5 system, 6 galaxy); the base record (object_record.h); the
//               kind's own fields; then the children
//   children    version 8 on: the galaxy and systems their contents, planets
//               and ships their docked objects, as a count (one byte below
//               255, else the byte 255 and a u32) and that many records;
//               stars and oddities none. Before version 8: a u16 count for
//               every kind.
//
// Parent rules on reading: the galaxy only as the root ("Galaxy specified as
// child"), a system only under the galaxy ("System not specified as child of
// galaxy"), the other kinds only under a system or the galaxy ("Object not
// specified as child of galaxy or solar system"). A docked object is made in
// its carrier's container (so the same rules hold there), then docked in
// the carrier with its recorded position, mover and orders. Any other kind,
// a docked star system, a UID of 0, 0xFFFFFFFF or one already in use, and
// nesting deeper than 64 levels are {5, "Object tree malformed"}. Short reads are {4, "Unexpected EOF"}. A failed read
// leaves the objects read so far for the session's tear-down to free (they
// are in the tree under the root, which the loader hands back through
// `partial`).
#pragma once

#include <cstdint>

class SaveStream;
class generic_object;
class objGalaxy;

// The deepest level of a record (the root is level 1).
constexpr unsigned kMaxObjectTreeDepth = 64;

// Writes `root` and everything under it.
void saveObjectTree(SaveStream& stream, generic_object* root);

// Reads one record with its children under `parent` (null for the root);
// with `docked`, `parent` is the carrier the object docks in. `level` is
// the record's depth in the tree. A root that fails is destroyed again; under a parent, the
// objects read so far stay in the tree.
generic_object* readObjectTree(SaveStream& stream, generic_object* parent, bool docked, unsigned level = 1);

// A child count: one byte below 255, else the byte 255 and a u32.
void writeChildCount(SaveStream& stream, uint32_t count);
// Reads a child count: as written, or a u16 before version 8.
uint32_t readChildCount(SaveStream& stream);

// Reads the whole tree: the system names are reloaded, the root must be a
// galaxy ({5, "Object tree malformed"} otherwise), whose radius becomes
// 200000. The galaxy comes back with its first reference (given up by its
// destruction), as createGalaxy gives it. When reading fails, `partial`
// (when given) receives the root read so far, if any, before the error
// passes on; without `partial` that root is destroyed.
objGalaxy* loadObjectTree(SaveStream& stream, generic_object** partial = nullptr);
