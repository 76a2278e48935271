#include "design/damage_order.h"

#include <cmath>

#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"

namespace {

using Entry = hull_list::damageOrderEntry;
using EntryList = irr::core::array<Entry>;

int32_t priorityOf(const Entry& entry, DamagePriority priority) {
  const SubSystemDef* def = entry.entry->system->def;
  return priority == DP_EquipsTo ? def->equipsTo : def->preDamageOrder;
}

// How near a placed sub-system lies to (x, y), bigger parts counting as
// nearer: the distance less half the square root of the instance's scale.
// Computed in double precision, compared as a float.
float reachOf(const Entry& entry, double x, double y) {
  const placedSubSystem& placed = *entry.entry;
  const double dx = double(placed.x) - x;
  const double dy = double(placed.y) - y;
  return static_cast<float>(std::sqrt(dx * dx + dy * dy) - 0.5 * std::sqrt(double(placed.system->scale)));
}

// Sinks element `element` into the heap over `entries` seen as 1-based
// (element k is entries[k - 1]); elements from `max` on are outside it.
void heapSink(EntryList& entries, irr::s32 element, irr::s32 max, const irr::core::heapCompare<Entry>& before) {
  auto at = [&entries](irr::s32 k) -> Entry& { return entries[static_cast<irr::u32>(k - 1)]; };
  while ((element << 1) < max) {
    irr::s32 child = element << 1;
    if (child + 1 < max && before.compare(at(child), at(child + 1)))
      child = child + 1;
    if (!before.compare(at(element), at(child)))
      return;
    const Entry swapped = at(child);
    at(child) = at(element);
    at(element) = swapped;
    element = child;
  }
}

// The four points the orders look from, in the order of the layout's
// damage orders; each gives an order of all sub-systems and one of the
// pre-damage list.
struct DamagePoint {
  float x, y;
};
constexpr DamagePoint kDamagePoints[hull_list::kDamageOrderCount / 2] = {{4, 0}, {0, -4}, {-4, 0}, {0, 4}};

void buildOrder(EntryList& order, const EntryList& source, const sortDamageListPositional& before) {
  order = source;
  order.set_sorted(false);
  if (order.size() >= 2)
    heapsortWith(order, before);
  order.set_sorted(true);
}

}  // namespace

bool sortDamageList::compare(const Entry& a, const Entry& b) const {
  return priorityOf(a, priority_) < priorityOf(b, priority_);
}

bool sortDamageListPositional::compare(const Entry& a, const Entry& b) const {
  const int32_t first = priorityOf(a, priority_);
  const int32_t second = priorityOf(b, priority_);
  if (first != second)
    return first < second;
  return reachOf(a, x_, y_) < reachOf(b, x_, y_);
}

void heapsortWith(EntryList& entries, const irr::core::heapCompare<Entry>& before) {
  const irr::s32 size = static_cast<irr::s32>(entries.size());
  // Build the heap from the middle down, then move the top to the end and
  // sink the element swapped in. The order this leaves equal entries in is
  // part of how designs behave: keep it.
  for (irr::s32 i = (size - 1) / 2; i >= 0; --i)
    heapSink(entries, i + 1, size + 1, before);
  for (irr::s32 i = size - 1; i > 0; --i) {
    const Entry top = entries[0];
    entries[0] = entries[static_cast<irr::u32>(i)];
    entries[static_cast<irr::u32>(i)] = top;
    heapSink(entries, 1, i + 1, before);
  }
}

void buildDamageOrders(hull_list* layout, const EntryList& all, const EntryList& preDamage) {
  for (int point = 0; point < hull_list::kDamageOrderCount / 2; ++point) {
    const DamagePoint& at = kDamagePoints[point];
    buildOrder(layout->damageOrders[2 * point], all, sortDamageListPositional(layout, DP_EquipsTo, at.x, at.y));
    buildOrder(layout->damageOrders[2 * point + 1], preDamage,
               sortDamageListPositional(layout, DP_PreDamageOrder, at.x, at.y));
  }
}
