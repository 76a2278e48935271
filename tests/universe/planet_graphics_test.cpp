// A planet with a graphics object: its destruction while the game runs
// starts the explosion burst; one destroyed quietly after the game, or one
// without graphics, starts nothing.
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "app/base/session_state.h"
#include "gfx/graphics_object.h"
#include "gfx/particle_host.h"
#include "gfx/special_fx.h"
#include "support/scratch_dir.h"
#include "universe/planets/planet.h"
#include "universe_fixture.h"

namespace planet_graphics_test {

namespace {

class PlanetGraphicsTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    const std::string path = (scratchDir() / "explosions.txt").string();
    std::ofstream(path) << "ParticleSystem: boom\nDuration: 2\nEndParticleSystem\n";
    std::vector<irr::core::stringc> files{path.c_str()};
    startParticleSystems(nullptr, files);
    keptFx_ = specialFx;
    specialFx.planetExplosionEffect = L"boom";
  }
  void TearDown() override {
    releaseParticleSystems();
    specialFx = keptFx_;
    gameLoaded = false;
    UniverseTest::TearDown();
  }

  SpecialFxValues keptFx_;
};

TEST_F(PlanetGraphicsTest, DestructionWhileTheGameRunsStartsOneBurst) {
  struct Case {
    const char* what;
    bool graphics;
    bool running;
    bool fadedOut;
    irr::u32 bursts;
  } const cases[] = {
      {"running, with graphics", true, true, false, 1},
      {"after the game (tear-down)", true, false, false, 0},
      {"faded out", true, true, true, 0},
      {"without graphics", false, true, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    particleSystemGenerator->clear();
    auto* planet = new objHabitation(red, nullptr);
    graphicsObject* shown = nullptr;
    if (c.graphics) {
      shown = new graphicsObject(planet);
      shown->fade = c.fadedOut ? 1.0f : 0.0f;
      planet->graphics = shown;
    }
    gameLoaded = c.running;
    // The planet lets go of its graphics object and of itself.
    planet->destroyNow(!c.running);
    EXPECT_EQ(particleSystemGenerator->getRunningCount(), c.bursts);
    particleSystemGenerator->clear();
  }
}

}  // namespace

}  // namespace planet_graphics_test
