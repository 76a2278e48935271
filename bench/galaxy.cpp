// The galaxy's own work, one section per kind.
//
// Spatial trees, over galaxies of 150, 2,000 and 20,000 star systems spread
// evenly over a disc of radius 50,000 (heights within +-500, system radii 100
// to 300), the trees sized as the galaxy's set-up sizes them:
//
//   TreeQuery   quad_tree query of a circle of radius 20 (a ship-sized object)
//               near a random system: centred on the system and moved up to
//               twice its radius away in the plane (each query finds 0.56
//               to 0.67 systems on average: counter "hits"); the callback
//               keeps the last system found, as the galaxy's containment
//               check does
//   ScanQuery   the same queries answered by testing every system
//   OctInsert   an OctTree filled with every system, then freed
//   FlatInsert  the same items appended to an engine array, then freed
//
// Worker passes, over galaxies of 150 and 2,000 star systems of 20 plain
// objects each:
//
//   WorkerPass  one pass over every system: inline on one thread (0
//               workers, as the galaxy's own tick does without workers),
//               or split into the workers' contiguous shares, each share
//               ticked by its own thread at the same time (1, 2, 4
//               workers); the time is the wall time until every share is
//               done. Counters: "frame_share" is that time over the 13.3 ms
//               frame of 75 frames a second.
//
// Set-up and tear-down, over galaxies of 10,000 to 200,000 star systems on
// a square grid 1,000 apart from the origin (a row and a column of them on
// the quad tree's middle lines), each made by makeSystem with its automatic
// star, as a map script calling createSystem in a loop makes them:
//
//   Environment createEnvironment with separation, as a new game runs it:
//               both trees filled, every system checked for overlaps (none
//               overlaps here)
//   Teardown    the galaxy's destroyNow at a session's end, every system
//               and star with it, after createEnvironment filled the trees
//
// Counter "ns_per_system": the time over the system count, which stays flat
// when the work grows linearly.
//
// Each section keeps its own set-up; add new sections below the last.
#include <benchmark/benchmark.h>

#include <irrArray.h>
#include <vector3d.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/base/config.h"
#include "app/base/session_state.h"
#include "core/threads.h"
#include "empire/empire.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/system_threads.h"
#include "universe/spatial/oct_tree.h"
#include "universe/spatial/quad_tree.h"

namespace {

// ---------------------------------------------------------------------------
// Spatial trees

// Stands in for a star system: the trees keep only its address.
struct BenchSystem {
  int id;
};

using SystemQuadTree = quad_tree<BenchSystem*, float>;
using SystemOctTree = OctTree<BenchSystem>;

constexpr float kDiscRadius = 50000.0f;
constexpr float kQueryRadius = 20.0f;
constexpr float kOctTreeSize = 50000.0f;
// Queries drawn beforehand (a power of two, walked in order and wrapped).
constexpr size_t kQueryCount = 1u << 12;

struct Query {
  irr::core::vector3df at;
};

struct Galaxy {
  std::vector<BenchSystem> systems;
  std::vector<SystemQuadTree::item> items;  // x, y, z and radius of each system
  std::unique_ptr<SystemQuadTree> plane;
  std::vector<Query> queries;
};

// Keeps the last object reported and counts the reports.
struct LastFound : qtResultCallback<BenchSystem*> {
  BenchSystem* last = nullptr;
  size_t count = 0;
  void onResult(BenchSystem* system) override {
    last = system;
    ++count;
  }
};

Galaxy makeGalaxy(int systemCount) {
  Galaxy galaxy;
  std::mt19937 random(static_cast<unsigned>(systemCount));
  std::uniform_real_distribution<float> unit(0, 1);
  galaxy.systems.resize(systemCount);
  float lowX = -1, highX = 1, lowZ = -1, highZ = 1;
  for (int i = 0; i < systemCount; ++i) {
    galaxy.systems[i].id = i;
    const float distance = kDiscRadius * std::sqrt(unit(random));
    const float angle = 6.2831853f * unit(random);
    const float x = distance * std::cos(angle);
    const float z = distance * std::sin(angle);
    galaxy.items.push_back({&galaxy.systems[i], 100 + 200 * unit(random), x, -500 + 1000 * unit(random), z});
    lowX = std::min(lowX, x);
    highX = std::max(highX, x);
    lowZ = std::min(lowZ, z);
    highZ = std::max(highZ, z);
  }
  // Sized as the galaxy's set-up sizes it.
  const float extent = std::max({2500.0f, highX - lowX, highZ - lowZ});
  galaxy.plane = std::make_unique<SystemQuadTree>(kDiscRadius);
  galaxy.plane->resize(extent * 1.2f);
  for (const SystemQuadTree::item& entry : galaxy.items)
    galaxy.plane->insert(entry);

  std::uniform_int_distribution<int> pick(0, systemCount - 1);
  for (size_t i = 0; i < kQueryCount; ++i) {
    const SystemQuadTree::item& near = galaxy.items[pick(random)];
    const float offset = 2 * near.radius * unit(random);
    const float angle = 6.2831853f * unit(random);
    galaxy.queries.push_back({{near.x + offset * std::cos(angle), near.y, near.z + offset * std::sin(angle)}});
  }
  return galaxy;
}

const Galaxy& galaxyOf(int systemCount) {
  static std::map<int, Galaxy> made;
  auto found = made.find(systemCount);
  if (found == made.end())
    found = made.emplace(systemCount, makeGalaxy(systemCount)).first;
  return found->second;
}

void scan(const std::vector<SystemQuadTree::item>& items, const irr::core::vector3df& at, float radius,
          LastFound& found) {
  for (const SystemQuadTree::item& entry : items) {
    const float dx = entry.x - at.X;
    const float dy = entry.y - at.Y;
    const float dz = entry.z - at.Z;
    const float reach = entry.radius + radius;
    if (dx * dx + dy * dy + dz * dz <= reach * reach)
      found.onResult(entry.object);
  }
}

// The share of queries that found a system, as a counter.
void reportHits(benchmark::State& state, const Galaxy& galaxy) {
  size_t hits = 0;
  for (const Query& query : galaxy.queries) {
    LastFound found;
    scan(galaxy.items, query.at, kQueryRadius, found);
    hits += found.count;
  }
  state.counters["hits"] = static_cast<double>(hits) / galaxy.queries.size();
}

void BM_TreeQuery(benchmark::State& state) {
  const Galaxy& galaxy = galaxyOf(static_cast<int>(state.range(0)));
  // The tree must find what the scan finds.
  for (const Query& query : galaxy.queries) {
    LastFound tree, all;
    galaxy.plane->query(query.at, query.at.X, query.at.Z, kQueryRadius, tree);
    scan(galaxy.items, query.at, kQueryRadius, all);
    if (tree.count != all.count) {
      state.SkipWithError("the tree and the scan disagree");
      return;
    }
  }
  size_t next = 0;
  for (auto _ : state) {
    const Query& query = galaxy.queries[next++ & (kQueryCount - 1)];
    LastFound found;
    galaxy.plane->query(query.at, query.at.X, query.at.Z, kQueryRadius, found);
    benchmark::DoNotOptimize(found.last);
  }
  reportHits(state, galaxy);
}
BENCHMARK(BM_TreeQuery)->Arg(150)->Arg(2000)->Arg(20000);

void BM_ScanQuery(benchmark::State& state) {
  const Galaxy& galaxy = galaxyOf(static_cast<int>(state.range(0)));
  size_t next = 0;
  for (auto _ : state) {
    const Query& query = galaxy.queries[next++ & (kQueryCount - 1)];
    LastFound found;
    scan(galaxy.items, query.at, kQueryRadius, found);
    benchmark::DoNotOptimize(found.last);
  }
  reportHits(state, galaxy);
}
BENCHMARK(BM_ScanQuery)->Arg(150)->Arg(2000)->Arg(20000);

int countOctNodes(const SystemOctTree::child& node) {
  int count = 1;
  for (const SystemOctTree::child* sub : node.children)
    if (sub != nullptr)
      count += countOctNodes(*sub);
  return count;
}

// Time per iteration covers every insertion and the freeing of the tree;
// items per second gives the rate per system.
void BM_OctInsert(benchmark::State& state) {
  const Galaxy& galaxy = galaxyOf(static_cast<int>(state.range(0)));
  int nodes = 0;
  double inRoot = 0;
  for (auto _ : state) {
    SystemOctTree tree(kOctTreeSize);
    for (const SystemQuadTree::item& entry : galaxy.items)
      tree.insert({entry.object, entry.radius, entry.x, entry.y, entry.z});
    benchmark::DoNotOptimize(tree.root.items.pointer());
    benchmark::ClobberMemory();
    if (nodes == 0) {
      nodes = countOctNodes(tree.root);
      inRoot = static_cast<double>(tree.root.items.size()) / galaxy.items.size();
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(galaxy.items.size()));
  state.counters["nodes"] = nodes;
  state.counters["inRoot"] = inRoot;
}
BENCHMARK(BM_OctInsert)->Arg(150)->Arg(2000)->Arg(20000);

void BM_FlatInsert(benchmark::State& state) {
  const Galaxy& galaxy = galaxyOf(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    irr::core::array<SystemOctTree::item> flat;
    for (const SystemQuadTree::item& entry : galaxy.items)
      flat.push_back({entry.object, entry.radius, entry.x, entry.y, entry.z});
    benchmark::DoNotOptimize(flat.pointer());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(galaxy.items.size()));
}
BENCHMARK(BM_FlatInsert)->Arg(150)->Arg(2000)->Arg(20000);

// ---------------------------------------------------------------------------
// Worker passes

constexpr int kObjectsPerSystem = 20;
constexpr double kFrameSeconds = 1.0 / 75.0;

class PlainObject : public generic_object {
 public:
  PlainObject() : generic_object(defaultEmpire(), nullptr, nullptr) {}
};

// A galaxy of `systems` systems of 20 objects, its systems split into
// `workers` shares as startSystemThreads splits them (without threads).
struct PassGalaxy {
  PassGalaxy(int systemCount, int workers) {
    initThreadLocals();
    singleThreaded = false;
    owner = new objGalaxy();
    for (int i = 0; i < systemCount; ++i) {
      solarSystem* system = new solarSystem();
      system->setContainer(owner);
      for (int k = 0; k < kObjectsPerSystem; ++k) {
        PlainObject* object = new PlainObject();  // its own reference goes when it is destroyed
        object->setContainer(system);
      }
      systems.push_back(system);
    }
    const size_t per = std::max<size_t>(systems.size() / std::max(workers, 1), 1);
    for (int k = 0; k < workers; ++k) {
      auto* info = new ThreadInfo();
      info->number = k;
      const size_t first = static_cast<size_t>(k) * per;
      const size_t last = k + 1 == workers ? systems.size() : first + per;
      for (size_t s = first; s < last; ++s) {
        systems[s]->grab();
        info->systems.push_back(systems[s]);
      }
      shares.push_back(info);
    }
  }
  ~PassGalaxy() {
    for (ThreadInfo* info : shares)
      delete info;
    owner->destroyNow(true);  // every system and object with it
  }

  objGalaxy* owner;
  std::vector<solarSystem*> systems;
  std::vector<ThreadInfo*> shares;
};

// Threads meet here each round: the last of `count` to arrive lets all go.
class Rendezvous {
 public:
  explicit Rendezvous(int count) : count_(count) {}
  void arriveAndWait() {
    std::unique_lock<std::mutex> guard(mutex_);
    const uint64_t round = round_;
    if (++arrived_ == count_) {
      arrived_ = 0;
      ++round_;
      changed_.notify_all();
      return;
    }
    changed_.wait(guard, [&] { return round_ != round; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_;
  int arrived_ = 0;
  uint64_t round_ = 0;
};

void BM_WorkerPass(benchmark::State& state) {
  const int systemCount = static_cast<int>(state.range(0));
  const int workers = static_cast<int>(state.range(1));
  PassGalaxy passGalaxy(systemCount, workers);

  using Clock = std::chrono::steady_clock;
  Clock::duration spent{};
  if (workers == 0) {
    for (auto _ : state) {
      gameTime = gameTime + 0.0625;
      const Clock::time_point began = Clock::now();
      passGalaxy.owner->tick(1.0f);
      spent += Clock::now() - began;
    }
  } else {
    // One thread per share; each round every thread runs one pass.
    std::atomic<bool> stopping{false};
    Rendezvous start(workers + 1);
    Rendezvous finish(workers + 1);
    std::vector<std::thread> threads;
    for (ThreadInfo* info : passGalaxy.shares)
      threads.emplace_back([&, info] {
        initThreadLocals();
        for (;;) {
          start.arriveAndWait();
          if (stopping.load())
            break;
          info->lock->lock();
          runSystemPass(*info, 0.0625f);
          info->lock->unlock();
          finish.arriveAndWait();
        }
        freeThreadLocals();
      });
    for (auto _ : state) {
      gameTime = gameTime + 0.0625;
      const Clock::time_point began = Clock::now();
      start.arriveAndWait();
      finish.arriveAndWait();
      spent += Clock::now() - began;
    }
    stopping = true;
    start.arriveAndWait();
    for (std::thread& thread : threads)
      thread.join();
  }
  const double perPass = std::chrono::duration<double>(spent).count() / static_cast<double>(state.iterations());
  state.counters["frame_share"] = perPass / kFrameSeconds;
}
BENCHMARK(BM_WorkerPass)
    ->ArgsProduct({{150, 2000}, {0, 1, 2, 4}})
    ->ArgNames({"systems", "workers"})
    ->UseRealTime();

// ---------------------------------------------------------------------------
// Tear-down

constexpr float kGridSpacing = 1000.0f;

// What the makers need: the thread's generators, and the space empire that
// owns what they make.
void prepareMakers() {
  initThreadLocals();
  singleThreaded = false;
  statisticsActive = false;
  sessionEnding = false;
  static const bool registered = [] {
    auto* space = new empire;
    space->ID = kSpaceEmpireID;
    space->valid = false;
    space->reserved = true;
    registerEmpire(space, true);
    return true;
  }();
  (void)registered;
}

// `systemCount` systems with a star each, made as a map script makes them.
objGalaxy* makeGridGalaxy(int systemCount) {
  objGalaxy* owner = new objGalaxy();
  const int side = static_cast<int>(std::sqrt(static_cast<double>(systemCount))) + 1;
  for (int i = 0; i < systemCount; ++i) {
    System_Desc desc;
    desc.position.set(static_cast<float>(i % side) * kGridSpacing, 0.0f, static_cast<float>(i / side) * kGridSpacing);
    makeSystem(owner, desc);
  }
  return owner;
}

// Ends the galaxy as a session's end does; false when objects outlive it.
bool endGridGalaxy(objGalaxy* owner) {
  sessionEnding = true;  // systems take their stars with them
  owner->destroyNow(true);
  owner->drop();
  sessionEnding = false;
  return registeredObjectCount() == 0;
}

void setNsPerSystem(benchmark::State& state, int systemCount) {
  state.counters["ns_per_system"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * systemCount * 1e-9,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Environment(benchmark::State& state) {
  prepareMakers();
  const int systemCount = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    objGalaxy* owner = makeGridGalaxy(systemCount);
    state.ResumeTiming();
    createEnvironment(owner, true);
    state.PauseTiming();
    if (!endGridGalaxy(owner))
      state.SkipWithError("the tear-down left objects alive");
    state.ResumeTiming();
  }
  setNsPerSystem(state, systemCount);
}

void BM_Teardown(benchmark::State& state) {
  prepareMakers();
  const int systemCount = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    objGalaxy* owner = makeGridGalaxy(systemCount);
    createEnvironment(owner, false);
    if (owner->getSystemCount() != static_cast<unsigned>(systemCount))
      state.SkipWithError("the galaxy has the wrong number of systems");
    state.ResumeTiming();
    sessionEnding = true;
    owner->destroyNow(true);
    owner->drop();
    sessionEnding = false;
    state.PauseTiming();
    if (registeredObjectCount() != 0)
      state.SkipWithError("the tear-down left objects alive");
    state.ResumeTiming();
  }
  setNsPerSystem(state, systemCount);
}

void gridSizes(benchmark::internal::Benchmark* b) {
  for (int systems : {10000, 25000, 50000, 100000, 200000})
    b->Arg(systems);
  b->Unit(benchmark::kMillisecond)->Iterations(3);
}
BENCHMARK(BM_Environment)->Apply(gridSizes);
BENCHMARK(BM_Teardown)->Apply(gridSizes);

}  // namespace
