// Build queues in a saved game: a galaxy whose planet and ship have queued
// items is written, read back and written again to the same bytes; a
// rebuild item is dropped with a warning and the rest of the object loads.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/common_strings.h"
#include "core/post_load.h"
#include "design/build/build_fixture.h"
#include "support/log_capture.h"
#include "support/save_bytes.h"
#include "universe/galaxygen/object_tree.h"
#include "universe/objects/object_registry.h"

namespace build_queue_save_test {

namespace {

class BuildQueueSaveTest : public buildtest::BuildTest {
 protected:
  void SetUp() override {
    BuildTest::SetUp();
    clearPostObjectTreeSteps();
    savedNextUid_ = nextUid.load();
  }
  void TearDown() override {
    BuildTest::TearDown();
    // Loads set the UID counter back; later tests continue above it.
    nextUid = std::max(savedNextUid_, nextUid.load());
    uidHighWater = 1;
    clearPostObjectTreeSteps();
  }

  static Bytes saveGalaxy() {
    auto stream = SaveStream::createInMemory();
    writeCommonStringsSection(*stream);
    saveObjectTree(*stream, galaxy);
    return stream->memoryBytes();
  }

  // Ends the galaxy written in `file` and loads the file in its place, as
  // the loader does; false (with the error reported) when the load fails.
  bool reloadGalaxy(const Bytes& file) {
    sessionEnding = true;
    destroyGalaxy();
    sessionEnding = false;
    system = nullptr;
    const SaveFileError error = saveErrorOf([&] {
      auto reader = readerOver(file);
      readCommonStringsSection(*reader);
      galaxy = loadObjectTree(*reader);
      EXPECT_EQ(reader->remaining(), 0u) << "the whole tree is read";
      runPostObjectTreeSteps();
    });
    clearPostObjectTreeSteps();
    EXPECT_EQ(error.code, 0) << error.message;
    return error.code == 0 && galaxy != nullptr;
  }

  // The loaded object named `name` under the first system.
  static generic_object* loadedObject(const wchar_t* name) {
    if (galaxy == nullptr || galaxy->children.size() == 0)
      return nullptr;
    generic_object* loadedSystem = galaxy->children[0].get();
    for (irr::u32 i = 0; i < loadedSystem->children.size(); ++i)
      if (loadedSystem->children[i]->name == irr::core::stringw(name))
        return loadedSystem->children[i].get();
    return nullptr;
  }

 private:
  uint32_t savedNextUid_ = 0;
};

TEST_F(BuildQueueSaveTest, QueuedItemsLoadAndSaveToTheSameBytes) {
  hull_list* scout = layoutOf(red, L"Scout", {L"Frame", L"Plate"});
  hull_list* cruiser = layoutOf(red, L"Cruiser", {L"Frame"});
  objHabitation* planet = planetOf(red);
  planet->setRepeatQueue(true);
  planet->addConstructible(new StructureConstructible(def(L"Mine"), planet));
  auto* ship = new ShipConstructible(scout);
  ship->costs[0].value.paid = 3.5f;
  planet->addConstructible(ship);
  planet->addConstructible(new StructureConstructible(def(L"Factory"), planet));
  objHulled* station = shipOf(cruiser, vector3df(0, 0, 300));
  ASSERT_NE(station, nullptr);
  station->name = L"Station";
  station->addConstructible(makeRetrofitConstructible(cruiser, nullptr, 0.5f));

  const Bytes first = saveGalaxy();
  ASSERT_TRUE(reloadGalaxy(first));

  auto* loadedPlanet = dynamic_cast<objHabitation*>(loadedObject(L"Terra"));
  ASSERT_NE(loadedPlanet, nullptr);
  ASSERT_EQ(loadedPlanet->buildQueue.size(), 3u);
  EXPECT_EQ(loadedPlanet->buildQueue[0]->getName(), irr::core::stringw(L"Mine"));
  EXPECT_EQ(loadedPlanet->buildQueue[1]->getName(), irr::core::stringw(L"Scout"));
  EXPECT_EQ(loadedPlanet->buildQueue[1]->costs[0].value.paid, 3.5f);
  EXPECT_EQ(loadedPlanet->buildQueue[2]->getName(), irr::core::stringw(L"Factory"));
  EXPECT_TRUE(loadedPlanet->getRepeatQueue());
  generic_object* loadedStation = loadedObject(L"Station");
  ASSERT_NE(loadedStation, nullptr);
  ASSERT_EQ(loadedStation->buildQueue.size(), 1u);
  auto* retrofit = dynamic_cast<ShipConstructible*>(loadedStation->buildQueue[0]);
  ASSERT_NE(retrofit, nullptr);
  EXPECT_EQ(retrofit->retrofitFlag, 1);
  EXPECT_EQ(retrofit->layout, cruiser);

  // The galaxy made here has no radius of its own yet (a loaded one derives
  // it), so the loaded game's file is the one that must come back the same.
  const Bytes second = saveGalaxy();
  ASSERT_TRUE(reloadGalaxy(second));
  EXPECT_EQ(hexText(saveGalaxy()), hexText(second));
}

TEST_F(BuildQueueSaveTest, ARebuildItemIsDroppedWithAWarningAndTheObjectLoads) {
  objHabitation* planet = planetOf(red);
  ASSERT_TRUE(planet->addStructureFromDef(def(L"Mine")));
  setTech(2.0f);
  planet->addConstructible(new RebuildStructureConstructible(planet->structures[0].system, planet));
  planet->addConstructible(new StructureConstructible(def(L"Factory"), planet));

  LogCapture log;
  const Bytes file = saveGalaxy();
  const std::string warning = log.take();
  EXPECT_NE(warning.find("Mine"), std::string::npos) << warning;
  EXPECT_NE(warning.find("Terra"), std::string::npos) << warning;

  ASSERT_TRUE(reloadGalaxy(file));
  auto* loadedPlanet = dynamic_cast<objHabitation*>(loadedObject(L"Terra"));
  ASSERT_NE(loadedPlanet, nullptr);
  ASSERT_EQ(loadedPlanet->buildQueue.size(), 1u);
  EXPECT_EQ(loadedPlanet->buildQueue[0]->getName(), irr::core::stringw(L"Factory"));
  EXPECT_EQ(loadedPlanet->structures.size(), 1u);
}

}  // namespace

}  // namespace build_queue_save_test
