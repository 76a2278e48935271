// The map-script API (registerGalaxyGenBindings), on the server engine only:
// the star colour formula, the descriptor value types a map script fills,
// and the makers it hands them to (galaxy_generation.h).
//
//   global        "Color getBlackBodyColor(float)"
//   value types   "Orbit_Desc", "Planet_Desc", "Star_Desc", "System_Desc",
//                 "Oddity_Desc": default constructor, destructor and
//                 assignment; copied by value (an Oddity_Desc script value
//                 keeps its descriptor on the heap: the script stack aligns
//                 values to 4 bytes only, and its strings need 8)
//   Orbit_Desc    properties "float Radius", "float Eccentricity",
//                 "float Mass", "float MassRadius", "float Yaw",
//                 "float Pitch", "bool IsStatic", "vector Offset",
//                 "float PosInYear", "float DaysPerYear"; "void
//                 setCenter(Object@)" (the object's UID, 0 for null),
//                 "void clear()"
//   Planet_Desc   properties "float PlanetRadius", "float PlanetMass",
//                 "bool RandomConditions"; "void setOrbit(const
//                 Orbit_Desc&)", "void setPlanetType(int)" (-1, random,
//                 unless it names a loaded type), "void clearOrbit()"
//   global        "int getPlanetTypeID(const string@)": -1 when unknown; a
//                 null string stops the script with "null string@ passed to
//                 getPlanetTypeID"
//   Planet        "void addRandomCondition()"
//   System        "Planet@+ makePlanet(const Planet_Desc &)"
//   Star_Desc     properties "float Temperature", "float Radius",
//                 "float Brightness"; "void setOrbit(const Orbit_Desc&)",
//                 "void clearOrbit()" (back to a static orbit)
//   System        "Star@+ makeStar(const Star_Desc &)"
//   Oddity_Desc   "void set_id(const string &)", "void setFloat(const string
//                 &, float)", "float getFloat(const string &, float) const",
//                 "void setVector(const string &, const vector &in)",
//                 "vector getVector(const string &, const vector &in)
//                 const", "void reset()", "void clear()"
//   System        "Object@+ makeOddity(const Oddity_Desc &)"
//   System_Desc   properties "vector Position", "bool AutoStar",
//                 "float StartRadius"
//   global        "System@+ makeSystem(Galaxy@, const System_Desc &)"
//   Galaxy        "System@+ createSystem(const System_Desc &)"
//
// The makers' results are held by their containers; the engine adds the
// script's reference. makePlanet and makeStar hold the target system's lock
// while the simulation runs (a galaxy worker may tick the system meanwhile);
// the other makers take none.
//
// "Object", "Planet", "Star", "System" and "Galaxy" come from the object
// bindings, registered before; "Color", "vector" and "string" from the
// script host.
#pragma once

void registerGalaxyGenBindings();
