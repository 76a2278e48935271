// A counted reference to a game object (or anything with grab and drop):
// it grabs what it is given and drops it when it lets go.
#pragma once

template <class T>
class heldPointer {
 public:
  heldPointer() = default;
  heldPointer(T* object) : object_(object) {  // NOLINT: implicit by design
    if (object_ != nullptr)
      object_->grab();
  }
  heldPointer(const heldPointer& other) : heldPointer(other.object_) {}
  heldPointer& operator=(const heldPointer& other) {
    set(other.object_);
    return *this;
  }
  heldPointer& operator=(T* object) {
    set(object);
    return *this;
  }
  ~heldPointer() { set(nullptr); }

  // Grabs `object` before dropping the one held, so that re-setting the
  // same object never releases it.
  void set(T* object) {
    if (object != nullptr)
      object->grab();
    T* old = object_;
    object_ = object;
    if (old != nullptr)
      old->drop();
  }

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  operator T*() const { return object_; }  // NOLINT: implicit by design

 private:
  T* object_ = nullptr;
};
