// Scope guards for game objects: a reference held on an object found by
// UID, and an object's lock (the lock of its container system). Both give
// back what they took on every path out of the scope.
#pragma once

#include <cstdint>

#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"

// Holds one reference on the object with a UID; null when there is none
// (UID 0 names no object).
class HeldObject {
 public:
  explicit HeldObject(uint32_t uid) : object_(uid != 0 ? getObjectByUIDRef(uid) : nullptr) {}
  ~HeldObject() {
    if (object_ != nullptr)
      object_->drop();
  }
  HeldObject(const HeldObject&) = delete;
  HeldObject& operator=(const HeldObject&) = delete;
  generic_object* get() const { return object_; }

 private:
  generic_object* object_;
};

// Holds an object's lock for a scope.
class ObjectLock {
 public:
  explicit ObjectLock(generic_object& object) : object_(object) { object_.lockContainer(); }
  explicit ObjectLock(generic_object* object) : ObjectLock(*object) {}
  ~ObjectLock() { object_.unlockContainer(); }
  ObjectLock(const ObjectLock&) = delete;
  ObjectLock& operator=(const ObjectLock&) = delete;

 private:
  generic_object& object_;
};
