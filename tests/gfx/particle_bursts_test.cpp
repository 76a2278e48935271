// Particle bursts and hits on graphics objects: the burst node ring, the
// planet explosion's stage, hits at an object's surface, and the stages on
// a graphics object's node.
#include <gtest/gtest.h>

#include <fstream>

#include "core/locks.h"
#include "gfx/effect_node_pools.h"
#include "gfx/particle_host.h"
#include "gfx/particle_stages.h"
#include "gfx/special_fx.h"
#include "graphics_object_fixture.h"
#include "support/scratch_dir.h"

namespace particle_bursts_test {

namespace {

using irr::core::vector3df;

class ParticleBurstsTest : public gfxobjtest::GraphicsObjectTest {
 protected:
  void SetUp() override {
    GraphicsObjectTest::SetUp();
    createBurstNodePool();
    const std::string path = (scratchDir() / "bursts.txt").string();
    std::ofstream(path) << "ParticleSystem: boom\nDuration: 2\nEndParticleSystem\n"
                           "ParticleSystem: structure_hit\nEndParticleSystem\n";
    std::vector<irr::core::stringc> files{path.c_str()};
    startParticleSystems(nullptr, files);
    keptFx_ = specialFx;
    specialFx.planetExplosionEffect = L"boom";
    specialFx.planetExplosionDuration = 3.0f;
  }
  void TearDown() override {
    releaseParticleSystems();
    releaseBurstNodePool();
    specialFx = keptFx_;
    GraphicsObjectTest::TearDown();
  }

  SpecialFxValues keptFx_;
};

TEST_F(ParticleBurstsTest, TheEleventhBurstReusesTheFirstNode) {
  irr::scene::ISceneNode* first = nextBurstNode();
  ASSERT_NE(first, nullptr);
  for (int i = 0; i < 9; ++i)
    EXPECT_NE(nextBurstNode(), first);
  EXPECT_EQ(nextBurstNode(), first);
}

TEST_F(ParticleBurstsTest, ThePlanetExplosionSitsOnTheObjectAndMovesWithIt) {
  gfxobjtest::PlainObject* planet = object(L"planet", OT_Planet);
  planet->position.set(5.0f, 6.0f, 7.0f);
  planet->velocity.set(1.0f, 0.0f, 0.0f);
  gfxobjtest::CountingGraphics* shown = graphics(planet);
  shown->radius = 4.0f;
  shown->update();
  spawnParticleBurst(shown);
  ASSERT_EQ(particleSystemGenerator->getRunningCount(), 1u);

  // A name the generator does not know starts nothing, and its stage goes.
  specialFx.planetExplosionEffect = L"planet_explode";
  spawnParticleBurst(shown);
  spawnParticleBurst(nullptr);
  EXPECT_EQ(particleSystemGenerator->getRunningCount(), 1u);

  // The running system read its stage: the node's place and the radius.
  particleSystemGenerator->update(0.1f);
  irr::scene::ISceneNode* node = nullptr;
  for (unsigned i = 0; i < kBurstNodeCount; ++i) {
    if (burstPoolNode(i)->getPosition() == vector3df(5.0f, 6.0f, 7.0f))
      node = burstPoolNode(i);
  }
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->getScale(), vector3df(4.0f, 4.0f, 4.0f));
  EXPECT_TRUE(sceneLock->tryLock()) << "the scene lock was given back";
  sceneLock->unlock();
}

TEST_F(ParticleBurstsTest, HitsShowOnObjectsThatAreNotFadedOut) {
  gfxobjtest::PlainObject* planet = object(L"planet", OT_Planet);
  planet->radius = 2.0f;
  gfxobjtest::CountingGraphics* shown = graphics(planet);
  shown->radius = 2.0f;
  shown->update();
  showPlanetHit(shown, structureHitEffect);
  EXPECT_EQ(particleSystemGenerator->getRunningCount(), 1u);
  showShipHit(shown, structureHitEffect, vector3df(0.0f, 0.0f, 2.0f));
  EXPECT_EQ(particleSystemGenerator->getRunningCount(), 2u);
  // Faded out, missing, or a hit the data does not define: nothing.
  shown->fade = 1.0f;
  showPlanetHit(shown, structureHitEffect);
  showShipHit(shown, structureHitEffect, vector3df());
  shown->fade = 0.0f;
  showPlanetHit(nullptr, structureHitEffect);
  showShipHit(shown, subSystemHitEffect, vector3df());
  EXPECT_EQ(particleSystemGenerator->getRunningCount(), 2u);
}

TEST_F(ParticleBurstsTest, NodeStagesFollowTheNodeAndHitStagesChainToThem) {
  gfxobjtest::PlainObject* owner = object();
  owner->position.set(10.0f, 0.0f, 0.0f);
  gfxobjtest::CountingGraphics* target = graphics(owner);
  target->radius = 1.0f;
  target->update();
  target->getNode()->setRotation(vector3df(0.0f, 30.0f, 0.0f));

  auto* nodeStage = new GraphicsNodeStage(target);
  vector3df out;
  nodeStage->getPosition(out);
  EXPECT_EQ(out, vector3df(10.0f, 0.0f, 0.0f));
  nodeStage->getRotation(out);
  EXPECT_EQ(out, vector3df(0.0f, 30.0f, 0.0f));
  auto* hit = new HitOffset(vector3df(1.0f, 0.0f, 0.0f), 1.0f, target);
  hit->setParent(nodeStage);
  EXPECT_TRUE(hit->getFirstFlag());
  EXPECT_TRUE(hit->getSecondFlag());
  hit->drop();
  nodeStage->drop();

  // A world hit on the target, from a source at the origin.
  target->getNode()->setRotation(vector3df(0.0f, 0.0f, 0.0f));
  target->getNode()->updateAbsolutePosition();
  gfxobjtest::PlainObject* shooter = object();
  gfxobjtest::CountingGraphics* source = graphics(shooter);
  source->update();
  HitOffset* onTarget = HitOffset::fromWorldHit(source, target, 2.0f, true);
  EXPECT_EQ(onTarget->getTarget(), target);
  EXPECT_NEAR(onTarget->offset.X, -1.0f, 1e-5);
  onTarget->getScale(out);
  EXPECT_EQ(out, vector3df(2.0f, 2.0f, 2.0f));
  onTarget->drop();
  HitOffset* onSource = HitOffset::fromWorldHit(source, target, 1.0f, false);
  EXPECT_EQ(onSource->getTarget(), source);
  EXPECT_NEAR(onSource->offset.X, source->radius, 1e-5);
  onSource->drop();
  HitOffset* missing = HitOffset::fromWorldHit(nullptr, target, 1.0f, true);
  EXPECT_EQ(missing->getTarget(), nullptr);
  EXPECT_EQ(missing->offset, vector3df(0.0f, 0.0f, 0.0f));
  missing->drop();
}

}  // namespace

}  // namespace particle_bursts_test
