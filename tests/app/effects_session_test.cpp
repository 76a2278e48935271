// Effects in whole game sessions: the special effects and particle-system
// definitions that the data folders give load with the resources, the
// active effects advance while the session runs, and each session's end
// leaves no effect and no particle system behind.
#include <gtest/gtest.h>

#include <atomic>

#include "app/data_folders.h"
#include "app/game_session.h"
#include "core/locks.h"
#include "gfx/gfx_effects.h"
#include "gfx/particle_host.h"
#include "gfx/special_fx.h"
#include "session_fixture.h"
#include "support/log_capture.h"

namespace effects_session_test {

namespace {

std::atomic<int> updates{0};
std::atomic<int> deletedEffects{0};

// Never finishes on its own.
class LastingEffect : public gfx_base {
 public:
  ~LastingEffect() override { ++deletedEffects; }
  bool update(float) override {
    ++updates;
    return false;
  }
};

using EffectsSession = SessionTest;

TEST_F(EffectsSession, EachSessionLoadsTheEffectsAndLeavesNoneBehind) {
  constexpr int kSessions = 2;
  constexpr int kEffects = 3;
  std::atomic<bool> added{false};
  std::atomic<bool> sawDefinitions{false};
  std::atomic<bool> sawSpecialFx{false};
  ps::CCustomParticleStage* stage = new ps::CCustomParticleStage();
  // Once the frame loop runs: three effects and a long particle system,
  // then the end once a frame has updated them.
  SessionEnder ender([&] {
    if (!added) {
      MutexGuard scene(*sceneLock);
      for (int i = 0; i < kEffects; ++i)
        addActiveGfxEffect(new LastingEffect());
      sawDefinitions = particleSystemGenerator != nullptr &&
                       particleSystemGenerator->hasDefinition(L"planet_explode") &&
                       particleSystemGenerator->hasDefinition(L"star_explode");
      sawSpecialFx = specialFx.planetExplosionDuration == 3.0f && sessionDataFiles.specialEffectsFile.empty();
      if (particleSystemGenerator != nullptr) {
        ps::IParticleSystem* system =
            particleSystemGenerator->create(specialFx.starExplosionEffect, 1000.0f, stage, nullptr, 0.0f);
        if (system != nullptr)
          system->drop();
      }
      added = true;
    }
    return updates >= kEffects;
  });

  LogCapture log;
  for (int session = 0; session < kSessions; ++session) {
    SCOPED_TRACE(session);
    specialFx = SpecialFxValues();
    updates = 0;
    deletedEffects = 0;
    added = false;
    sawDefinitions = false;
    sawSpecialFx = false;
    currentModName = "/";
    EXPECT_EQ(runGameSession("spiral.as"), 0);

    EXPECT_TRUE(added);
    EXPECT_TRUE(sawDefinitions);
    EXPECT_TRUE(sawSpecialFx);
    EXPECT_GE(updates, kEffects);
    EXPECT_EQ(deletedEffects, kEffects);
    EXPECT_EQ(activeGfxEffectCount(), 0u);
    EXPECT_EQ(particleSystemGenerator, nullptr);
    EXPECT_EQ(stage->getReferenceCount(), 1);
  }
  const std::string text = log.take();
  EXPECT_EQ(text.find("Special FX"), std::string::npos) << text;
  EXPECT_EQ(text.find("particle system"), std::string::npos) << text;
  stage->drop();
}

}  // namespace

}  // namespace effects_session_test
