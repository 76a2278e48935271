#include "universe/objects/galaxy.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <unordered_map>
#include <vector>

#include "app/base/config.h"
#include "app/base/session_state.h"
#include "core/log.h"
#include "core/threads.h"
#include "gfx/graphics_object.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/objects/system_locks.h"
#include "universe/objects/system_threads.h"

objGalaxy* galaxy = nullptr;

namespace {

// Children ticked by the galaxy before it yields to a waiting thread.
constexpr int kGalaxyYieldBudget = 50;
// Weights at or below this leave a system out of a ranking.
constexpr float kNoWeight = -1e37f;
// The quad tree covers the systems' extent this many times over, and at
// least this much.
constexpr float kSystemTreeMargin = 1.2f;
constexpr float kSmallestGalaxyExtent = 2500.0f;
// Overlapping systems are pushed this far apart, in their summed radii.
constexpr float kSeparation = 0.625f;
// Galaxy radius: at least this, and this far beyond the outermost system.
constexpr float kSmallestGalaxyRadius = 5000.0f;
constexpr float kGalaxyRimMargin = 1000.0f;

const char* const kMapModule = "map";
const char* const kCreateEnvironment = "void createEnvironment(vector, vector)";

using SystemTree = quad_tree<generic_object*, float>;

// More separations than this in one set-up mean systems that cannot be
// parted; the set-up stops pushing rather than run on.
constexpr unsigned kMostSeparations = 1000000;

// Keeps the last system reported.
class nearbySystem : public qtResultCallback<generic_object*> {
 public:
  explicit nearbySystem(const generic_object* skip = nullptr) : skip_(skip) {}
  void onResult(generic_object* object) override {
    if (object != skip_)
      found = object;
  }
  generic_object* found = nullptr;

 private:
  const generic_object* skip_;
};

// The system of the quad tree that the sphere at `at` with `radius` reaches
// (the last one reported), other than `skip`; null when none.
generic_object* findSystemAt(SystemTree& tree, const vector3df& at, float radius, const generic_object* skip) {
  nearbySystem result(skip);
  tree.query(at, at.X, at.Z, radius, result);
  return result.found;
}

// Tells the separation which systems may overlap another, so that it asks
// the quad tree only about those. The tree keeps every system that lies
// across one of its dividing lines in the node of that line, where each
// query tests it: a large map has thousands of them on a query's way down,
// and asking the tree about every system grew with the square of the
// system count. This coarse grid over the plane answers for most systems
// at once; it never clears a system the tree would find an overlap for (it
// tests more loosely than the tree), so the tree still picks every partner
// as before.
class OverlapGrid {
 public:
  explicit OverlapGrid(const irr::core::array<solarSystem*>& systems) {
    // Cells twice as wide as all but the largest tenth of the systems.
    std::vector<float> radii;
    radii.reserve(systems.size());
    for (irr::u32 i = 0; i < systems.size(); ++i)
      if (std::isfinite(systems[i]->radius))
        radii.push_back(std::max(systems[i]->radius, 0.0f));
    float typical = 0.0f;
    if (!radii.empty()) {
      auto at = radii.begin() + static_cast<std::ptrdiff_t>(radii.size() * 9 / 10);
      std::nth_element(radii.begin(), at, radii.end());
      typical = *at;
    }
    cellSize_ = std::max(2.0f * (typical + kSlack), 1.0f);
    cells_.reserve(systems.size() * 2);
    for (irr::u32 i = 0; i < systems.size(); ++i)
      add(systems[i]);
  }

  void add(generic_object* system) {
    Span span;
    if (!spanOf(system, span)) {
      large_.push_back(system);
      return;
    }
    for (int64_t x = span.lowX; x <= span.highX; ++x)
      for (int64_t z = span.lowZ; z <= span.highZ; ++z)
        cells_.emplace(key(x, z), system);
  }

  // Takes the system out where add put it: call before moving it.
  void remove(generic_object* system) {
    Span span;
    if (!spanOf(system, span)) {
      const auto found = std::find(large_.begin(), large_.end(), system);
      if (found != large_.end())
        large_.erase(found);
      return;
    }
    for (int64_t x = span.lowX; x <= span.highX; ++x)
      for (int64_t z = span.lowZ; z <= span.highZ; ++z) {
        auto range = cells_.equal_range(key(x, z));
        for (auto it = range.first; it != range.second; ++it)
          if (it->second == system) {
            cells_.erase(it);
            break;
          }
      }
  }

  // False only when no other system reaches `system`'s sphere; a large
  // system is always left to the tree.
  bool mayOverlap(const generic_object* system) const {
    Span span;
    if (!spanOf(system, span))
      return true;
    for (const generic_object* other : large_)
      if (near(system, other))
        return true;
    for (int64_t x = span.lowX; x <= span.highX; ++x)
      for (int64_t z = span.lowZ; z <= span.highZ; ++z) {
        auto range = cells_.equal_range(key(x, z));
        for (auto it = range.first; it != range.second; ++it)
          if (it->second != system && near(system, it->second))
            return true;
      }
    return false;
  }

 private:
  // Rounding room: in units, as a share of the summed radii, and as a
  // share of the coordinates.
  static constexpr float kSlack = 1.0f;
  static constexpr float kRadiusSlack = 1e-3f;
  static constexpr double kCoordinateSlack = 1e-5;
  // A system wider than this many cells on an axis is tested by everyone.
  static constexpr int64_t kWidestSpan = 4;
  // Cell numbers stay well inside 32 bits each.
  static constexpr double kFarthestCell = 1e9;

  struct Span {
    int64_t lowX, highX, lowZ, highZ;
  };

  static uint64_t key(int64_t x, int64_t z) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(x)) << 32) | static_cast<uint32_t>(z);
  }

  // The cells the system's square (with room for rounding) covers; false
  // for a system too large or too far out for the grid, or not finite.
  bool spanOf(const generic_object* system, Span& span) const {
    const double x = system->position.X;
    const double z = system->position.Z;
    const double r = system->radius;
    // (The tree's test squares the summed radii, so a negative radius
    // reaches as far as a positive one: such a system is left to the tree.)
    if (!std::isfinite(x) || !std::isfinite(z) || !std::isfinite(r) || r < 0.0)
      return false;
    const double reach = r * (1.0 + kRadiusSlack) + kSlack + kCoordinateSlack * (std::abs(x) + std::abs(z));
    const double lowX = std::floor((x - reach) / cellSize_);
    const double highX = std::floor((x + reach) / cellSize_);
    const double lowZ = std::floor((z - reach) / cellSize_);
    const double highZ = std::floor((z + reach) / cellSize_);
    if (std::abs(lowX) > kFarthestCell || std::abs(highX) > kFarthestCell || std::abs(lowZ) > kFarthestCell ||
        std::abs(highZ) > kFarthestCell || highX - lowX >= kWidestSpan || highZ - lowZ >= kWidestSpan)
      return false;
    span = Span{static_cast<int64_t>(lowX), static_cast<int64_t>(highX), static_cast<int64_t>(lowZ),
                static_cast<int64_t>(highZ)};
    return true;
  }

  // The tree's test of two spheres, with room for rounding.
  static bool near(const generic_object* a, const generic_object* b) {
    const float dx = b->position.X - a->position.X;
    const float dy = b->position.Y - a->position.Y;
    const float dz = b->position.Z - a->position.Z;
    const float reach = std::abs(a->radius + b->radius) * (1.0f + kRadiusSlack) + kSlack;
    return dx * dx + dy * dy + dz * dz <= reach * reach;
  }

  float cellSize_ = 1.0f;
  std::unordered_multimap<uint64_t, generic_object*> cells_;
  std::vector<generic_object*> large_;
};

// Pushes two overlapping systems apart, each the same way from their
// midpoint. Two at one point part along the x axis.
void separate(generic_object* a, generic_object* b) {
  const vector3df middle = (a->position + b->position) * 0.5f;
  vector3df direction = a->position - middle;
  if (direction.getLengthSQ() <= 0.0f)
    direction.set(1.0f, 0.0f, 0.0f);
  direction.normalize();
  const float spread = (a->radius + b->radius) * kSeparation;
  a->position = middle + direction * spread;
  b->position = middle - direction * spread;
}

void growBox(vector3df& low, vector3df& high, const vector3df& point) {
  low.set(std::min(low.X, point.X), std::min(low.Y, point.Y), std::min(low.Z, point.Z));
  high.set(std::max(high.X, point.X), std::max(high.Y, point.Y), std::max(high.Z, point.Z));
}

void runEnvironmentHook(const vector3df& low, const vector3df& high) {
  const int function = getScriptFunctionId(serverScriptEngine, kMapModule, kCreateEnvironment);
  if (function < 0)
    return;
  bool fromPool = false;
  AngelScript::asIScriptContext* context = getPreparedScriptContext(function, fromPool);
  if (context == nullptr) {
    logError("AS ERROR: Unable to prepare 'createEnvironment' in map script\n");
  } else {
    vector3df lower = low;
    vector3df upper = high;
    context->SetArgObject(0, &lower);
    context->SetArgObject(1, &upper);
    context->Execute();  // an exception is reported by the context's callback
    endScriptCall(context);
  }
  if (fromPool && context != nullptr)
    releaseScriptContext(context);
}

}  // namespace

void tickSessionGalaxy(float step) {
  if (objGalaxy* current = galaxy)
    current->tick(step);
}

objGalaxy::objGalaxy() : objectTree(kGalaxyTreeSize), systemTree(kGalaxyTreeSize) { name = L"Galaxy"; }

objGalaxy::objGalaxy(SaveStream& stream, generic_object* container)
    : solarSystem(stream, container), objectTree(kGalaxyTreeSize), systemTree(kGalaxyTreeSize) {}

objGalaxy::~objGalaxy() {
  for (irr::u32 k = 0; k < threads.size(); ++k)
    delete threads[k];
}

vector3df& objGalaxy::toAbsolutePosition(vector3df& out, const vector3df& point) const {
  out = point;
  return out;
}

void objGalaxy::addChild(generic_object* child) {
  generic_object::addChild(child);
  if (child->getType() == OT_System)
    systems.push_back(static_cast<solarSystem*>(child));
}

void objGalaxy::insertIntoPlane(generic_object* system) {
  TreeEntry& entry = treeEntries_[system];
  const vector3df at = system->position;
  entry.plane = SystemTree::item{system, system->radius, at.X, at.Y, at.Z};
  entry.inPlane = true;
  systemTree.insert(entry.plane);
}

void objGalaxy::removeFromPlane(generic_object* system) {
  const auto found = treeEntries_.find(system);
  if (found == treeEntries_.end() || !found->second.inPlane)
    return;
  systemTree.remove(found->second.plane);
  found->second.inPlane = false;
}

void objGalaxy::insertIntoSpace(generic_object* system) {
  TreeEntry& entry = treeEntries_[system];
  const vector3df at = system->position;
  entry.space = OctTree<generic_object>::item{system, system->radius, at.X, at.Y, at.Z};
  entry.inSpace = true;
  objectTree.insert(entry.space);
}

void objGalaxy::removeChild(generic_object* child) {
  if (child->getType() == OT_System) {
    // Out of both trees as it went in. The quad tree lets it go too: later
    // queries must not report a system that may be freed.
    const auto found = treeEntries_.find(child);
    if (found != treeEntries_.end()) {
      if (found->second.inSpace)
        objectTree.remove(found->second.space);
      if (found->second.inPlane)
        systemTree.remove(found->second.plane);
      treeEntries_.erase(found);
    }
    const irr::s32 index = systems.linear_search(static_cast<solarSystem*>(child));
    if (index >= 0)
      systems.erase(static_cast<irr::u32>(index));
  }
  generic_object::removeChild(child);
}

void objGalaxy::checkChildLeaving(generic_object* child) {
  if (child == nullptr)
    return;
  if (generic_object* system = findSystemAt(systemTree, child->position, child->radius, nullptr))
    child->setContainer(system);
}

void objGalaxy::tick(float) {
  ThreadLocals& record = threadLocals();
  const double now = gameTime.load();
  const float dt = static_cast<float>(now - localTime);
  record.currentSystem = this;
  record.frameSeconds = dt;

  std::lock_guard<std::recursive_mutex> tickGuard(galaxyTickMutex());
  if (dt > 0.0f && !systemsPaused.load()) {
    localTime = now;
    if (singleThreaded) {
      tickChildren(dt, ChildWalk{false, 0, false, false});
    } else {
      const bool workers = threads.size() > 0;
      galaxyTickBusy.store(true);
      lock->lock();
      if (workers)
        tickChildren(dt, ChildWalk{true, kGalaxyYieldBudget, true, false});
      else
        tickChildren(dt, ChildWalk{false, 0, false, true});
      lock->unlock();
      galaxyTickBusy.store(false);
    }
  }
  record.currentSystem = nullptr;
}

void objGalaxy::destroyNow(bool quiet) {
  if (!isValid())
    return;
  const heldPointer<generic_object> self(this);  // alive to the end
  stopSystemThreads(this);
  // The system list and both trees are let go at once, before the systems
  // themselves: each system's removal then has nothing left to search, and
  // the whole tear-down stays linear in the number of objects.
  systems.clear();
  objectTree.clear();
  systemTree.clear();
  treeEntries_.clear();
  while (children.size() > 0) {
    generic_object* child = children.getLast().get();
    const irr::u32 before = children.size();
    child->destroyNow(quiet);
    if (children.size() == before && children.getLast().get() == child)
      removeChild(child);  // a child that could not go is let go all the same
  }
  // The render group gives up the creator's reference; the current view
  // may hold it until the session ends.
  if (graphicsObject* group = graphics) {
    graphics = nullptr;
    group->remove(quiet);
  }
  clearFlag(FLAG_VALID);
  drop();
}

solarSystem* objGalaxy::createSystem(const System_Desc& desc) {
  solarSystem* system = makeSystem(this, desc);
  if (system != nullptr)
    handSystemToWorker(this, system);
  return system;
}

std::vector<std::pair<solarSystem*, float>> objGalaxy::findBestSystems(WeightFunction weight, void* argument,
                                                                      unsigned count) {
  std::vector<std::pair<solarSystem*, float>> best;
  if (weight == nullptr || count == 0)
    return best;
  for (irr::u32 i = 0; i < children.size(); ++i) {
    generic_object* child = children[i].get();
    if (child->getType() != OT_System)
      continue;
    solarSystem* system = static_cast<solarSystem*>(child);
    const float w = weight(system, argument);
    if (w <= kNoWeight)
      continue;
    auto place = std::find_if(best.begin(), best.end(), [w](const auto& held) { return held.second < w; });
    if (place == best.end()) {
      if (best.size() < count)
        best.emplace_back(system, w);
      continue;
    }
    if (best.size() == count)
      best.pop_back();
    best.emplace(place, system, w);
  }
  return best;
}

void createEnvironment(objGalaxy* owner, bool separateSystems) {
  if (owner == nullptr)
    return;
  owner->localTime = gameTime.load();

  // The quad tree over the systems' extent in the plane.
  vector3df low(-1.0f, -1.0f, -1.0f);
  vector3df high(1.0f, 1.0f, 1.0f);
  for (irr::u32 i = 0; i < owner->systems.size(); ++i)
    growBox(low, high, owner->systems[i]->getPosition());
  const float extent = std::max({kSmallestGalaxyExtent, high.X - low.X, high.Z - low.Z});
  owner->systemTree.resize(extent * kSystemTreeMargin);
  for (irr::u32 i = 0; i < owner->systems.size(); ++i)
    owner->insertIntoPlane(owner->systems[i]);

  if (separateSystems) {
    std::deque<generic_object*> work;
    for (irr::u32 i = 0; i < owner->systems.size(); ++i)
      work.push_back(owner->systems[i]);
    OverlapGrid grid(owner->systems);
    unsigned separations = 0;
    while (!work.empty() && separations < kMostSeparations) {
      generic_object* a = work.front();
      work.pop_front();
      while (grid.mayOverlap(a)) {
        generic_object* b = findSystemAt(owner->systemTree, a->position, a->radius, a);
        if (b == nullptr)
          break;
        if (++separations > kMostSeparations) {
          logError("Star systems still overlap after %u separations\n", kMostSeparations);
          break;
        }
        owner->removeFromPlane(a);
        owner->removeFromPlane(b);
        grid.remove(a);
        grid.remove(b);
        separate(a, b);
        owner->insertIntoPlane(a);
        owner->insertIntoPlane(b);
        grid.add(a);
        grid.add(b);
        work.push_back(b);
      }
    }
  }

  float radius = kSmallestGalaxyRadius;
  low.set(-1.0f, -1.0f, -1.0f);
  high.set(1.0f, 1.0f, 1.0f);
  for (irr::u32 i = 0; i < owner->systems.size(); ++i) {
    solarSystem* system = owner->systems[i];
    radius = std::max(radius, system->position.getLength() + system->radius + kGalaxyRimMargin);
    owner->insertIntoSpace(system);
    const vector3df reach(system->radius, system->radius, system->radius);
    growBox(low, high, system->position - reach);
    growBox(low, high, system->position + reach);
  }
  owner->radius = radius;
  runEnvironmentHook(low, high);
}

void destroySessionGalaxy() {
  objGalaxy* ending = galaxy;
  if (ending == nullptr)
    return;
  ending->destroyNow(true);
  galaxy = nullptr;
  ending->drop();
}
