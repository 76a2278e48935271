// The base object record: the part of a saved object's record that every
// kind shares, written before the kind's own fields (writeOwnFields) and
// read by the load constructor of generic_object.
//
// After the type id (written by the object tree, see
// universe/galaxygen/object_tree.h), little-endian, packed values as the
// save stream writes them:
//
//   packed u32   UID (never 0)
//   string       name
//   f32          radius
//   f64          base mass
//   8 packed     position.x, position.y, rotation.x, .y, .z, velocity.x, .y, .z
//   4 packed     position.z, cargoUsed, cargoSpace, dockSpace
//   u8           record flags (below)
//   u8           owner's empire ID                        flag 0x20
//   u16 + n      states: per state its name (common string) and 4 packed
//                floats val, required, max, inCargo       flag 0x01
//   u16 + n      build queue: the item records            flag 0x02
//   record       movement handler                         flag 0x08
//   record       AI                                       flag 0x04
//
// Record flags: 0x01 states, 0x02 build queue, 0x04 AI, 0x08 mover,
// 0x10 in a fleet, 0x20 owner other than the space empire (255), 0x40 the
// build queue repeats, 0x80 always visible.
//
// Saves before version 8 hold radius, base mass, 8 unused bytes and
// position.z (f32) before the 8 packed floats, and their 4 packed floats
// are cargoUsed, cargoSpace, an unused value and dockSpace. Saves of
// versions 9 to 24 hold a repeat-queue byte after the build-queue count.
//
// Reading repairs each position, rotation and velocity component that is a
// NaN or beyond +-1e32 to 0.1; an owner ID that names no empire gives the
// default empire; a state whose resource is unknown takes the default
// resource. Refused as {5, "Object tree malformed"}: a UID of 0, of
// 0xFFFFFFFF (the UID counter would wrap to 0) or of a live object (its
// entry would be taken over). Build-queue items saved as none are skipped;
// an unknown item type is {5, "Invalid build queue item"}. A short record
// is {4, "Unexpected EOF"}.
#pragma once

#include "core/save_stream.h"

class generic_object;

constexpr SaveFileError kSaveErrorObjectTreeMalformed{5, "Object tree malformed"};

// Writes `object`'s base record (everything after the type id).
void writeBaseRecord(SaveStream& stream, generic_object& object);

// Ends the load of an object made by a load constructor. When its record
// was read whole, the object is registered with its owner (star systems and
// the galaxy are not, as new ones are not) and joins its container (the
// container's addChild: only now is the kind complete, and the galaxy lists
// its systems by kind). Otherwise the object is given up, and the error
// thrown: it leaves the registry and loses its first reference, so that it
// goes as soon as whatever else holds it (a queued post-load step) lets it
// go.
void finishLoadedObject(generic_object* object);

template <class Kind>
Kind* finishObjectLoad(Kind* object) {
  finishLoadedObject(object);
  return object;
}
