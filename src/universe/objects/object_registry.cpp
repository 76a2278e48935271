#include "universe/objects/object_registry.h"

#include <map>

#include "app/base/config.h"
#include "app/base/startup.h"
#include "core/locks.h"
#include "core/log.h"
#include "core/net_encoders.h"
#include "universe/objects/game_object.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/system_locks.h"

std::atomic<uint32_t> nextUid{1};
std::atomic<uint32_t> uidHighWater{1};

namespace {

struct Registry {
  ReadWriteLock lock;
  std::map<uint32_t, generic_object*> objects;
};

Registry& registry() {
  static Registry* instance = new Registry();  // lives until exit, for late releases
  return *instance;
}

// A client's galaxy is made for the transfer with UID 1, whatever the UID of
// the server's own (a map that fell back to the empty galaxy, or a save of
// such a game, has another): every message names a galaxy as 1.
uint32_t objectUID(const generic_object* object) {
  return object->getType() == OT_Galaxy ? kNetGalaxyUid : object->uid;
}

struct NetObjectHookSetup {
  NetObjectHookSetup() { setNetObjectHooks({objectUID}); }
} netObjectHookSetup;

// The deletion line of "-debuginfo", by kind.
void logDeletion(const generic_object* object) {
  const void* address = object;
  const wchar_t* objectName = object->name.c_str();
  // "%p" prints its own "0x".
  switch (object->getType()) {
    case OT_Planet:
      logPrint("Deleting Planet '%ls' located at %p\n", objectName, address);
      break;
    case OT_Star:
      logPrint("Deleting Star   '%ls' located at %p\n", objectName, address);
      break;
    case OT_System:
      logPrint("Deleting System '%ls' located at %p\n", objectName, address);
      break;
    case OT_Galaxy:
      logPrint("Deleting Galaxy located at %p\n", address);
      break;
    default:
      logPrint("Deleting Object '%ls' located at %p\n", objectName, address);
      break;
  }
}

// Deletion lines print only at the information (verbose) level, 0.
constexpr int kInformationLevel = 0;

}  // namespace

uint32_t allocateUid() { return nextUid.fetch_add(1); }

namespace {

// The UID that the next object made on this thread takes; 0 for none.
thread_local uint32_t claimedUid = 0;

// value = max(value, floor), for the counters that only grow.
void raiseTo(std::atomic<uint32_t>& value, uint32_t floor) {
  uint32_t seen = value.load();
  while (seen < floor && !value.compare_exchange_weak(seen, floor)) {
  }
}

}  // namespace

// A claimed UID is held in the registry by an empty entry until its object
// takes it: no other object can take it meanwhile, and a UID that is held
// cannot be claimed.
ClaimedUid::ClaimedUid(uint32_t uid) : previous_(claimedUid) {
  if (uid == 0)
    return;
  Registry& reg = registry();
  ScopedWriteLock guard(reg.lock);
  if (reg.objects.emplace(uid, nullptr).second) {
    uid_ = uid;
    claimedUid = uid;
  }
}

ClaimedUid::~ClaimedUid() {
  if (uid_ != 0 && claimedUid == uid_) {  // never taken: the entry goes
    Registry& reg = registry();
    ScopedWriteLock guard(reg.lock);
    const auto found = reg.objects.find(uid_);
    if (found != reg.objects.end() && found->second == nullptr)
      reg.objects.erase(found);
  }
  claimedUid = previous_;
}

bool ClaimedUid::held() const { return uid_ != 0; }

uint32_t registerNewObject(generic_object* object) {
  Registry& reg = registry();
  ScopedWriteLock guard(reg.lock);
  const uint32_t claimed = claimedUid;
  if (claimed != 0) {
    claimedUid = 0;
    generic_object*& slot = reg.objects[claimed];
    if (slot != nullptr && slot != object)
      logError("Object UID %u is already taken by '%ls'\n", claimed, slot->name.c_str());
    slot = object;
    if (claimed != UINT32_MAX)
      raiseTo(nextUid, claimed + 1);
    raiseTo(uidHighWater, claimed);
    return claimed;
  }
  // Past the UIDs that objects of another process's numbering (a server's)
  // hold already.
  for (;;) {
    const uint32_t uid = allocateUid();
    if (uid != 0 && reg.objects.emplace(uid, object).second)
      return uid;
  }
}

void registerUid(uint32_t uid, generic_object* object) {
  Registry& reg = registry();
  ScopedWriteLock guard(reg.lock);
  generic_object*& slot = reg.objects[uid];
  if (slot != nullptr && slot != object)
    logError("Object UID %u is already taken by '%ls'; '%ls' takes it over\n", uid, slot->name.c_str(),
             object != nullptr ? object->name.c_str() : L"");
  slot = object;
}

void unregisterUid(uint32_t uid, const generic_object* object) {
  Registry& reg = registry();
  ScopedWriteLock guard(reg.lock);
  const auto found = reg.objects.find(uid);
  if (found != reg.objects.end() && found->second == object)
    reg.objects.erase(found);
}

generic_object* getObjectByUID(uint32_t uid) {
  Registry& reg = registry();
  ScopedReadLock guard(reg.lock);
  const auto found = reg.objects.find(uid);
  return found != reg.objects.end() ? found->second : nullptr;
}

generic_object* getObjectByUIDRef(uint32_t uid) {
  Registry& reg = registry();
  ScopedReadLock guard(reg.lock);
  const auto found = reg.objects.find(uid);
  if (found == reg.objects.end())
    return nullptr;
  if (found->second != nullptr)
    found->second->grab();
  return found->second;
}

void noteLoadedUid(uint32_t value) {
  nextUid.store(value);
  uint32_t mark = uidHighWater.load();
  while (value > mark && !uidHighWater.compare_exchange_weak(mark, value)) {
  }
}

void setObjectRef(generic_object*& slot, generic_object* object) {
  if (object != nullptr)
    object->grab();
  generic_object* old = slot;
  slot = object;
  if (old != nullptr)
    old->drop();
}

bool destroyObjectByUID(uint32_t uid) {
  generic_object* object = getObjectByUIDRef(uid);
  if (object == nullptr)
    return false;
  // The system locked, not the container afterwards: destruction takes the
  // object out of it.
  solarSystem* system = object->lockContainerSystem();
  object->destroyNow(false);
  unlockSolarSystem(system);
  return object->drop();
}

void reportUndeletedObjects() {
  Registry& reg = registry();
  ScopedReadLock guard(reg.lock);
  if (reg.objects.empty())
    return;
  logPrint("%u objects have not been deleted\n", static_cast<unsigned>(reg.objects.size()));
  for (const auto& entry : reg.objects) {
    const generic_object* object = entry.second;
    if (object == nullptr)
      continue;
    logPrint(" %ls (%i refs)%s\n", object->name.c_str(), static_cast<int>(object->refCount.load()),
             entry.first != object->uid ? " (mismatched UID!)" : "");
  }
}

void clearObjectRegistry() {
  Registry& reg = registry();
  ScopedWriteLock guard(reg.lock);
  reg.objects.clear();
}

uint32_t registeredObjectCount() {
  Registry& reg = registry();
  ScopedReadLock guard(reg.lock);
  return static_cast<uint32_t>(reg.objects.size());
}

void releaseObject(generic_object* object) {
  unregisterUid(object->uid, object);
  if (debugInfo && currentLogLevel() <= kInformationLevel)
    logDeletion(object);
  object->deleteThis();
}
