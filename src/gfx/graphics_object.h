// The scene-side mirror of one game object. Today it carries only what the
// selection set needs: its reference count, whether it is live in the scene
// (attached), whether it is selected, and the game object it mirrors. A
// server without graphics makes none; objects then hold a null `graphics`.
//
// References: the creator holds the first one. The count changes only by
// interlocked operations, since references are taken and given back on
// several threads. The last release logs "Deleting graphics object for
// '<owner's name>'" at the information level when "-debuginfo" was given,
// and deletes the object through its virtual destructor.
#pragma once

#include <atomic>
#include <cstdint>

class generic_object;

class graphicsObject {
 public:
  // Holds one reference on `owner` (may be null) until it is destroyed.
  explicit graphicsObject(generic_object* owner);
  graphicsObject(const graphicsObject&) = delete;
  graphicsObject& operator=(const graphicsObject&) = delete;

  void grab() { refCount.fetch_add(1); }
  // Gives back one reference; on the last one the object is deleted (and
  // true returned).
  bool drop();

  generic_object* getOwner() const { return owner; }

  std::atomic<int32_t> refCount{1};
  std::atomic<bool> attached{true};  // cleared once, when it leaves the scene
  std::atomic<bool> selected{false};  // a member of the selection set

 protected:
  virtual ~graphicsObject();

 private:
  generic_object* owner;  // counted
};
