// Damage orders: in which order a design's placed sub-systems take damage,
// seen from four points around the design. Each order is sorted once, when
// the layout is made or loaded, with a heap sort whose order of equal
// entries is part of the design's behaviour.
#pragma once

#include <irrArray.h>

#include "design/hull_list.h"

namespace irr {
namespace core {

// A comparison for heapsortWith: true when `a` goes before `b`.
template <class T>
class heapCompare {
 public:
  virtual bool compare(const T& a, const T& b) const = 0;
  virtual ~heapCompare() = default;
};

}  // namespace core
}  // namespace irr

// Which definition priority orders the entries.
enum DamagePriority { DP_EquipsTo, DP_PreDamageOrder };

// a before b when a's priority is less than b's (no tie-break).
class sortDamageList : public irr::core::heapCompare<hull_list::damageOrderEntry> {
 public:
  explicit sortDamageList(DamagePriority priority) : priority_(priority) {}
  bool compare(const hull_list::damageOrderEntry& a, const hull_list::damageOrderEntry& b) const override;

 private:
  DamagePriority priority_;
};

// As sortDamageList; equal priorities go by the distance to (x, y) less
// half the square root of the instance's scale.
class sortDamageListPositional : public irr::core::heapCompare<hull_list::damageOrderEntry> {
 public:
  sortDamageListPositional(const hull_list* layout, DamagePriority priority, float x, float y)
      : layout_(layout), priority_(priority), x_(x), y_(y) {}
  bool compare(const hull_list::damageOrderEntry& a, const hull_list::damageOrderEntry& b) const override;

 private:
  const hull_list* layout_;
  DamagePriority priority_;
  float x_, y_;
};

// The engine's heap sort with the comparison as a parameter (not stable).
void heapsortWith(irr::core::array<hull_list::damageOrderEntry>& entries,
                  const irr::core::heapCompare<hull_list::damageOrderEntry>& before);

// Builds the layout's eight damage orders from list A (all placed
// sub-systems) and list B (those with an OnGlobalDamage effect).
void buildDamageOrders(hull_list* layout, const irr::core::array<hull_list::damageOrderEntry>& all,
                       const irr::core::array<hull_list::damageOrderEntry>& preDamage);
