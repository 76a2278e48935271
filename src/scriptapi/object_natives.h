// The natives behind the script types State and AIStance and behind
// Object's state and stance members (registered by registerObjectBindings).
// Each takes its object first, as the engine passes it; misuse raises the
// script exception named at the function and gives the neutral value.
//
// Locks. The state list is sorted on demand by a lookup, so every native
// that looks a state up, adds one or reads one by index holds the object's
// lock (a star system or the galaxy its own lock) around it; only the state
// count is read without one. A State's own amounts are plain fields, read
// and written without a lock, as the properties do.
//
// Client forms hide other empires' data: a state is visible to the client
// engine when its resource is visible to all or the object belongs to the
// active empire.
#pragma once

#include <atomic>
#include <cstdint>

#include <vector3d.h>

#include "universe/objects/object_states.h"

using vector3df = irr::core::vector3df;

class ScriptString;
class empire;
class generic_object;

namespace objectnatives {

// --- State ---
float stateAvailable(const State* state);
float stateFreeSpace(const State* state);
// max - val, plus the object's free cargo space when the resource may be
// cargo; max - val without an object.
float stateTotalFreeSpace(const State* state, const generic_object* object);
// Adds `amount` up to the state's maximum and the overflow into the
// object's cargo space (lost when the resource may not be cargo or the
// hold is full). Computed in double, stored as floats. Returns what was
// taken in. `object` is a handle argument whose reference is given back.
// Null object: "Null Object@ when adding a resource", 0, nothing changed.
float stateAdd(State* state, float amount, generic_object* object);
// Takes `amount` from the cargo share first, then from `val` (which may go
// below 0). Returns the amount taken out: always `amount`. Null object:
// "Null Object@ when consuming a resource", 0, nothing changed.
float stateConsume(State* state, float amount, generic_object* object);

// --- Object's states ---
// The state of that name, added with its resource's defaults when missing.
State* addedState(generic_object* object, const ScriptString& name);
// The state of that name, or null.
State* foundState(generic_object* object, const ScriptString& name);
// The same for the client engine: null for a state the active empire may
// not see. The first call of the process logs a warning, once.
State* foundStateForClient(generic_object* object, const ScriptString& name);
// Writes val, max, required and inCargo of the named state and returns true;
// false, with the four left as they were, when there is no such state (or,
// for the client, none it may see).
bool stateValues(generic_object* object, const ScriptString& name, float& val, float& max, float& required,
                 float& inCargo);
bool stateValuesForClient(generic_object* object, const ScriptString& name, float& val, float& max,
                          float& required, float& inCargo);
bool hasState(generic_object* object, const ScriptString& name);
bool hasStateForClient(generic_object* object, const ScriptString& name);
uint32_t stateCount(const generic_object* object);
// The state at `index` of the name order; past the end:
// "Accessed storage out-of-bounds", null.
State* stateAt(generic_object* object, uint32_t index);
// A new string with that state's name; past the end the same exception,
// null.
ScriptString* stateNameAt(generic_object* object, uint32_t index);

// --- stance (the script enum AIStance, as an int) ---
// The AI's stance; AIS_Engage for an object without one.
int stance(generic_object* object);
// Server: stores the stance in the AI when there is one; AIS_HoldFire also
// clears a ship's targets, with or without an AI. A value that is no stance
// changes nothing.
void setStance(generic_object* object, int value);
// Client: for objects of the active empire only. Connected to a server, it
// sends the change (139, sub-kind 2) and stores it in the local AI;
// otherwise it acts as the server form.
void setStanceForClient(generic_object* object, int value);

// The warning the first client-engine getState logs.
constexpr char kClientGetStateWarning[] = "Warning: Using Object@.getState(string@ state) from client/gui scripts";

}  // namespace objectnatives

// While raised (the galaxy is being set up, before the system threads
// run), the statistics natives take no lock.
extern std::atomic<bool> noObjectLocking;

namespace objectnatives {

// --- identity, damage and destruction ---
float mass(const generic_object* object);
// "Empty strings are not valid object names" for an empty name.
void setName(generic_object* object, const ScriptString& name);
generic_object* parent(generic_object* object);
bool globalVisibility(const generic_object* object);
void setGlobalVisibility(generic_object* object, bool visible);
// "#link:o<uid>#".
ScriptString* makeLink(const generic_object* object);
// A planet's or a ship's repair; nothing for other kinds.
void repair(generic_object* object, float amount);
// Asks for destruction: not quiet, or quiet as given.
void destroy(generic_object* object);
void destroyQuietly(generic_object* object, bool quiet);
// Asks the container to check whether the object has left it.
void reparent(generic_object* object);
bool underAttack(const generic_object* object);
// Records an attack now (the object clock's real time).
void setUnderAttack(generic_object* object);

// --- statistics: of the empire (null: the default empire) in the
// object's statistics table; a null name raises "Null string@ when
// specifying stat" ---
void setStat(generic_object* object, empire* emp, const ScriptString* name, float value);
float stat(generic_object* object, empire* emp, const ScriptString* name);

// --- cargo and ship bay: in use, then capacity ---
void cargoValues(const generic_object* object, float& used, float& capacity);
void shipBayValues(const generic_object* object, float& used, float& capacity);

}  // namespace objectnatives

class hull_list;

namespace objectnatives {

// --- build queue ---
// Progress (0 to 1), display name and type text of the item at `index`:
// 0.0, or null, past the end.
float constructionProgress(generic_object* object, uint32_t index);
float firstConstructionProgress(generic_object* object);
ScriptString* constructionName(generic_object* object, uint32_t index);
ScriptString* firstConstructionName(generic_object* object);
ScriptString* constructionType(generic_object* object, uint32_t index);
ScriptString* firstConstructionType(generic_object* object);
uint32_t constructionQueueSize(const generic_object* object);
// 0 for an object that is not the active empire's.
uint32_t constructionQueueSizeForClient(const generic_object* object);
// A network client asks the server (118, sub-kind 3) and removes its copy's
// item too; nothing past the end.
void removeConstruction(generic_object* object, uint32_t index);
// A network client asks the server (118, sub-kind 2); then the item moves
// in the local queue (a place past the end is the last; an item past the
// end, or moved onto itself, stays).
void moveConstruction(generic_object* object, uint32_t from, uint32_t to);
// Paid and total of the named cost of the item at `index`; 0 and 0 for an
// unknown cost or an index past the queue.
void constructionCost(generic_object* object, uint32_t index, const ScriptString& name, float& paid,
                      float& total);
void clearBuildQueue(generic_object* object);
void setRepeatQueue(generic_object* object, bool repeat);
// Only for the active empire's objects; a network client asks the server
// (118, sub-kind 5) and sets its copy's flag too.
void setRepeatQueueForClient(generic_object* object, bool repeat);
bool repeatQueue(const generic_object* object);
// Queues `count` ships of `layout` (at most kMaxMakeShipCount). Nothing for
// a null layout or one of another empire than the object's owner. A network
// client asks the server (117, sub-kind 4: one message with the count
// towards protocol versions above 6, else one message per ship) and shows
// placeholders named after the layout; otherwise, for an object of the
// active empire only, the queue gets items of the owner's newest revision
// of the layout.
void makeShips(generic_object* object, const hull_list* layout, uint32_t count);
void makeShip(generic_object* object, const hull_list* layout);
// Undocks every docked object (the first place as often as there were
// objects); the client form only for the active empire's objects.
void undockAll(generic_object* object);
void undockAllForClient(generic_object* object);

// The count of one makeShip: the request carries it as a u16.
constexpr uint32_t kMaxMakeShipCount = 65535;

}  // namespace objectnatives

namespace objectnatives {

// --- movement ---
void setDestination(generic_object* object, const vector3df& point);
// Where the object is heading: a mobile mover's valid target's position,
// else its point; a client's mirror mover the same while it is active, else
// the object's own position; (0, 0, 0) for other movers.
vector3df destination(generic_object* object);
float thrust(const generic_object* object);
// A mobile mover's thrust; nothing for other movers.
void setThrust(generic_object* object, float value);
// The body the object circles: a parked mobile mover's park orbit while it
// is in use, or an active orbit mover's centre; else null.
generic_object* orbitedBody(generic_object* object);
// Parks a mobile mover in orbit around `body` unless the chain of orbits
// from `body` is too long or leads back to the object.
void orbitAround(generic_object* object, generic_object* body);
bool parked(const generic_object* object);
// A network client asks the server (139, sub-kind 3) and changes nothing
// itself; otherwise a mobile mover parks or unparks.
void setParked(generic_object* object, bool park);

}  // namespace objectnatives

class solarSystem;

namespace objectnatives {

// The first star system (kind 5) from the object itself up through its
// containers, with a reference; null when there is none (the galaxy).
solarSystem* currentSystem(generic_object* object);
// The object of that UID with a reference, or null; for the client engine
// also null when the active empire cannot see it.
generic_object* objectByIDForClient(uint32_t uid);

}  // namespace objectnatives
