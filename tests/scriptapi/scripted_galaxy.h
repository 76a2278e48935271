// A galaxy with the session's scripts: a scratch working folder (with an
// empty "Game Data/scripts/server/") over the galaxy fixture. A test writes
// its data and scripts into `root_`, then sets the engines up with
// scriptapitest::setUpScriptsOfWorkingFolder. TearDown takes down what the
// scripts and their data made, the galaxy, then the folder.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "core/user_folders.h"
#include "core/threads.h"
#include "design/effectors/effect_gfx.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "empire/traits.h"
#include "script/script_engine.h"
#include "script_session.h"
#include "support/log_capture.h"
#include "scriptapi/temp_hull.h"
#include "support/scratch_dir.h"
#include "support/working_folder.h"
#include "universe/galaxy_fixture.h"
#include "universe/planets/planet_hooks.h"
#include "universe/ships/ship.h"

namespace scriptapitest {

class ScriptedGalaxyTest : public galaxytest::GalaxyTest {
 protected:
  void SetUp() override {
    GalaxyTest::SetUp();
    root_ = scratchDir();
    folder_ = std::make_unique<WorkingFolder>(root_);
    std::filesystem::create_directories(root_ / "Game Data/scripts/server");
  }
  void TearDown() override {
    freeTempHulls();  // before the empires their layouts name
    clearEffGfxQueue();
    destroyGalaxy();  // the workers end, and their contexts with them
    clearPlanetScriptHooks();
    clearShipScriptHooks();
    tearDownScriptEngines();
    clearEffectors();
    clearEffects();
    clearModTables();
    freeThreadLocals();  // this thread's contexts
    folder_.reset();
    GalaxyTest::TearDown();
  }

  // Writes `subSystems` as the one sub-system file and the shipped trait
  // script, sets the engines up, then loads the shipped traits (silently).
  void setUpSubSystemsAndTraits(const char* subSystems) {
    std::filesystem::create_directories(root_ / "Game Data/Sub Systems");
    std::ofstream(root_ / "Game Data/Sub Systems/systems.txt", std::ios::binary) << subSystems;
    std::ifstream traits(CORVANE_SOURCE_DIR "/data/Game Data/scripts/server/traits.as", std::ios::binary);
    std::ofstream(root_ / "Game Data/scripts/server/traits.as", std::ios::binary)
        << std::string(std::istreambuf_iterator<char>(traits), {});
    setUpScriptsOfWorkingFolder();
    LogCapture log;
    loadTraitFile(CORVANE_SOURCE_DIR "/data/Game Data/traits.xml");
    EXPECT_EQ(log.take(), "");
  }

  std::filesystem::path root_;

 private:
  std::unique_ptr<WorkingFolder> folder_;
};

}  // namespace scriptapitest
