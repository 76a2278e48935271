// Base of the shared game records that their holders keep by counted
// reference (hull layouts, treaties and their clauses).
//
// A record starts with one reference, its maker's. grab() adds a reference
// and drop() releases one; the drop that releases the last reference deletes
// the record. The count is atomic, so holders on different threads (ships of
// one design ticked by different galaxy threads, the owner's layout table,
// build queues) may grab and drop at any time without a shared lock. A holder
// that swaps one record for another grabs the new one before dropping the
// old, so a record that is both never reaches zero in between.
#pragma once

#include <atomic>
#include <cstdint>

class refCounted {
 public:
  refCounted() = default;
  refCounted(const refCounted&) = delete;
  refCounted& operator=(const refCounted&) = delete;

  void grab() const { references_.fetch_add(1, std::memory_order_relaxed); }

  // Releases one reference; true when it was the last and the record is gone.
  bool drop() const {
    // Release, so every holder's writes happen before the deletion; acquire,
    // so the deleting thread sees them.
    if (references_.fetch_sub(1, std::memory_order_acq_rel) != 1)
      return false;
    delete this;
    return true;
  }

  // The number of references held now (another thread may change it at once).
  uint32_t getReferenceCount() const { return references_.load(std::memory_order_relaxed); }

 protected:
  virtual ~refCounted() = default;

 private:
  mutable std::atomic<uint32_t> references_{1};
};
