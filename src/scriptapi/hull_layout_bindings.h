// Hull layouts as scripts see them: the members of HullLayout and the
// summary type HullStats (both engines), registered at step 7 of the object
// frame (the type HullLayout itself and its empty add-ref and release come
// with the empire bindings).
//
// HullLayout members:
//   "string@ getName() const"                     copied under the owner's
//                                                 hull layouts area (read)
//   "uint getSubSysCnt() const"
//   "const subSystem@ getSubSys(uint) const"      out of range: exception
//     "Out of bounds index when getting subSystem@ from hullLayout", null
//   "pos2df getSubSysPos(uint) const"             out of range: exception
//     "Out of bounds index when getting SubSystem position from hullLayout",
//     (0, 0)
//   "int getSubSysLink(uint) const"               out of range: exception
//     "Out of bounds index when getting link index from hullLayout", -1
//   "bool getTargetScales(float &out,float &out[,bool &out]) const"
//   "bool getTargetDamage(float &out,float &out[, bool&out]) const"
//                                                 range, extra flag; returns
//                                                 the set flag
//   "void getAllowTargets(bool &out,bool &out) const"     ships, planets
//   "void getDepositTargets(bool &out,bool &out) const"
//   "bool get_orbits() const", "bool get_allowFetch() const"
//   "bool hasSystemWithTag(const string &) const" an empty text: exception
//     "hull tags can never be empty strings", false. The tag set holds every
//     tag of the placed definitions but the "Require:" ones. The question
//     never adds to the common string list: a text that is not a common
//     string is in no tag set.
//   "float scale", "int metadata", "const Empire@ owner"    properties
//   "bool get_obsolete() const"
//   "void set_obsolete()"                         obsolete, and no newer
//                                                 revision any more
//   "float get_updateThreshold() const"           0 unless the layout is the
//                                                 active empire's
//   "void set_updateThreshold(float) const"       the active empire's
//     layouts only; a network client also tells the server (135: sub-kind
//     1, the name as a wide string of at most 255 units, the value as a
//     raw f32; reliable ordered, channel 0)
//   "HullStats@ getStats() const"
//
// HullStats (counted by its own atomic count; one per getStats call):
//   "float spaceTaken", "float spaceTotal"        the space the non-"Hull",
//     non-"Armor" sub-systems take and the space the "Hull" ones give, each
//     divided by the layout's scale squared
//   "uint getCostCnt() const", "string@ getCostName(uint) const",
//   "float getCost(uint) const", "float getCost(const string &) const"
//   "uint getHintCnt() const", "string@ getHintName(uint) const",
//   "float getHint(uint) const", "float getHint(const string &) const"
//     The costs are the layout's summed costs; the hints "HP" and "Mass"
//     sum the sub-systems' maximum HP and mass, and every Hint of a
//     sub-system adds to its name while its Consume and Require take away.
//     By index out of range: exception "Out of bounds index when getting
//     hull cost name" (null) or "Out of bounds index when getting hull
//     cost" (0), for the hints too; an unknown name gives 0.
#pragma once

#include <atomic>
#include <cstdint>

#include "design/build/constructible.h"
#include "core/names.h"

class hull_list;

// The summary of one layout; scripts share it by counted reference.
struct HullStats {
  std::atomic<int32_t> refCount{1};
  float spaceTaken = 0.0f;
  float spaceTotal = 0.0f;
  constructible::CostList costs;            // sorted by name
  PtrNamedVar<float>::Registry hints;       // sorted by name

  void grab() { refCount.fetch_add(1); }
  void drop() {
    if (refCount.fetch_sub(1) == 1)
      delete this;
  }
};

// A new record of `layout` (one reference, the caller's).
HullStats* makeHullStats(const hull_list& layout);

// Registers HullLayout's members and the type HullStats on both engines.
void registerHullLayoutMembers();
