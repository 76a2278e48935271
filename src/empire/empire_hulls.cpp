// The empire's layout operations: new revisions of its designs (made when
// research has raised their sub-systems' levels far enough, or handed in),
// the copies it takes of other empires' designs, and the obsolete flag.
//
// Locks: the layout table (hulls area) is taken before the variables area,
// never after it; making or updating a layout takes the traits area and then
// the variables area itself. Another empire's hulls area is never taken while
// this empire's is held.
#include <string>

#include "design/hull_list.h"
#include "empire/empire.h"

using irr::core::stringw;

namespace {

// The layout filed under `name`, or null. The caller holds the hulls area for
// writing (a lookup may sort the table).
hull_list *findLayout(empire *emp, const stringw &name) {
  const irr::s32 index = NamedVar<hull_list *>::find(emp->hulls, name);
  return index < 0 ? nullptr : emp->hulls[static_cast<irr::u32>(index)].value;
}

// Files `layout` under `name` with a reference of the table's own, releasing
// the layout the entry held before. Hulls area held for writing.
void fileLayout(empire *emp, const stringw &name, hull_list *layout) {
  layout->grab();
  NamedVar<hull_list *> &entry =
      NamedVar<hull_list *>::getOrAdd(emp->hulls, name);
  hull_list *previous = entry.value;
  entry.value = layout;
  if (previous != nullptr)
    previous->drop();
}

// The newest revision of `layout`: its successors followed from obsolete
// layouts on. A chain that loops (a damaged save) ends where it would come
// round again. Hulls area held.
hull_list *newestRevision(hull_list *layout) {
  hull_list *slow = layout;
  bool stepSlow = false;
  while (layout->obsolete && layout->newer != nullptr) {
    layout = layout->newer;
    if (stepSlow)
      slow = slow->newer;
    stepSlow = !stepSlow;
    if (layout == slow)
      break;
  }
  return layout;
}

stringw decimal(uint32_t number) {
  return stringw(std::to_wstring(number).c_str());
}

} // namespace

hull_list *empire::updateHullByName(const stringw &layoutName,
                                    float threshold) {
  hull_list *layout = nullptr;
  {
    // Write: a lookup may sort the table. The caller's reference keeps the
    // layout alive once the area is let go.
    AreaGuard hullsGuard;
    lockArea(hullsGuard, EA_HullLayouts, true);
    layout = findLayout(this, layoutName);
    if (layout == nullptr)
      return nullptr;
    layout->grab();
  }
  hull_list *updated = getUpdatedHull(layout, threshold);
  layout->drop();
  return updated;
}

hull_list *empire::getUpdatedHull(hull_list *layout, float threshold) {
  layout = acquireForeignHull(layout);
  if (layout == nullptr)
    return nullptr;

  AreaGuard hullsGuard;
  lockArea(hullsGuard, EA_HullLayouts, true);
  hull_list *current = newestRevision(layout);
  if (current->newer != nullptr || current->obsolete)
    return current;
  const float limit = threshold > 0.0f ? threshold : current->updateThreshold;
  if (!(limit >= 1.0f))
    return current;
  // Both take the variables area, after the hulls area.
  if (!(current->getLevelGain() >= limit))
    return current;
  hull_list *copy = current->makeUpdatedCopy(this);
  if (copy == nullptr)
    return current;
  hull_list *result = replaceHull(current, copy);
  // The table holds the copy now (or, when another revision came first, the
  // copy was never filed and goes here).
  copy->drop();
  return result;
}

hull_list *empire::replaceHull(hull_list *older, hull_list *newer) {
  if (older == nullptr || newer == nullptr || older == newer ||
      older->owner != this || newer->owner != this)
    return older;

  AreaGuard hullsGuard;
  lockArea(hullsGuard, EA_HullLayouts, true);
  hull_list *current = newestRevision(older);
  if (current != older || current->newer != nullptr)
    return current;

  // The older revision takes a name of its own when the new one takes over
  // its name; the new one is filed after it, which releases the table's
  // reference held under the shared name.
  const stringw replacedName = older->name;
  if (older->name == newer->name) {
    older->rename(replacedName + L" r" + decimal(older->revision));
    fileLayout(this, older->name, older);
  }
  older->obsolete = true;
  older->newer = newer;
  fileLayout(this, newer->name, newer);

  // Sent under the area: the names must not change meanwhile.
  sendHullLayout(newer, &replacedName, &older->name);
  return newer;
}

hull_list *empire::acquireForeignHull(hull_list *layout) {
  if (layout == nullptr || layout->owner == this)
    return layout;
  {
    AreaGuard hullsGuard;
    lockArea(hullsGuard, EA_HullLayouts, false);
    const auto known = foreignHulls.find(layout);
    if (known != foreignHulls.end())
      return known->second;
  }

  // The copy is made with only the source owner's table held, so that two
  // empires taking each other's designs never wait on each other.
  hull_list *copy = nullptr;
  {
    AreaGuard sourceGuard;
    if (layout->owner != nullptr)
      layout->owner->lockArea(sourceGuard, EA_HullLayouts, false);
    copy = layout->makeForeignCopy(this);
  }

  AreaGuard hullsGuard;
  lockArea(hullsGuard, EA_HullLayouts, true);
  // Another thread may have taken the same design meanwhile: its copy wins.
  const auto known = foreignHulls.find(layout);
  if (known != foreignHulls.end()) {
    copy->drop();
    return known->second;
  }
  if (findLayout(this, copy->name) != nullptr) {
    const stringw base = copy->name;
    uint32_t number = 1;
    stringw candidate = base + L" " + decimal(number);
    while (findLayout(this, candidate) != nullptr)
      candidate = base + L" " + decimal(++number);
    copy->name = candidate;
  }
  fileLayout(this, copy->name, copy);
  copy->drop(); // the table's reference is the one left
  foreignHulls[layout] = copy;
  sendHullLayout(copy);
  return copy;
}

bool empire::hasForeignHull(const hull_list *layout) {
  AreaGuard hullsGuard;
  lockArea(hullsGuard, EA_HullLayouts, false);
  return foreignHulls.find(layout) != foreignHulls.end();
}

void empire::toggleObsolete(const stringw &layoutName) {
  AreaGuard hullsGuard;
  lockArea(hullsGuard, EA_HullLayouts, true);
  if (hull_list *layout = findLayout(this, layoutName))
    layout->obsolete = !layout->obsolete;
}

bool empire::canConstruct(const hull_list *layout, generic_object *builder) {
  AreaGuard checksGuard;
  lockArea(checksGuard, EA_ConstructionChecks, false);
  for (irr::u32 i = 0; i < constructionChecks.size(); ++i)
    if (!constructionChecks[i]->allows(layout, builder))
      return false;
  return true;
}
