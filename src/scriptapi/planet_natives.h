// The script face of planets beyond their population members: structures
// and their build queue, conditions, the governor, orbit and physical type
// of "Planet", the condition type "PlanetCondition" with its two globals,
// and "PlanetStructureList", a scoped view of one planet's structures
// (registered by registerPlanetMembers, from registerObjectBindings).
//
//   type "Planet" (server, or both where marked; client forms where marked)
//     "void Conquer(Empire@)"          only a planet of no valid empire is
//                                      taken; null takes the default empire.
//                                      The new owner is told in "misc":
//                                      "#link:o<uid>#<name>" + the text of
//                                      "#EM_Colonize" + "#link#"
//     "void buildStructure(const subSystemDef@[, uint])"  both: queues up to
//                                      the free structure slots (structure
//                                      items already queued do not count);
//                                      a network client asks the server
//                                      (117, sub-kind 1) and shows
//                                      placeholders. Null definition: "Null
//                                      subSystemDef@ when adding structure
//                                      build order"
//     "void rebuildStructure(uint)"    both: queues a rebuild; past the
//                                      structures "Accessed structure
//                                      out-of-range" (a network client asks
//                                      with 117 sub-kind 2 all the same)
//     "void removeStructure(uint)"     both: puts a remove order first in the
//                                      planet's queue (nothing without a
//                                      queue); past the structures "Out of
//                                      bounds index when removing structure";
//                                      a network client only asks (117
//                                      sub-kind 3)
//     "void removeAllStructures()", "void addStructure(const subSystemDef@)"
//                                      (null: "Null subSystemDef@ when adding
//                                      structure"), "void setStructureSpace(
//                                      float)", the addExtension pair
//     "uint getStructureCount() const", "uint getStructureCount(const
//     subSystemDef@)", "float getMaxStructureCount() const" (0 for a
//                                      negative space)           both
//     "bool usesGovernor() const"                                 both
//     "void setUseGovernor(bool)", "void setGovernorType(const string &)"
//                                      the client forms act only on the
//                                      active empire's planets and, on a
//                                      network client, ask the server first
//                                      (118 sub-kinds 1 and 4, channel 2)
//     "string@ getGovernorType() const"  "default" when none is set (and, in
//                                      the client engine, for other empires'
//                                      planets)
//     "string@ getPhysicalType()", "float getOrbitRadius() const",
//     "const PlanetCondition@ getCondition(uint) const" (null past the end),
//     "uint getConditionCount() const"                             both
//     "void eradicate()", "void addCondition(const string &) const",
//     "void removeCondition(const string &) const"                  server
//   type "PlanetCondition"             uncounted (the registry keeps them)
//     "string@ get_id() const", "string@ get_desc() const"
//   "uint getPlanetConditionCount()", "const PlanetCondition@
//   getPlanetCondition(uint)" (null past the end)
//   type "PlanetStructureList"         scoped: factory, release
//     "void prepare(Planet@+)"         holds the planet (a reference and its
//                                      lock) until re-prepared or released
//     "uint getCount() const", "uint getCount(const subSystemDef@) const",
//     "const subSystem@ getStructure(uint) const", "const SysRef@
//     getStructureState(uint) const"   unprepared: "PlanetStructureList needs
//                                      prepared before being used"; past the
//                                      structures: "Invalid index when
//                                      accessing planet structure list"
//
// Locks. Every native that reads or changes more than one field holds the
// planet's lock (its system's). A prepared list holds that lock across
// script statements, but the thread gives it up while it works in another
// system, so each list method takes it again around its own access and
// reads the structures live.
#pragma once

#include <cstdint>

class objHabitation;

// The count of one buildStructure: the request carries it as a u16.
constexpr uint32_t kMaxBuildStructureCount = 65535;

// The scoped structure list: the planet it is prepared on (one reference
// and its lock held), or null.
struct PlanetStructureList {
  objHabitation* planet = nullptr;
};

// Prepares `list` on `planet` (null unprepares) as the script's prepare
// does; the release behaviour calls it with null.
void preparePlanetStructureList(PlanetStructureList* list, objHabitation* planet);

// Registers the Planet rows after its population members, then
// PlanetCondition, its globals and PlanetStructureList (frame step 8).
void registerPlanetMembers();
