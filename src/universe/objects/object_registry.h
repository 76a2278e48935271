// The object registry: every live game object by its 32-bit UID.
//
// UIDs come from one process-wide counter that every new object takes and
// increments; 0 names no object. Loading an object puts the counter at the
// saved UID + 1 and raises a high-water mark, so that after a whole save the
// counter can continue above the highest loaded UID. The registry holds no
// reference: an entry goes when the object's last reference is dropped.
#pragma once

#include <atomic>
#include <cstdint>

class generic_object;

// The UID by which network messages name a galaxy: a joining client's
// galaxy is made with it.
constexpr uint32_t kNetGalaxyUid = 1;

// The UID the next object takes; 1 when the process starts.
extern std::atomic<uint32_t> nextUid;
// The highest loaded UID + 1; set to 1 at the start of every game session.
extern std::atomic<uint32_t> uidHighWater;

// Takes the next UID.
uint32_t allocateUid();

// While one is alive, the next object that the calling thread makes takes
// `uid` instead of a new one (a client's copy of an object keeps the
// server's UID). The UID is held from the start: objects made by other
// threads meanwhile never take it. A UID that a live object (or another
// claim) holds is not claimed: held() is false and nothing changes. Taking
// the UID raises the counter past it (the next object made gets at least
// uid + 1) and the high-water mark to at least `uid`.
class ClaimedUid {
 public:
  explicit ClaimedUid(uint32_t uid);
  ~ClaimedUid();
  ClaimedUid(const ClaimedUid&) = delete;
  ClaimedUid& operator=(const ClaimedUid&) = delete;
  bool held() const;

 private:
  uint32_t previous_;
  uint32_t uid_ = 0;
};
// Registers a new object: under the calling thread's claimed UID when one
// waits, else under the next UID of the counter that no object holds. The
// UID given.
uint32_t registerNewObject(generic_object* object);
// Maps `uid` to `object`. A UID that another live object holds is taken
// over, with a logged error.
void registerUid(uint32_t uid, generic_object* object);
// Removes the entry of `uid` when it still maps to `object`.
void unregisterUid(uint32_t uid, const generic_object* object);
// The live object with `uid`, or null. Adds no reference: the caller must
// know the object stays alive (it holds a reference or its system's lock).
generic_object* getObjectByUID(uint32_t uid);
// As getObjectByUID, with a reference taken for the caller to drop.
generic_object* getObjectByUIDRef(uint32_t uid);
// Counter = `value`, high-water mark = max(mark, value).
void noteLoadedUid(uint32_t value);
// Holds `object` in `slot`, dropping what the slot held.
void setObjectRef(generic_object*& slot, generic_object* object);
// Destroys the object with `uid` under its star system's lock; true when
// the object was deleted with it.
bool destroyObjectByUID(uint32_t uid);
// Logs every object still registered (session end); nothing when empty.
void reportUndeletedObjects();
// Empties the registry (the objects are not touched).
void clearObjectRegistry();
// Entries in the registry.
uint32_t registeredObjectCount();

// The release of an object whose last reference went: unregisters it,
// logs its deletion with "-debuginfo", and deletes it.
void releaseObject(generic_object* object);
