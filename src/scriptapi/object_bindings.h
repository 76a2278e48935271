// The script types of game objects and the object globals
// (registerObjectBindings). Empire and vector must exist on both engines
// before it runs. Registered in this order, each declaration on the server
// engine and then on the client engine unless marked "server":
//
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
//   type "Star"     an objStar, with the casts
//   enum "OddityType" ("ODT_Asteroid" 0, "ODT_Comet" 1)
//   type "Oddity"   an objOddity, with the casts
//     "OddityType getOddityType() const"
//   type "System"   a solarSystem, with the casts
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
//   "Object@ getObjectByID(uint)"     server: the object of that UID with a
//                                     reference, or null
//
// It also lets the script value printer name the objects that "Object@"
// handles point at.
#pragma once

void registerObjectBindings();
