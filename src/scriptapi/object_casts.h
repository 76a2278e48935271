// The script types of game objects and the casts between them, for the
// object bindings (registerObjectBindings). Every registration goes to the
// server engine and then the client engine.
//
// A game-object type is a counted reference type: a script handle holds a
// reference on the object (add-ref generic_object::grab, release
// generic_object::drop), so the object's memory outlives its destruction
// while a script holds it.
//
// The subtypes of "Object", with the class each cast tests for (a run-time
// type test, so derived classes pass: the galaxy is also a "System"):
//   "HulledObj" objHulled
//   "Planet"  objHabitation      "Star"    objStar
//   "Oddity"  objOddity          "System"  solarSystem
//   "Galaxy"  objGalaxy
// Casts from "Object" to a subtype, all on one native: "Planet@ toPlanet()",
// "const Planet@ toPlanet() const" and the implicit conversions
// "Planet@ opImplCast()" and "const Planet@ opImplCast() const" (which also
// serve cast<Planet>(object)). The cast of an object of another class, or of
// null, gives null and adds no reference; a successful cast returns the
// object with one reference added, so the new handle outlives the one it
// came from. Casts back, on the subtype: "Object@ toObject()",
// "const Object@ toObject() const" and the two implicit conversions to
// "Object@", which add a reference unless the handle is null.
#pragma once

// The type name of a game-object type (kind: reference, size 0).
void registerGameObjectType(const char* name);
// The add-ref and release of a game-object type.
void registerGameObjectCounting(const char* name);

enum class ObjectSubtype { HulledObj, Planet, Star, Oddity, System, Galaxy };

// The subtype's type name, its add-ref and release, the casts from "Object"
// to it, then the casts back to "Object". "Object" must exist.
void registerObjectSubtype(ObjectSubtype subtype);
