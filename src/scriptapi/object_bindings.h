// The script types of game objects and the object globals
// (registerObjectBindings). Empire, HullLayout and vector must exist on both
// engines before it runs. Its frame has thirteen steps, in this order; a
// step registers nothing until its types have rows:
//   1 State (type, counting, properties, the methods without an Object)
//   2 Object (the type name)
//   3 AIStance, with Object's stance methods
//   4 State's methods that take an Object
//   5 Object's counting, isValid, properties and other methods
//   6 HulledObj (type, counting, casts both ways, members)
//   7 SysState and SysRef, HullLayout's members, HullStats, the temporary
//     hull functions (client)
//   8 Planet (casts, members), PlanetCondition, PlanetStructureList
//   9 Star, OddityType, Oddity, System, SysObjList, SystemStats
//  10 Galaxy (casts, members), the session galaxy's systems,
//     GalaxySystemList, getGalaxy
//  11 spawnShip (server)
//  12 objectExists and getObjectByID
//  13 GuiMiniView's system pair (client)
// What is registered today, each declaration on the server engine and then
// on the client engine unless marked "server":
//
//   type "State"    a resource state of an object: an uncounted reference
//                   type (a handle points at the state's entry, which never
//                   moves while its object lives)
//     "float val", "float max", "float required", "float inCargo"
//     "float getAvailable() const", "float getFreeSpace() const",
//     "float getTotalFreeSpace(const Object &in) const"
//     "float add(float, Object@)", "float consume(float, Object@)"
//                                     server: with overflow into (and first
//                                     use of) the object's cargo
//   enum "AIStance" ("AIS_Engage" 0, "AIS_HoldPosition" 1, "AIS_HoldFire" 2,
//                   "AIS_Defend" 3)
//   type "Object"   a counted reference type (object_casts.h): a handle
//                   keeps the object's memory alive
//     "bool isValid() const"          the object is alive (not destroyed)
//     "vector velocity", "vector rotation",
//     "vector position"               the fields themselves; position is
//                                     relative to the container
//     "float radius", "const uint uid"
//     "vector getPosition() const"    the absolute position
//     "string@ getName() const"       a copy of the name, taken under the
//                                     object's lock
//     "Empire@ getOwner() const"      the owner (may be null)
//     "void setOwner(Empire@)"        server: the owner change of the
//                                     object's own class
//     "AIStance getStance()", "void setStance(AIStance)" (a client form
//                                     that asks the server when connected)
//     "State@ getState(const string &)"  server: found or added
//     "const State@ getState(const string &) const", "bool getStateVals(
//     const string &, float&, float&, float&, float&) const",
//     "bool hasState(const string &) const"  the client forms see only what
//                                     the active empire may see
//     "uint getStateCount() const", "string@ getStateName(uint) const",
//     "State@ getStateN(uint) const" (server; the client has the const
//                                     handle form)
//     "void damage(Object@, float[, uint32])"  server
//     getMass, the getParent pair, setName, isUnderAttack, setStat and
//     getStat, getCargoVals, getShipBayVals, playSound (does nothing);
//     server: the global-visibility pair, repair, both destroy forms,
//     reparent, setUnderAttack; client: makeLink
//     the build queue: progress, names and types of items, the queue size
//     (the client's is 0 for other empires), removeConstruction,
//     moveConstruction, getConstructionCost, clearBuildQueue, the repeat
//     pair, both makeShip forms and undockAll (a network client asks the
//     server for its changes)
//     movement: setDestination, getDestination, the thrust pair (set on
//     the server), inOrbitAround, orbitAround, isParked, setParked
//     the getCurrentSystem pair (registered with System)
//   type "SysRef"   a sub-system of an object: an uncounted reference type
//                   (the object keeps its sub-systems)
//   type "Planet"   an objHabitation, with the casts to and from Object
//     "void modPopulation(float)"     server: the planet's population change
//     "void modMaxPopulation(float)"  server: moves the limit; a population
//                                     now above it is lowered to it
//     "float getPopulation() const", "float getMaxPopulation() const"
//     The population members hold the planet's lock, act only while the
//     owner is a valid empire and pass it its rate record; otherwise the
//     getters give 0.
//     Structures, conditions, the governor, orbit, physical type and
//     Conquer; PlanetCondition with its globals; PlanetStructureList:
//     planet_natives.h
//   type "Star"     an objStar, with the casts
//   enum "OddityType" ("ODT_Asteroid" 0, "ODT_Comet" 1)
//   type "Oddity"   an objOddity, with the casts
//     "OddityType getOddityType() const"
//   type "System"   a solarSystem, with the casts
//   types "SysObjList", "SystemStats" and "GalaxySystemList"
//                   scoped lists of a system's children, its statistics and
//                   the galaxy's systems (system_lists.h)
//   type "Galaxy"   the objGalaxy, with the casts
//     "System@+ getSystem(uint) const"   past the end: the script exception
//                                     "Out-of-bounds index when getting
//                                     galaxy child", null
//     "uint getSystemCount() const"
//   "System@ getSystem(uint)"         the session galaxy's system, with a
//                                     reference; past the end (or without a
//                                     galaxy) the same exception, null
//   "uint getSystemCount()"           0 without a galaxy
//   "Galaxy@ getGalaxy()"             the session's galaxy with a reference,
//                                     or null
//   "bool objectExists(uint)"         the object registry has that UID
//   "Object@ getObjectByID(uint)"     the object of that UID with a
//                                     reference, or null; the client's also
//                                     null for what the active empire cannot
//                                     see
//
// It also lets the script value printer name the objects that "Object@"
// handles point at, and the states of "State@" handles. The natives of the
// State, stance and state members are in object_natives.h.
#pragma once

#include <angelscript.h>

void registerObjectBindings();

// Step 13's registrar: GuiMiniView's "void setSystem(System@+)" and
// "System@+ getSystem()" on the client engine. The mini view belongs to the
// player interface, which builds on this library, so the script set-up
// installs it; without it the step registers nothing.
extern void (*miniViewSystemRegistrar)(AngelScript::asIScriptEngine* engine);
