// The script face of ships and stations: the members of "HulledObj" and the
// global "spawnShip".
//
//   type "HulledObj" (both engines unless marked)
//     "void ceaseFire()"               every weapon and tool lets its target
//                                      go. Client engine: only the active
//                                      empire's ships; a network client asks
//                                      the server instead (139 sub-kind 4,
//                                      reliable ordered, channel 0)
//     "SysRef@ getDamagedSystem(const SysRef@) const" (server; the client
//                                      form returns a const handle) the
//                                      first record after the one given
//                                      below its maximum HP. A record of
//                                      another object counts as null: the
//                                      scan starts from the first record
//     "SysRef@ getSubSystem(uint) const"  null at or past the count
//     "uint getSubSystemCount() const" 0 without a layout
//     "float damageSystem(SysRef@, Object@, float[, uint32])"  server: the
//                                      ship's damage operation on one
//                                      record; returns the damage it did not
//                                      absorb. Null source: "Null Object@
//                                      when damaging an object", 0
//     "void forceActivate()"           server: disabled records become
//                                      active and run their OnActive effects
//     "float get_thrust() const", "void set_thrust(float) const" (server)
//     "const HullLayout@ getHull() const"
//     "Planet@ inOrbitAround() const"  the planet the ship circles, or null
//   "HulledObj@ spawnShip(Empire@, const HullLayout@, System@+, const
//   vector&)"                          server: a new ship in the system, or
//                                      null (no system, a container outside
//                                      every system, no layout or owner)
//
// The ship's lock (its system's) is held by damageSystem, forceActivate,
// ceaseFire and inOrbitAround; the others read a field or two without it.
#pragma once

// HulledObj's members, after its casts (frame step 6). The rows that name
// SysRef or Planet wait for those types (registerHulledObjLateMembers, at
// the end of step 8).
void registerHulledObjMembers();
void registerHulledObjLateMembers();
// "spawnShip" (frame step 11, server engine).
void registerSpawnShipFunction();
