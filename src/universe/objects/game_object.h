// Game objects: every simulated thing in the galaxy (stars, planets, ships
// and stations, comets and asteroids, star systems, the galaxy itself).
//
// Objects form a tree: the galaxy contains systems, a system its stars,
// planets, ships and oddities, and a planet or ship its docked objects. Each
// object holds a counted reference on its container, and the container one
// on each child. Objects are never deleted directly: destruction is asked
// for with a flag, carried out by the object's next tick, and the memory
// goes with the last reference (see object_registry.h).
//
// Threads: an object is ticked only by the worker that owns its star system,
// under that system's lock. Code elsewhere takes the lock first with
// lockContainer / tryLockContainer and gives it back with unlockContainer.
// The flag word changes only by atomic OR and AND, the reference count only
// by interlocked operations.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>

#include <irrArray.h>
#include <irrString.h>
#include <vector3d.h>

#include "universe/objects/held_pointer.h"
#include "universe/objects/object_states.h"

class SaveStream;
class constructible;
class empire;
class generic_object;
class solarSystem;
class timed_effect;
class graphicsObject;
class EffectEvent;
class SysRef;
struct effect_data;
struct Stats;
using StatsList = irr::core::array<Stats>;

using vector3df = irr::core::vector3df;

// Kinds of game object (getType, and the first field of every record).
enum ObjectType : int {
  OT_Generic = 0,
  OT_Planet = 1,
  OT_Star = 2,
  OT_Hulled = 3,
  OT_Oddity = 4,
  OT_System = 5,
  OT_Galaxy = 6,
};

// Bits of the flag word.
enum ObjectFlag : uint32_t {
  FLAG_VALID = 0x01,           // alive; cleared once, by destroyNow
  FLAG_DESTROY = 0x02,         // destruction asked for; the next tick does it
  FLAG_IN_FLEET = 0x04,        // a fleet member
  FLAG_REPEAT_QUEUE = 0x08,    // completed build items are queued again
  FLAG_ALWAYS_VISIBLE = 0x10,  // every empire sees the object
  FLAG_QUIET_DESTROY = 0x20,   // what the tick hands destroyNow
  FLAG_REPARENT = 0x40,        // the container checks whether it has left
};

// A movement handler: moves its object on each tick. The movers themselves
// (mobile, orbit, network mirror) build on this interface.
class MoveHandler {
 public:
  virtual ~MoveHandler() = default;
  // 1 for the orbit movers, 2 for the mobile movers.
  virtual int getKind() const = 0;
  // Advances `object` (the owner) by one step.
  virtual void tick(float seconds, generic_object& object) = 0;
  // How far the object will have moved after `t` more seconds.
  virtual vector3df& getDisplacement(vector3df& out, float t, generic_object& object);
  // Where the object will be after `t` seconds.
  virtual vector3df& getPredictedPosition(vector3df& out, float t, generic_object& object);
  // The rotation (degrees) the object shows `t` seconds from now.
  virtual vector3df& getFacing(vector3df& out, float t, generic_object& object);
  // Writes the handler's save record.
  virtual void write(SaveStream& stream) = 0;
  // Destroys the handler and gives its memory back to its pool.
  virtual void release() { delete this; }
};

class Order;
// The AI of an object: its order queue. Reference counted (1 at
// construction); each queue operation takes ownership of the order given.
class ObjectAI {
 public:
  virtual ~ObjectAI() = default;
  virtual void addOrder(Order* order, bool clearFirst) = 0;
  virtual void insertBeforeAutomation(Order* order) = 0;
  virtual void appendOrder(Order* order) = 0;
  virtual void clearOrders(bool all) = 0;
  virtual bool hasOrderOfType(int type) const = 0;
  virtual bool hasOrder(const Order* order) const = 0;
  virtual void removeOrder(Order* order) = 0;
  virtual uint32_t getOrderCount() const = 0;
  virtual Order* getOrder(uint32_t index) const = 0;
  virtual void tick() = 0;
  virtual float getTargetWeight(generic_object* target) = 0;
  virtual bool orbitTargets(generic_object* target) = 0;

  void grab() { refCount.fetch_add(1); }
  // Lets go of the reference that an object holds on its AI (setAI and the
  // object's end call it). A plain AI just releases it; a fleet first hands
  // its command on (FleetAI::drop).
  virtual bool drop() { return release(); }
  // Gives back one reference; deletes the AI on the last one (true then).
  bool release() {
    if (refCount.fetch_sub(1) != 1)
      return false;
    delete this;
    return true;
  }
  // Writes the AI's save record: the byte 0 for no AI.
  virtual void save(SaveStream& stream) const;

  std::atomic<uint32_t> refCount{1};
};

// An object docked inside another: the object, the mover it had when it
// docked (its own mover is null meanwhile) and the dock space it takes.
struct StoredObject {
  generic_object* object = nullptr;
  MoveHandler* mover = nullptr;
  float space = 0.0f;
};

// The filter of generic_object::undockAll.
class OnUnDock {
 public:
  virtual ~OnUnDock() = default;
  // Whether `object`, about to be released, is to be released.
  virtual bool release(generic_object* object) = 0;
};

class generic_object {
 public:
  // Takes the next UID, registers the object and holds its first reference
  // for the creator. `systemStats` is set only for star systems.
  generic_object(empire* owner, StatsList* systemStats, MoveHandler* mover);
  generic_object(const generic_object&) = delete;
  generic_object& operator=(const generic_object&) = delete;

  // Record of the kind's own fields; the base writes nothing.
  virtual void writeOwnFields(SaveStream& stream);
  // Reads what writeOwnFields wrote, after the base record has been read
  // into the object (at the stream's version); the base reads nothing.
  virtual void readOwnFields(SaveStream& stream);
  virtual void setBaseMass(double mass) { baseMass = mass; }
  virtual double getBaseMass() const { return baseMass; }
  // Docked mass + own mass + a tenth of the cargo in use.
  virtual double getMass() const;
  virtual void setLinkedObject(generic_object* object);
  // `point` (relative to this object's container) made absolute.
  virtual vector3df& toAbsolutePosition(vector3df& out, const vector3df& point) const;
  // Starts a timed effect on this object, caused by `source`; false (and
  // nothing kept) when it is disabled from the start or has no duration.
  virtual bool addTimedEffect(const effect_data& values, float duration, float delay, generic_object* source,
                              SysRef* eventSource, SysRef* eventDest);
  // Build queue. On a connected network client items are not kept.
  virtual void addConstructible(constructible* item);
  virtual void removeConstructible(constructible* item);
  virtual void clearBuildQueue();
  // Moves the item at `from` to `to` (clamped to the last index).
  virtual void moveConstructible(unsigned from, unsigned to);
  // Docking (docking.cpp). dockObject takes `object` out of the tree into
  // `docked`, keeping its mover aside; false when its radius squared is not
  // below the free dock space (a client accepts every dock). undockObject
  // puts the entry at `index` back beside this object and queues the
  // "Fuel" transfer; nothing out of range. undockAll undocks, in index
  // order, every entry the filter releases (all with a null filter).
  bool dockObject(generic_object* object);
  void undockObject(unsigned index);
  void undockAll(OnUnDock* filter);
  virtual bool getRepeatQueue() const { return hasFlag(FLAG_REPEAT_QUEUE); }
  virtual void setRepeatQueue(bool repeat);
  virtual int getType() const { return OT_Generic; }
  // Sends a mobile mover (or a network mirror) towards `point`, arriving
  // with `frameVelocity`; nothing for other movers.
  virtual void setDestination(const vector3df& point, vector3df frameVelocity);
  virtual void setDestination(const vector3df& point);
  // Adds the event's amount (its time) to the "Damage" state; reaching the
  // state's maximum asks for destruction (not quietly).
  virtual void damage(EffectEvent& event);
  virtual void setOwner(empire* newOwner);
  virtual bool isOwnerVisibleTo(const empire* viewer, bool force) const;
  virtual bool isVisibleTo(const empire* viewer) const;
  virtual void setContainer(generic_object* newContainer);
  // Hands `child` to this object's container once it is out of reach.
  virtual void checkChildLeaving(generic_object* child);
  virtual void addChild(generic_object* child);
  virtual void removeChild(generic_object* child);
  virtual void tick(float seconds);
  virtual void destroyNow(bool quiet);
  // Deletes the object (its class's memory goes back to its pool).
  virtual void deleteThis();
  // Locks the star system (or galaxy) containing the object, following the
  // object when it moves meanwhile. Nothing in single-threaded mode.
  virtual void lockContainer();
  virtual bool tryLockContainer();
  virtual void unlockContainer();

  void grab() { refCount.fetch_add(1, std::memory_order_relaxed); }
  // Gives back a reference; on the last one the object is released (and
  // true returned).
  bool drop();

  bool isValid() const { return hasFlag(FLAG_VALID); }
  bool hasFlag(uint32_t flag) const { return (flags.load() & flag) != 0; }
  void setFlag(uint32_t flag) { flags.fetch_or(flag); }
  void clearFlag(uint32_t flag) { flags.fetch_and(~flag); }
  // Asks for destruction in the next tick.
  void destroy(bool quiet);
  // The last hit is less than 4000 ms old.
  bool isUnderAttack() const;
  // True stores the engine's real time as the last hit, false "never".
  void setLastAttacked(bool attacked);
  vector3df getPosition() const;
  empire* getOwner() const { return owner; }
  // Replaces the AI, holding a reference on the new one.
  void setAI(ObjectAI* newAI);
  // True while the object moves between two containers: it is then in
  // neither's children yet, and its container is already the new one.
  bool inTransit() const { return transit.load(); }

  // lockContainer, giving the system it locked (null when none).
  solarSystem* lockContainerSystem();

  // The star system whose lock guards this object: its container when that
  // is a star system or the galaxy, else null.
  solarSystem* containingSystem() const;

  StateList states;
  uint8_t statesChanged = 0;
  irr::core::array<timed_effect*> timedEffects;
  irr::core::array<heldPointer<generic_object>> children;
  std::atomic<generic_object*> container{nullptr};
  MoveHandler* mover = nullptr;
  StatsList* systemStats = nullptr;
  ObjectAI* ai = nullptr;
  empire* owner = nullptr;
  generic_object* nearObject = nullptr;
  uint32_t nearScanIndex = 0;
  std::atomic<int32_t> refCount{1};
  std::atomic<uint32_t> flags{FLAG_VALID};
  double baseMass = 1.0;
  double dockedMass = 0.0;
  double localTime = 0.0;
  uint32_t lastAttacked = 0;
  uint32_t uid = 0;
  graphicsObject* graphics = nullptr;
  irr::core::array<constructible*> buildQueue;
  // A client's copy of the server's full queue lengths (object details,
  // 126): its build items and its orders, of which the client holds at most
  // the first 255 and 31.
  uint32_t remoteQueueLength = 0;
  uint32_t remoteOrderCount = 0;
  float cargoSpace = 0.0f;
  float cargoUsed = 0.0f;
  float dockSpace = 0.0f;
  float dockUsed = 0.0f;
  generic_object* linkedObject = nullptr;
  irr::core::array<StoredObject> docked;
  irr::core::stringw name;
  float radius = 1.0f;
  vector3df position;
  vector3df rotation;
  vector3df velocity;
  vector3df acceleration;

 protected:
  // Load constructor: reads the base record (object_record.h) at the
  // stream's version and keeps `container` (grabbed) as the container. It
  // does not throw: an error is kept for finishObjectLoad, which joins the
  // object to its container once the kind is complete, or gives it up.
  generic_object(SaveStream& stream, generic_object* container);
  // The kind's own fields (readOwnFields), unless the base record failed;
  // an error is kept as the load constructor's. Called at the end of a
  // kind's load constructor.
  void loadOwnFields(SaveStream& stream);

  virtual ~generic_object();

  // What a ship adds to its owner's "str" (its hull scale squared when the
  // hull has more than 4 slots); 0 for everything else.
  virtual float strengthStat() const { return 0.0f; }

 private:
  void tickBuildQueue(float seconds);
  // Pushes this object and an overlapping neighbour in its star system
  // apart, when it moves freely under a mobile mover.
  void pushApartFromNeighbour(float seconds);
  // Advances the timed effects (last first); false when the object stopped
  // being valid meanwhile.
  bool tickTimedEffects(float seconds);
  void releaseTimedEffects();
  // Adds `sign` x this object's share to `owner`'s statistics in `system`.
  void countInSystemStats(generic_object* system, empire* statsOwner, float sign);
  void sendOwnerChange(const empire* newOwner);
  void sendDestroyed();

  // The base record, read by the load constructor (object_record.cpp).
  void readBaseRecord(SaveStream& stream);
  friend void finishLoadedObject(generic_object* object);

  std::atomic<bool> transit{false};
  // Set while the timed effects run: a destruction meanwhile leaves them to
  // the tick, which may still be inside one of them.
  bool effectsTicking_ = false;
  // What stopped the load constructor's reading; null once read whole.
  std::exception_ptr loadError_;
};

// True for a mobile mover that is not circling in a park orbit: its object
// may be pushed aside by overlapping neighbours.
bool movesFreely(const MoveHandler* mover);

// A star system, or the galaxy, when `object` is one; else null.
solarSystem* asSystemLock(generic_object* object);

// The engine's real time in milliseconds: the engine timer once the device
// exists, else a clock that tests set.
uint32_t objectRealTimeMs();
void setObjectTestClock(uint32_t ms);
