// A galaxy whose objects wander from system to system ends in the same state
// however many processing threads ran it: with each step every worker makes
// exactly one pass and then one galaxy update runs, so every object is
// ticked by the same containers in the same steps whether its systems are
// ticked by 1 or 4 workers, by the galaxy's own tick, or single-threaded.
#include <gtest/gtest.h>

#include <iomanip>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "galaxy_fixture.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/system_threads.h"

namespace galaxy_determinism_test {

namespace {

using galaxytest::CountingSystem;

constexpr int kSystems = 40;
constexpr int kColumns = 8;
constexpr float kSpacing = 200.0f;  // systems of radius 80, 40 apart
constexpr int kObjectsPerSystem = 20;
constexpr int kSteps = 40;
constexpr double kStep = 1.0 / 16.0;  // exact in binary; one pass each

// An object that moves by `step` on each of its ticks. A moving one asks its
// container to check whether it has left: a system hands it to the galaxy
// once it is out of reach, the galaxy hands it to the system it reaches.
class Drifter : public TestObject {
 public:
  Drifter(empire* objectOwner, const vector3df& objectStep) : TestObject(objectOwner), step(objectStep) {}
  void tick(float seconds) override {
    ++ticks;
    position += step;
    if (step.getLengthSQ() > 0.0f)
      setFlag(FLAG_REPARENT);
    TestObject::tick(seconds);
  }
  const vector3df step;
  int ticks = 0;
};

// Moves of the drifters, one per object index; the other objects stay.
const vector3df kMoves[] = {{13, 0, 0}, {-9, 0, 0}, {0, 0, 11}, {0, 0, -7}, {8, 0, 6}, {-5, 0, -12}, {17, 0, -3}};
constexpr int kDrifters = sizeof kMoves / sizeof kMoves[0];

struct Mode {
  const char* name;
  bool singleThreaded;
  uint8_t workers;
};

void PrintTo(const Mode& mode, std::ostream* out) { *out << mode.name; }

// Everything a run ends with, each object by its creation index, written
// out exactly (floats in hexadecimal) so that runs compare line by line.
struct Snapshot {
  std::vector<std::string> objects;
  std::vector<std::string> systems;  // the galaxy last
  int enteredOtherSystems = 0;
  int inOpenSpace = 0;
};

std::string statsText(const StatsList* list) {
  std::map<std::wstring, std::map<std::wstring, float>> byEmpire;  // independent of entry order
  for (irr::u32 i = 0; list != nullptr && i < list->size(); ++i) {
    const Stats& entry = (*list)[i];
    auto& values = byEmpire[entry.emp != nullptr ? entry.emp->name.c_str() : L"-"];
    for (irr::u32 v = 0; entry.values != nullptr && v < entry.values->size(); ++v)
      values[(*entry.values)[v].entryName().c_str()] = (*entry.values)[v].value;
  }
  std::ostringstream out;
  out << std::hexfloat;
  for (const auto& [emp, values] : byEmpire) {
    out << " " << std::string(emp.begin(), emp.end()) << ":";
    for (const auto& [stat, value] : values)
      out << " " << std::string(stat.begin(), stat.end()) << "=" << value;
  }
  return out.str();
}

class GalaxyDeterminismTest : public galaxytest::GalaxyTest, public testing::WithParamInterface<Mode> {
 protected:
  // Builds the galaxy afresh, runs it in `mode` and tears it down.
  Snapshot run(const Mode& mode) {
    destroyGalaxy();
    gameTime = 0.0;
    singleThreaded = mode.singleThreaded;
    galaxy = new objGalaxy();

    std::vector<CountingSystem*> systems = addSystems(kSystems);
    std::map<const generic_object*, int> systemIndex{{galaxy, -1}};
    for (int i = 0; i < kSystems; ++i) {
      systems[i]->position.set(kSpacing * static_cast<float>(i % kColumns), 0,
                               kSpacing * static_cast<float>(i / kColumns));
      systemIndex[systems[i]] = i;
    }
    createEnvironment(galaxy, false);  // fills the quad tree that finds the system an object reaches

    std::vector<Drifter*> objects;
    for (int i = 0; i < kSystems; ++i) {
      for (int j = 0; j < kObjectsPerSystem; ++j) {
        const bool drifts = j < kDrifters;
        // Residents are all of one empire per system, drifters of both, so
        // that the visibility masks change as drifters come and go.
        empire* owner = drifts ? (j % 2 == 0 ? red : blue) : (i % 2 == 0 ? red : blue);
        Drifter* object = new Drifter(owner, drifts ? kMoves[j] * (1.0f + 0.25f * static_cast<float>(i % 3))
                                                    : vector3df());
        object->position = systems[i]->position + vector3df(3.0f * j - 30.0f, 0, 4.0f * (j % 5) - 8.0f);
        object->setContainer(systems[i]);
        objects.push_back(object);
      }
    }

    startSystemThreads(mode.workers);
    EXPECT_EQ(galaxy->threads.size(), mode.workers);
    for (int step = 0; step < kSteps; ++step) {
      if (!stepWorkers(kStep)) {
        ADD_FAILURE() << "the workers did not finish step " << step;
        break;
      }
      galaxy->tick(1.0f);
    }

    Snapshot snapshot;
    for (size_t k = 0; k < objects.size(); ++k) {
      const Drifter* object = objects[k];
      const int in = systemIndex.at(object->container.load());
      if (in == -1)
        ++snapshot.inOpenSpace;
      else if (in != static_cast<int>(k) / kObjectsPerSystem)
        ++snapshot.enteredOtherSystems;
      std::ostringstream line;
      line << std::hexfloat << "in " << in << " at " << object->position.X << "," << object->position.Y << ","
           << object->position.Z << " time " << object->localTime << " ticks " << object->ticks << " reparent "
           << object->hasFlag(FLAG_REPARENT);
      snapshot.objects.push_back(line.str());
    }
    for (CountingSystem* system : systems) {
      std::ostringstream line;
      line << std::hexfloat << "mask " << system->visibilityMask.load() << " ticks " << system->ticks.load()
           << " time " << system->localTime << " children " << system->children.size()
           << statsText(system->systemStats);
      snapshot.systems.push_back(line.str());
    }
    snapshot.systems.push_back("galaxy children " + std::to_string(galaxy->children.size()) +
                               statsText(galaxy->systemStats));

    destroyGalaxy();
    EXPECT_EQ(registeredObjectCount(), 0u) << "the run left objects alive";
    singleThreaded = false;
    return snapshot;
  }
};

// Reports the first few differences only: one broken run would otherwise
// report every object.
void expectSame(const std::vector<std::string>& expected, const std::vector<std::string>& actual,
                const char* what) {
  ASSERT_EQ(actual.size(), expected.size());
  int reported = 0;
  for (size_t k = 0; k < expected.size() && reported < 5; ++k)
    if (actual[k] != expected[k]) {
      ADD_FAILURE() << what << " " << k << "\n  expected: " << expected[k] << "\n  actual:   " << actual[k];
      ++reported;
    }
}

TEST_P(GalaxyDeterminismTest, EndsAsTheSingleThreadedRun) {
  const Snapshot expected = run({"single-threaded", true, 0});
  // The run is no trivial one: objects went through open space into other
  // systems, and some are still between systems.
  EXPECT_GE(expected.enteredOtherSystems, kSystems);
  EXPECT_GT(expected.inOpenSpace, 0);

  const Snapshot actual = run(GetParam());
  expectSame(expected.objects, actual.objects, "object");
  expectSame(expected.systems, actual.systems, "system");
}

INSTANTIATE_TEST_SUITE_P(Galaxy, GalaxyDeterminismTest,
                         testing::Values(Mode{"NoWorkers", false, 0}, Mode{"OneWorker", false, 1},
                                         Mode{"FourWorkers", false, 4}),
                         [](const testing::TestParamInfo<Mode>& info) { return std::string(info.param.name); });

}  // namespace

}  // namespace galaxy_determinism_test
