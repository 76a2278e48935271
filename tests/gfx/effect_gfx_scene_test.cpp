// Effect graphics calls shown on a scene: the beam node and its animation,
// the projectile, the particles at the ends and around an area burst, and
// the guards on the graphics objects.
#include "design/effectors/effect_gfx_scene.h"

#include <fstream>
#include <vector>

#include "design/effectors/effect_gfx.h"
#include "design/effectors/effector_def.h"
#include "gfx/effect_node_pools.h"
#include "gfx/particle_host.h"
#include "gfx/particle_stages.h"
#include "graphics_object_fixture.h"
#include "platform/engine/beam_scene_node.h"
#include "support/manual_timer.h"
#include "support/scratch_dir.h"

namespace effect_gfx_scene_test {

namespace {

using irr::core::vector3df;

constexpr irr::u32 kBeamColour = 0xFF80C040;

class EffGfxSceneTest : public gfxobjtest::GraphicsObjectTest {
 protected:
  void SetUp() override {
    GraphicsObjectTest::SetUp();
    engine.timer = &timer_;
    createEffectNodePool();
    createBurstNodePool();
    const std::string path = (scratchDir() / "effector_particles.txt").string();
    std::ofstream(path) << "ParticleSystem: sparks\nDuration: 1\nEndParticleSystem\n"
                           "ParticleSystem: flash\nDuration: 1\nEndParticleSystem\n";
    std::vector<irr::core::stringc> files{path.c_str()};
    startParticleSystems(nullptr, files);
    def_.gfx.color = kBeamColour;
    def_.gfx.size = 2.0f;
  }
  void TearDown() override {
    releaseParticleSystems();
    releaseBurstNodePool();
    releaseEffectNodePool();
    GraphicsObjectTest::TearDown();
  }

  // A game object at `at` whose graphics object (radius `radius`) the
  // object holds, as the simulation's objects hold theirs.
  gfxobjtest::PlainObject* shownAt(const vector3df& at, float radius) {
    gfxobjtest::PlainObject* made = object();
    made->position = at;
    made->radius = radius;
    gfxobjtest::CountingGraphics* mirror = graphics(made);
    mirror->radius = radius;
    mirror->update();
    mirror->grab();
    made->graphics = mirror;
    return made;
  }

  void nameParticles() {
    def_.gfx.fireParticles = L"sparks";
    def_.gfx.hitParticles = L"flash";
  }

  // The nodes hung under the pooled effect nodes (beams and projectiles).
  static std::vector<irr::scene::ISceneNode*> effectChildren() {
    std::vector<irr::scene::ISceneNode*> found;
    for (unsigned i = 0; i < kEffectNodeCount; ++i) {
      irr::scene::ISceneNode* holder = nextPooledEffectNode();
      const irr::core::list<irr::scene::ISceneNode*>& children = holder->getChildren();
      for (auto it = children.begin(); it != children.end(); ++it)
        found.push_back(*it);
    }
    return found;
  }

  ManualTimer timer_;
  effector_def def_{7};
};

TEST_F(EffGfxSceneTest, ABeamFollowsItsEndsFadesOutAndIsDeletedAtItsEnd) {
  gfxobjtest::PlainObject* shooter = shownAt(vector3df(0.0f, 0.0f, 0.0f), 1.0f);
  gfxobjtest::PlainObject* struck = shownAt(vector3df(10.0f, 0.0f, 0.0f), 2.0f);
  graphicsObject* struckGraphics = struck->graphics;
  const int32_t struckReferences = struckGraphics->refCount.load();
  const irr::u32 start = timer_.realTime.load();

  auto* call = new EffGfxBeam(&def_.gfx, shooter, struck, 0.25f);
  call->play();
  std::vector<irr::scene::ISceneNode*> made = effectChildren();
  ASSERT_EQ(made.size(), 1u) << "one beam node";
  auto* beam = dynamic_cast<irr::scene::CBeamSceneNode*>(made[0]);
  ASSERT_NE(beam, nullptr);
  EXPECT_EQ(beam->getColor().color, kBeamColour);
  // The firing points: each end's surface toward the other.
  EXPECT_EQ(vector3df(call->sourceOffset[0], call->sourceOffset[1], call->sourceOffset[2]), vector3df(1, 0, 0));
  EXPECT_EQ(vector3df(call->targetOffset[0], call->targetOffset[1], call->targetOffset[2]), vector3df(-2, 0, 0));
  delete call;  // the animation holds what it needs

  beam->grab();
  beam->OnAnimate(start);
  EXPECT_EQ(beam->getPosition(), vector3df(1.0f, 0.0f, 0.0f));
  EXPECT_EQ(beam->getEnd(), vector3df(7.0f, 0.0f, 0.0f));
  EXPECT_EQ(beam->getColor().color, kBeamColour);
  beam->OnAnimate(start + 125);
  const irr::video::SColor half = beam->getColor();
  EXPECT_NEAR(half.getAlpha(), 0x80, 1);
  EXPECT_NEAR(half.getRed(), 0x40, 1);
  EXPECT_NEAR(half.getGreen(), 0x60, 1);
  EXPECT_NEAR(half.getBlue(), 0x20, 1);
  // The target moves: the beam's far end follows.
  struck->position.set(10.0f, 4.0f, 0.0f);
  struckGraphics->update();
  beam->OnAnimate(start + 249);
  EXPECT_EQ(beam->getEnd(), vector3df(7.0f, 4.0f, 0.0f));
  EXPECT_NE(beam->getParent(), nullptr) << "not before its end";

  // 250 ms after its start the node goes to the deletion queue, which the
  // scene empties when it next draws.
  beam->OnAnimate(start + 250);
  scene()->drawAll();
  EXPECT_EQ(beam->getParent(), nullptr);
  EXPECT_EQ(beam->getReferenceCount(), 1) << "only the test's reference is left";
  beam->drop();
  EXPECT_EQ(struckGraphics->refCount.load(), struckReferences) << "the call and the animation let go";
}

TEST_F(EffGfxSceneTest, CallsShowOnlyBetweenGraphicsObjectsInTheScene) {
  enum Kind { Instant, Beam, Bullet };
  struct Case {
    const char* what;
    Kind kind;
    float sourceFade;
    float targetFade;
    bool named;         // the effector names its particle effects
    bool targetShown;   // the target has a graphics object
    bool targetGone;    // its graphics object was removed
    irr::u32 systems;   // particle systems started
    size_t nodes;       // beam or projectile nodes
  } const cases[] = {
      {"instant", Instant, 0.0f, 0.0f, true, true, false, 2, 0},
      {"instant, one end faded out", Instant, 0.6f, 0.0f, true, true, false, 2, 0},
      {"instant, both faded out", Instant, 0.6f, 0.7f, true, true, false, 0, 0},
      {"instant, no particle names (as loaded)", Instant, 0.0f, 0.0f, false, true, false, 0, 0},
      {"instant, target without graphics", Instant, 0.0f, 0.0f, true, false, false, 0, 0},
      {"instant, target removed", Instant, 0.0f, 0.0f, true, true, true, 0, 0},
      {"beam", Beam, 0.0f, 0.0f, true, true, false, 2, 1},
      {"beam, no particle names", Beam, 0.0f, 0.0f, false, true, false, 0, 1},
      {"beam, both faded out", Beam, 0.9f, 0.9f, true, true, false, 0, 0},
      {"projectile", Bullet, 0.0f, 0.0f, true, true, false, 2, 1},
      {"projectile, target without graphics", Bullet, 0.0f, 0.0f, true, false, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    def_.gfx.fireParticles = c.named ? L"sparks" : L"";
    def_.gfx.hitParticles = c.named ? L"flash" : L"";
    gfxobjtest::PlainObject* shooter = shownAt(vector3df(0.0f, 0.0f, 0.0f), 1.0f);
    gfxobjtest::PlainObject* struck = c.targetShown ? shownAt(vector3df(0.0f, 0.0f, 20.0f), 1.0f) : object();
    shooter->graphics->fade = c.sourceFade;
    if (c.targetShown)
      struck->graphics->fade = c.targetFade;
    if (c.targetGone)
      struck->graphics->attached = false;

    EffGfxCall* call = nullptr;
    switch (c.kind) {
      case Instant:
        call = new EffGfxInstant(&def_.gfx, shooter, struck);
        break;
      case Beam:
        call = new EffGfxBeam(&def_.gfx, shooter, struck, 1.0f);
        break;
      case Bullet:
        call = new EffGfxBullet(&def_.gfx, shooter, struck, 0.5f, 40.0f);
        break;
    }
    call->play();
    EXPECT_EQ(particleSystemGenerator->getRunningCount(), c.systems);
    std::vector<irr::scene::ISceneNode*> made = effectChildren();
    EXPECT_EQ(made.size(), c.nodes);
    if (c.kind == Bullet && made.size() == 1) {
      // The projectile leaves the shooter's surface toward the target, flies
      // there and is deleted on arrival.
      EXPECT_EQ(made[0]->getPosition(), vector3df(0.0f, 0.0f, 1.0f));
      EXPECT_EQ(made[0]->getAnimators().size(), 2u);
    }
    delete call;
    if (c.targetGone)
      struck->graphics->attached = true;  // removed by the fixture at the end
    for (irr::scene::ISceneNode* node : made)
      node->remove();
    particleSystemGenerator->clear();
  }
}

TEST_F(EffGfxSceneTest, AnAreaBurstScattersItsParticlesAroundTheSource) {
  gfxobjtest::PlainObject* source = shownAt(vector3df(100.0f, 0.0f, 0.0f), 2.0f);

  // The shell: from 1.1 radii out to the range, or 5 radii without one.
  struct Case {
    float range;
    float outer;
  } const cases[] = {{0.0f, 10.0f}, {-3.0f, 10.0f}, {30.0f, 30.0f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.range);
    ps::IParticleStage* stage = makeAreaParticleStage(source->graphics, c.range);
    auto* shell = dynamic_cast<RandomSphereStage*>(stage);
    ASSERT_NE(shell, nullptr);
    EXPECT_FLOAT_EQ(shell->minimumRadius, 2.2f);
    EXPECT_FLOAT_EQ(shell->maximumRadius, c.outer);
    EXPECT_EQ(shell->centre, vector3df(100.0f, 0.0f, 0.0f));
    stage->drop();
  }

  // Played: one system on such a shell, placed within it.
  nameParticles();
  auto* call = new EffGfxAOE(&def_.gfx, source, 0.0f);
  call->play();
  ASSERT_EQ(particleSystemGenerator->getRunningCount(), 1u);
  particleSystemGenerator->update(0.1f);
  bool placed = false;
  for (unsigned i = 0; i < kBurstNodeCount; ++i) {
    const float distance = burstPoolNode(i)->getPosition().getDistanceFrom(vector3df(100.0f, 0.0f, 0.0f));
    if (distance >= 2.2f - 1e-3f && distance <= 10.0f + 1e-3f)
      placed = true;
  }
  EXPECT_TRUE(placed);
  particleSystemGenerator->clear();

  // A faded-out source, or one without graphics, shows nothing.
  source->graphics->fade = 0.6f;
  call->play();
  auto* unseen = new EffGfxAOE(&def_.gfx, object(), 0.0f);
  unseen->play();
  EXPECT_EQ(particleSystemGenerator->getRunningCount(), 0u);
  delete unseen;
  delete call;
}

TEST_F(EffGfxSceneTest, TheQueuedCallsPlayAndStayQueued) {
  nameParticles();
  gfxobjtest::PlainObject* shooter = shownAt(vector3df(0.0f, 0.0f, 0.0f), 1.0f);
  gfxobjtest::PlainObject* struck = shownAt(vector3df(0.0f, 5.0f, 0.0f), 1.0f);
  queueEffGfxCall(new EffGfxInstant(&def_.gfx, shooter, struck));
  queueEffGfxCall(new EffGfxAOE(&def_.gfx, struck, 3.0f));
  playEffGfxQueue();
  EXPECT_EQ(particleSystemGenerator->getRunningCount(), 3u);
  EXPECT_EQ(effGfxQueueSize(), 2u);
  clearEffGfxQueue();
}

}  // namespace

}  // namespace effect_gfx_scene_test
