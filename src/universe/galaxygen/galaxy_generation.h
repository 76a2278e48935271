// Galaxy generation: the descriptors a map script fills and the makers that
// turn them into star systems, stars, planets, comets and asteroids; the
// empty galaxy of a new game; the system-name list; the star colour formula.
//
// The map script ("void makeMap(Galaxy@)", run by the session) fills plain
// descriptors and hands them to the makers, which create the objects, place
// them in their container, give them their mover (a parked mobile mover
// around a nested orbit-other mover, or none for a static body) and name
// them. The makers also serve the rest of the game.
//
// References: a made object keeps its first reference, which its destruction
// (destroyNow) gives up, and its container holds one more. A maker hands out
// no reference of the caller's own, so callers that keep the object grab it.
// createGalaxy is the exception: its caller owns the galaxy's first
// reference (given up by the galaxy's destroyNow).
//
// Random draws use the calling thread's generator (core/random.h), except the
// system-name pick and the random planet type, which use the process-wide
// one (processRandom).
#pragma once

#include <SColor.h>
#include <irrArray.h>
#include <irrString.h>
#include <vector3d.h>

#include <cstdint>

#include "core/names.h"

class MoveHandler;
class empire;
class generic_object;
class objGalaxy;
class objHabitation;
class objOddity;
class objHulled;
class hull_list;
class objStar;
class solarSystem;

using vector3df = irr::core::vector3df;

// An orbit: a body of `mass` and `massRadius` orbited at `radius`, or, when
// static, a fixed position at `offset`.
struct Orbit_Desc {
  float radius = 500.0f;
  float mass = 1.0f;
  float eccentricity = 1.0f;  // below 1: used as its reciprocal
  float massRadius = 4.0f;
  float posInYear = -1.0f;  // 0 to 1; negative: random
  float yaw = 0.0f;         // radians
  float pitch = 0.0f;       // radians
  float daysPerYear = 10.0f;
  bool isStatic = false;
  uint32_t centerUID = 0;  // the body orbited; 0 for none
  vector3df offset;        // centre of the orbit, or the position when static

  // The UID of `center` (0 for null).
  void setCenter(const generic_object* center);
  // Every field back to its default.
  void clear() { *this = Orbit_Desc(); }
};

struct Planet_Desc {
  float planetRadius = 5.0f;
  float planetMass = 1e15f;
  int planetType = -1;  // index of a planet type; -1: random
  bool randomConditions = true;
  Orbit_Desc orbit;

  // Keeps `index` when it names a loaded type, else -1.
  void setPlanetType(int index);
};

struct Star_Desc {
  Star_Desc() { orbit.isStatic = true; }
  float radius = 1.0f;
  float temperature = 15000.0f;  // kelvin
  float brightness = 1.0f;       // carried, not read by the makers
  Orbit_Desc orbit;              // static by default: the system's centre
};

struct System_Desc {
  vector3df position;
  bool autoStar = true;
  float startRadius = 10.0f;
};

// A comet or an asteroid: an id ("comet", "asteroid") and named values.
struct Oddity_Desc {
  irr::core::stringw id;
  NamedVar<float>::Registry floats;
  NamedVar<vector3df>::Registry vectors;

  void setFloat(const irr::core::stringw& name, float value);
  float getFloat(const irr::core::stringw& name, float fallback) const;
  void setVector(const irr::core::stringw& name, const vector3df& value);
  vector3df getVector(const irr::core::stringw& name, const vector3df& fallback) const;
  // Empties the id and both lists.
  void reset();
  // Empties both lists, keeping the id.
  void clear();
};

// A ship to make: where (relative to its system or the galaxy), for whom,
// and of which design. The descriptor holds a counted reference on its
// layout, released when it changes layout or ends.
struct Hull_Desc {
  Hull_Desc() = default;
  Hull_Desc(const Hull_Desc& other);
  Hull_Desc& operator=(const Hull_Desc& other);
  ~Hull_Desc();
  // Holds `hull` (a reference taken) in place of the layout held before.
  void set_hull(hull_list* hull);

  vector3df Position;
  empire* Owner = nullptr;
  hull_list* layout = nullptr;  // counted
};

// The colour of a black body at `kelvin`, alpha 255. NaN and negative
// temperatures are taken as 0 K; from 29800 K up the colour stays the same.
irr::video::SColor getBlackBodyColor(float kelvin);

// The mover of an orbit, or null for a static one. `position` receives where
// the body starts ((0,0,0) for an orbiting body, which its mover places);
// `extent`, when given, how far from the system's centre the orbit reaches.
MoveHandler* createOrbitMover(const Orbit_Desc& orbit, vector3df& position, float* extent);
// The orbit of a comet or asteroid, from the descriptor's "orb_..." values.
MoveHandler* createOddityOrbit(const Oddity_Desc& oddity);

// Refills the system-name list from "Game Data/SystemNames.txt" and starts
// the fallback names (A-1, A-2, ...) again.
void loadSystemNames();
// The system-name list (each name is used once).
irr::core::array<irr::core::stringw>& systemNameList();

// The empty galaxy of a new game (radius 200000), after reloading the system
// names. The caller owns its first reference.
objGalaxy* createGalaxy();

// The makers; null for a null system or galaxy (and see each).
solarSystem* makeSystem(objGalaxy* owner, const System_Desc& desc);
objStar* createStar(solarSystem* system, const Star_Desc& desc);
// Null also when no planet type can be used: none loaded, or, for a random
// type, all of them constructed (logged once per call, naming
// "Game Data/PlanetTypes.xml").
objHabitation* createPlanet(solarSystem* system, const Planet_Desc& desc);
// Null also for an id other than "comet" and "asteroid" (case-sensitive).
objOddity* makeOddity(solarSystem* system, const Oddity_Desc& desc);
// A ship of `desc` at the star system (or galaxy) that holds `place` (which
// may be that system itself), named "<layout name> <n>" from the process's
// ship counter, parked when it is a station or its owner's "autoPark" is
// above 0.5, with its layout's standing orders and the "onCreate" hook run.
// Null without such a container, a layout or an owner.
objHulled* createShipObject(const Hull_Desc& desc, generic_object* place);

// Gives the planet one more of the conditions its type allows, when it can.
void addRandomCondition(objHabitation* planet);
