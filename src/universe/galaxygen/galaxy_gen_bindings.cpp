#include "universe/galaxygen/galaxy_gen_bindings.h"

#include <angelscript.h>

#include <cstddef>
#include <cstring>
#include <new>
#include <string>

#include "app/base/session_state.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/oddity.h"
#include "universe/objects/star.h"
#include "universe/objects/system_locks.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_types.h"
#include "universe/ships/ship.h"

using namespace AngelScript;

namespace {

// --- Value types -------------------------------------------------------------

template <class T>
void constructValue(T* self) {
  new (self) T();
}

template <class T>
void destructValue(T* self) {
  self->~T();
}

template <class T>
T& assignValue(const T& other, T* self) {
  *self = other;
  return *self;
}

// The engine keeps script locals of value types on its own stack, aligned to
// 4 bytes only.
constexpr size_t kScriptStackAlignment = 4;

template <class T>
void registerValueType(asIScriptEngine* engine, const char* name) {
  static_assert(alignof(T) <= kScriptStackAlignment, "the script stack would misalign it");
  checked(engine).RegisterObjectType(name, sizeof(T), asOBJ_VALUE | asGetTypeTraits<T>());
  checked(engine).RegisterObjectBehaviour(name, asBEHAVE_CONSTRUCT, "void f()", asFUNCTION(constructValue<T>),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour(name, asBEHAVE_DESTRUCT, "void f()", asFUNCTION(destructValue<T>),
                                          asCALL_CDECL_OBJLAST);
  const std::string assign = std::string(name) + "& opAssign(const " + name + " &in)";
  checked(engine).RegisterObjectMethod(name, assign.c_str(), asFUNCTION(assignValue<T>), asCALL_CDECL_OBJLAST);
}

// Oddity_Desc holds strings and arrays, which need 8-byte alignment: the
// script value is a byte-aligned slot that owns the descriptor on the heap.
// A copy copies the descriptor, as a value does.
class OddityDescSlot {
 public:
  Oddity_Desc& desc() const {
    Oddity_Desc* held;
    std::memcpy(&held, bytes_, sizeof held);
    return *held;
  }
  static void construct(OddityDescSlot* self) {
    Oddity_Desc* held = new Oddity_Desc();
    std::memcpy(self->bytes_, &held, sizeof held);
  }
  static void destruct(OddityDescSlot* self) { delete &self->desc(); }
  static OddityDescSlot& assign(const OddityDescSlot& other, OddityDescSlot* self) {
    self->desc() = other.desc();
    return *self;
  }

 private:
  unsigned char bytes_[sizeof(Oddity_Desc*)];
};
static_assert(alignof(OddityDescSlot) == 1, "a slot lies anywhere on the script stack");

void registerOddityDescType(asIScriptEngine* engine) {
  const char* name = "Oddity_Desc";
  checked(engine).RegisterObjectType(name, sizeof(OddityDescSlot), asOBJ_VALUE | asOBJ_APP_CLASS_CDA);
  checked(engine).RegisterObjectBehaviour(name, asBEHAVE_CONSTRUCT, "void f()", asFUNCTION(OddityDescSlot::construct),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour(name, asBEHAVE_DESTRUCT, "void f()", asFUNCTION(OddityDescSlot::destruct),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectMethod(name, "Oddity_Desc& opAssign(const Oddity_Desc &in)",
                                       asFUNCTION(OddityDescSlot::assign), asCALL_CDECL_OBJLAST);
}

// Hull_Desc's script value. The engine keeps value locals on its 4-byte
// aligned stack, so the descriptor's pointers cannot lie in it as C++ lays
// them out: the value keeps the position and the owner handle at fixed
// offsets for the script's properties (the engine reads handles at any
// 4-byte boundary, as it does its own handle locals) and the layout beside
// them, and C++ reads and writes the pointers bytewise. The layout is
// counted, as Hull_Desc counts it.
struct HullDescValue {
  vector3df position;
  unsigned char owner[sizeof(empire*)] = {};
  unsigned char layout[sizeof(hull_list*)] = {};

  empire* getOwner() const {
    empire* held;
    std::memcpy(&held, owner, sizeof held);
    return held;
  }
  hull_list* getLayout() const {
    hull_list* held;
    std::memcpy(&held, layout, sizeof held);
    return held;
  }
  // Holds `hull` (a reference taken) in place of the layout held before.
  void setLayout(hull_list* hull) {
    if (hull != nullptr)
      hull->grab();
    hull_list* old = getLayout();
    std::memcpy(layout, &hull, sizeof hull);
    if (old != nullptr)
      old->drop();
  }
  Hull_Desc toDesc() const {
    Hull_Desc desc;
    desc.Position = position;
    desc.Owner = getOwner();
    desc.set_hull(getLayout());
    return desc;
  }

  static void construct(HullDescValue* self) { new (self) HullDescValue(); }
  static void destruct(HullDescValue* self) {
    self->setLayout(nullptr);
    self->~HullDescValue();
  }
  static HullDescValue& assign(const HullDescValue& other, HullDescValue* self) {
    self->position = other.position;
    std::memcpy(self->owner, other.owner, sizeof self->owner);
    self->setLayout(other.getLayout());
    return *self;
  }
};
static_assert(alignof(HullDescValue) <= kScriptStackAlignment, "the script stack would misalign it");

void registerHullDescType(asIScriptEngine* engine) {
  const char* name = "Hull_Desc";
  checked(engine).RegisterObjectType(name, sizeof(HullDescValue), asOBJ_VALUE | asOBJ_APP_CLASS_CDA);
  checked(engine).RegisterObjectBehaviour(name, asBEHAVE_CONSTRUCT, "void f()", asFUNCTION(HullDescValue::construct),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour(name, asBEHAVE_DESTRUCT, "void f()", asFUNCTION(HullDescValue::destruct),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectMethod(name, "Hull_Desc& opAssign(const Hull_Desc &in)",
                                       asFUNCTION(HullDescValue::assign), asCALL_CDECL_OBJLAST);
}

// --- Natives -----------------------------------------------------------------

// Holds a system's lock while the simulation runs, when a galaxy worker may
// be ticking it.
class LiveSystemLock {
 public:
  explicit LiveSystemLock(solarSystem* system) : system_(simulationRunning.load() ? system : nullptr) {
    if (system_ != nullptr)
      lockSolarSystem(system_);
  }
  ~LiveSystemLock() {
    if (system_ != nullptr)
      unlockSolarSystem(system_);
  }
  LiveSystemLock(const LiveSystemLock&) = delete;
  LiveSystemLock& operator=(const LiveSystemLock&) = delete;

 private:
  solarSystem* system_;
};

// The handle argument's reference is the native's to give back.
void orbitSetCenter(Orbit_Desc* self, generic_object* center) {
  self->setCenter(center);
  if (center != nullptr)
    center->drop();
}

void planetSetOrbit(Planet_Desc* self, const Orbit_Desc& orbit) { self->orbit = orbit; }
void planetSetType(Planet_Desc* self, int index) { self->setPlanetType(index); }
void planetClearOrbit(Planet_Desc* self) { self->orbit = Orbit_Desc(); }

int getPlanetTypeId(ScriptString* name) {
  if (name == nullptr) {
    raiseScriptException("null string@ passed to getPlanetTypeID");
    return -1;
  }
  const int index = findPlanetType(name->toStringw());
  name->release();
  return index;
}

void planetAddRandomCondition(objHabitation* planet) {
  planet->lockContainer();
  addRandomCondition(planet);
  planet->unlockContainer();
}

objHabitation* systemMakePlanet(solarSystem* system, const Planet_Desc& desc) {
  const LiveSystemLock lock(system);
  return createPlanet(system, desc);
}

// The descriptor takes its own reference: the layout lives on when the
// script's handle goes.
void hullSetHull(HullDescValue* self, const hull_list& layout) { self->setLayout(const_cast<hull_list*>(&layout)); }

generic_object* systemMakeShip(solarSystem* system, const HullDescValue& desc) {
  const LiveSystemLock lock(system);
  return createShipObject(desc.toDesc(), system);
}

void starSetOrbit(Star_Desc* self, const Orbit_Desc& orbit) { self->orbit = orbit; }
void starClearOrbit(Star_Desc* self) {
  self->orbit = Orbit_Desc();
  self->orbit.isStatic = true;
}

objStar* systemMakeStar(solarSystem* system, const Star_Desc& desc) {
  const LiveSystemLock lock(system);
  return createStar(system, desc);
}

void odditySetId(OddityDescSlot* self, const ScriptString& id) { self->desc().id = id.toStringw(); }
void odditySetFloat(OddityDescSlot* self, const ScriptString& name, float value) {
  self->desc().setFloat(name.toStringw(), value);
}
float oddityGetFloat(const OddityDescSlot* self, const ScriptString& name, float fallback) {
  return self->desc().getFloat(name.toStringw(), fallback);
}
void odditySetVector(OddityDescSlot* self, const ScriptString& name, const vector3df& value) {
  self->desc().setVector(name.toStringw(), value);
}
vector3df oddityGetVector(const OddityDescSlot* self, const ScriptString& name, const vector3df& fallback) {
  return self->desc().getVector(name.toStringw(), fallback);
}
void oddityReset(OddityDescSlot* self) { self->desc().reset(); }
void oddityClear(OddityDescSlot* self) { self->desc().clear(); }

generic_object* systemMakeOddity(solarSystem* system, const OddityDescSlot& desc) {
  return makeOddity(system, desc.desc());
}

solarSystem* makeSystemIn(objGalaxy* owner, const System_Desc& desc) {
  solarSystem* system = makeSystem(owner, desc);
  if (owner != nullptr)
    owner->drop();
  return system;
}

void registerHullDesc(asIScriptEngine* engine) {
  const char* type = "Hull_Desc";
  checked(engine).RegisterObjectMethod(type, "void set_hull(const HullLayout&)", asFUNCTION(hullSetHull),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectProperty(type, "Empire@ Owner", offsetof(HullDescValue, owner));
  checked(engine).RegisterObjectProperty(type, "vector Position", offsetof(HullDescValue, position));
}

void registerOrbitDesc(asIScriptEngine* engine) {
  const char* type = "Orbit_Desc";
  checked(engine).RegisterObjectProperty(type, "float Radius", offsetof(Orbit_Desc, radius));
  checked(engine).RegisterObjectProperty(type, "float Eccentricity", offsetof(Orbit_Desc, eccentricity));
  checked(engine).RegisterObjectProperty(type, "float Mass", offsetof(Orbit_Desc, mass));
  checked(engine).RegisterObjectProperty(type, "float MassRadius", offsetof(Orbit_Desc, massRadius));
  checked(engine).RegisterObjectProperty(type, "float Yaw", offsetof(Orbit_Desc, yaw));
  checked(engine).RegisterObjectProperty(type, "float Pitch", offsetof(Orbit_Desc, pitch));
  checked(engine).RegisterObjectProperty(type, "bool IsStatic", offsetof(Orbit_Desc, isStatic));
  checked(engine).RegisterObjectProperty(type, "vector Offset", offsetof(Orbit_Desc, offset));
  checked(engine).RegisterObjectProperty(type, "float PosInYear", offsetof(Orbit_Desc, posInYear));
  checked(engine).RegisterObjectProperty(type, "float DaysPerYear", offsetof(Orbit_Desc, daysPerYear));
  checked(engine).RegisterObjectMethod(type, "void setCenter(Object@)", asFUNCTION(orbitSetCenter),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(type, "void clear()", asMETHOD(Orbit_Desc, clear), asCALL_THISCALL);
}

void registerPlanetDesc(asIScriptEngine* engine) {
  const char* type = "Planet_Desc";
  checked(engine).RegisterObjectProperty(type, "float PlanetRadius", offsetof(Planet_Desc, planetRadius));
  checked(engine).RegisterObjectProperty(type, "float PlanetMass", offsetof(Planet_Desc, planetMass));
  checked(engine).RegisterObjectProperty(type, "bool RandomConditions", offsetof(Planet_Desc, randomConditions));
  checked(engine).RegisterObjectMethod(type, "void setOrbit(const Orbit_Desc&)", asFUNCTION(planetSetOrbit),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(type, "void setPlanetType(int)", asFUNCTION(planetSetType),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(type, "void clearOrbit()", asFUNCTION(planetClearOrbit), asCALL_CDECL_OBJFIRST);
}

void registerStarDesc(asIScriptEngine* engine) {
  const char* type = "Star_Desc";
  checked(engine).RegisterObjectProperty(type, "float Temperature", offsetof(Star_Desc, temperature));
  checked(engine).RegisterObjectProperty(type, "float Radius", offsetof(Star_Desc, radius));
  checked(engine).RegisterObjectProperty(type, "float Brightness", offsetof(Star_Desc, brightness));
  checked(engine).RegisterObjectMethod(type, "void setOrbit(const Orbit_Desc&)", asFUNCTION(starSetOrbit),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(type, "void clearOrbit()", asFUNCTION(starClearOrbit), asCALL_CDECL_OBJFIRST);
}

void registerOddityDesc(asIScriptEngine* engine) {
  const char* type = "Oddity_Desc";
  checked(engine).RegisterObjectMethod(type, "void set_id(const string &)", asFUNCTION(odditySetId),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(type, "void setFloat(const string &, float)", asFUNCTION(odditySetFloat),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(type, "float getFloat(const string &, float) const", asFUNCTION(oddityGetFloat),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(type, "void setVector(const string &, const vector &in)",
                                       asFUNCTION(odditySetVector), asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(type, "vector getVector(const string &, const vector &in) const",
                                       asFUNCTION(oddityGetVector), asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(type, "void reset()", asFUNCTION(oddityReset), asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod(type, "void clear()", asFUNCTION(oddityClear), asCALL_CDECL_OBJFIRST);
}

void registerSystemDesc(asIScriptEngine* engine) {
  const char* type = "System_Desc";
  checked(engine).RegisterObjectProperty(type, "vector Position", offsetof(System_Desc, position));
  checked(engine).RegisterObjectProperty(type, "bool AutoStar", offsetof(System_Desc, autoStar));
  checked(engine).RegisterObjectProperty(type, "float StartRadius", offsetof(System_Desc, startRadius));
}

}  // namespace

void registerGalaxyGenBindings() {
  asIScriptEngine* engine = serverScriptEngine;
  if (engine == nullptr)
    return;

  checked(engine).RegisterGlobalFunction("Color getBlackBodyColor(float)", asFUNCTION(getBlackBodyColor), asCALL_CDECL);

  registerValueType<Orbit_Desc>(engine, "Orbit_Desc");
  registerValueType<Planet_Desc>(engine, "Planet_Desc");
  registerValueType<Star_Desc>(engine, "Star_Desc");
  registerValueType<System_Desc>(engine, "System_Desc");
  registerOddityDescType(engine);
  registerHullDescType(engine);

  registerHullDesc(engine);
  checked(engine).RegisterObjectMethod("System", "Object@+ makeShip(const Hull_Desc &)", asFUNCTION(systemMakeShip),
                                       asCALL_CDECL_OBJFIRST);
  registerOrbitDesc(engine);
  registerPlanetDesc(engine);
  checked(engine).RegisterGlobalFunction("int getPlanetTypeID(const string@)", asFUNCTION(getPlanetTypeId),
                                         asCALL_CDECL);
  checked(engine).RegisterObjectMethod("Planet", "void addRandomCondition()", asFUNCTION(planetAddRandomCondition),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod("System", "Planet@+ makePlanet(const Planet_Desc &)",
                                       asFUNCTION(systemMakePlanet), asCALL_CDECL_OBJFIRST);
  registerStarDesc(engine);
  checked(engine).RegisterObjectMethod("System", "Star@+ makeStar(const Star_Desc &)", asFUNCTION(systemMakeStar),
                                       asCALL_CDECL_OBJFIRST);
  registerOddityDesc(engine);
  checked(engine).RegisterObjectMethod("System", "Object@+ makeOddity(const Oddity_Desc &)",
                                       asFUNCTION(systemMakeOddity), asCALL_CDECL_OBJFIRST);
  registerSystemDesc(engine);
  checked(engine).RegisterGlobalFunction("System@+ makeSystem(Galaxy@, const System_Desc &)", asFUNCTION(makeSystemIn),
                                         asCALL_CDECL);
  checked(engine).RegisterObjectMethod("Galaxy", "System@+ createSystem(const System_Desc &)",
                                       asMETHOD(objGalaxy, createSystem), asCALL_THISCALL);
}
