// Stars: pushing moving objects out of their body, and the blast that a
// destroyed star leaves on its system.
#include "universe/objects/star.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "design/effects/effects.h"
#include "movement_fixture.h"
#include "support/space_empire.h"
#include "support/log_capture.h"
#include "universe/movement/mobile_mover.h"

namespace star_test {

namespace {

using movementtest::expectNear;

const std::string kStarEffects = CORVANE_SOURCE_DIR "/data/Game Data/Effects/star.txt";

class StarTest : public movementtest::MadeObjectsTest {
 protected:
  // A body of `radius` at `position` in `system`; `mobile` gives it a
  // mobile mover. Destroyed at the end.
  TestObject* makeBody(generic_object* system, const vector3df& position, float radius, bool mobile) {
    auto* body = new TestObject(red, OT_Hulled);
    body->radius = radius;
    body->setContainer(system);
    body->position = position;
    if (mobile)
      body->mover = new MobileMover();
    made_.push_back(body);
    return body;
  }

  // A star of radius 10 at the centre of `system`, destroyed at the end.
  objStar* makeStar(generic_object* system) {
    auto* star = new objStar(system, nullptr);
    star->radius = 10.0f;
    made_.push_back(star);
    return star;
  }

  static bool holds(const objStar& star, const generic_object* object) {
    for (irr::u32 i = 0; i < star.captured.size(); ++i)
      if (star.captured[i] == object)
        return true;
    return false;
  }
};

TEST_F(StarTest, TakesTheSystemAsContainerAndBelongsToSpace) {
  solarSystem* system = makeSystem();
  objStar* noSpace = makeStar(system);
  EXPECT_EQ(noSpace->owner, defaultEmpire());
  EXPECT_EQ(noSpace->container.load(), system);
  ASSERT_EQ(system->children.size(), 1u);
  EXPECT_EQ(system->children[0].get(), noSpace);
  EXPECT_EQ(noSpace->refCount.load(), 2);  // the creator's and the system's
  EXPECT_EQ(noSpace->getType(), OT_Star);
  EXPECT_TRUE(noSpace->isVisibleTo(blue));
  EXPECT_TRUE(noSpace->isOwnerVisibleTo(blue, false));

  auto* space = registerSpaceEmpire();
  EXPECT_EQ(makeStar(system)->owner, space);
}

// Star radius 10 at the centre, a mobile body of radius 1 at y = 4, ticks of
// 0.25 s: the scan runs once the timer exceeds 1.0 s (the fifth tick), each
// push is d/|d| x 0.25 x 20 = 5 with a quarter of it kept as velocity, and
// the body is let go at the first tick that finds it outside.
TEST_F(StarTest, CapturesPushesOutAndReleasesAMobileBody) {
  solarSystem* system = makeSystem();
  objStar* star = makeStar(system);
  TestObject* ship = makeBody(system, vector3df(0, 4, 0), 1.0f, true);
  const int32_t refs = ship->refCount.load();

  struct Step {
    float y;
    float vy;
    bool captured;
  };
  const Step steps[] = {
      {4, 0, false}, {4, 0, false}, {4, 0, false}, {4, 0, false},  // timer 1.0 does not exceed 1.0
      {9, 1.25f, true}, {14, 2.5f, true},                          // 14 is outside: 14 > 10 + 1
      {14, 2.5f, false},
  };
  for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
    SCOPED_TRACE("tick " + std::to_string(i + 1));
    star->tick(0.25f);
    expectNear(ship->position, vector3df(0, steps[i].y, 0));
    expectNear(ship->velocity, vector3df(0, steps[i].vy, 0));
    EXPECT_EQ(holds(*star, ship), steps[i].captured);
    EXPECT_EQ(ship->refCount.load(), refs + (steps[i].captured ? 1 : 0));
  }
}

TEST_F(StarTest, ScanTakesEachOverlappingMobileNonStarOnce) {
  solarSystem* system = makeSystem();
  objStar* star = makeStar(system);
  // At the very centre there is no direction to push in: they stay put
  // and stay captured.
  std::vector<TestObject*> centre;
  for (int i = 0; i < 3; ++i)
    centre.push_back(makeBody(system, vector3df(0, 0, 0), 1.0f, true));
  TestObject* touching = makeBody(system, vector3df(11, 0, 0), 1.0f, true);
  TestObject* outside = makeBody(system, vector3df(11.5f, 0, 0), 1.0f, true);
  TestObject* unpowered = makeBody(system, vector3df(0, 3, 0), 1.0f, false);
  objStar* otherStar = makeStar(system);
  otherStar->mover = new MobileMover();

  star->tick(1.5f);
  EXPECT_EQ(star->captured.size(), 4u);
  for (TestObject* body : centre)
    EXPECT_TRUE(holds(*star, body));
  EXPECT_TRUE(holds(*star, touching));
  EXPECT_FALSE(holds(*star, outside));
  EXPECT_FALSE(holds(*star, unpowered));
  EXPECT_FALSE(holds(*star, otherStar));
  expectNear(touching->position, vector3df(41, 0, 0));  // pushed by 1.5 x 20

  // The second scan finds the centre bodies captured already (the array is
  // sorted before the search); the touching one is out and let go.
  star->tick(1.5f);
  EXPECT_EQ(star->captured.size(), 3u);
  for (TestObject* body : centre) {
    EXPECT_TRUE(holds(*star, body));
    expectNear(body->position, vector3df(0, 0, 0));
    expectNear(body->velocity, vector3df(0, 0, 0));
  }
  EXPECT_FALSE(holds(*star, touching));
}

TEST_F(StarTest, ABodyThatLeavesTheSystemIsReleased) {
  solarSystem* system = makeSystem();
  solarSystem* elsewhere = makeSystem(vector3df(1000, 0, 0));
  objStar* star = makeStar(system);
  TestObject* ship = makeBody(system, vector3df(0, 0, 0), 1.0f, true);
  star->tick(1.5f);
  ASSERT_TRUE(holds(*star, ship));
  const int32_t refs = ship->refCount.load();

  ship->setContainer(elsewhere);
  ship->position.set(0, 0, 0);  // overlapping the star's place, in another system
  star->tick(0.1f);
  EXPECT_FALSE(holds(*star, ship));
  EXPECT_EQ(ship->refCount.load(), refs - 1);
}

// --- Destruction ---

class StarDestructionTest : public StarTest {
 protected:
  void SetUp() override {
    StarTest::SetUp();
    LogCapture log;
    loadEffects(kStarEffects.c_str());
    EXPECT_EQ(log.take(), "Loading effects: " + kStarEffects + "\n");  // no error, no warning
  }
  void TearDown() override {
    gameRunning = false;
    StarTest::TearDown();
    clearEffects();
  }
};

TEST_F(StarDestructionTest, TheBlastAddsDamageEveryQuarterSecond) {
  solarSystem* system = makeSystem();
  auto* star = new objStar(system, nullptr);
  TestObject* body = makeBody(system, vector3df(0, 0, 0), 1.0f, false);  // reached at once
  State* damage = getOrAddObjectState(body, L"Damage");
  damage->value.max = 1000.0f;
  gameRunning = true;
  star->destroyNow(false);
  body->tick(0.25f);
  EXPECT_FLOAT_EQ(damage->value.val, 40.0f);
  body->tick(0.25f);
  EXPECT_FLOAT_EQ(damage->value.val, 80.0f);
}

TEST_F(StarDestructionTest, HitsEveryOtherObjectOnlyWhenLoudWhileTheGameRuns) {
  const effect_handler* starDamage = effectRegistry()[static_cast<irr::u32>(findEffectIndex(L"star_damage"))].value;
  struct Case {
    bool quiet;
    bool running;
    bool hits;
  };
  const Case cases[] = {{false, true, true}, {true, true, false}, {false, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.quiet ? "quiet" : "loud") + (c.running ? ", running" : ", not running"));
    solarSystem* system = makeSystem();
    auto* star = new objStar(system, nullptr);  // not in made_: it may be gone after its destruction
    star->radius = 10.0f;
    star->position.set(100, 0, 0);
    TestObject* far = makeBody(system, vector3df(400, 400, 0), 1.0f, false);   // 500 away
    TestObject* onTop = makeBody(system, vector3df(100, 0, 0), 1.0f, false);   // 0 away
    TestObject* mobile = makeBody(system, vector3df(100, 0, 25), 1.0f, true);  // 25 away

    gameRunning = c.running;
    star->destroyNow(c.quiet);
    gameRunning = false;

    const struct {
      TestObject* target;
      float delay;
    } expected[] = {{far, 10.0f}, {onTop, 0.0f}, {mobile, 0.5f}};
    for (const auto& e : expected) {
      if (!c.hits) {
        EXPECT_EQ(e.target->timedEffects.size(), 0u);
        continue;
      }
      ASSERT_EQ(e.target->timedEffects.size(), 1u);
      const timed_effect& effect = *e.target->timedEffects[0];
      EXPECT_EQ(effect.data.effect, starDamage);
      for (float value : effect.data.values)
        EXPECT_EQ(value, 0.0f);
      EXPECT_FLOAT_EQ(effect.duration, 10.0f);
      EXPECT_FLOAT_EQ(effect.delay, e.delay);
      EXPECT_EQ(effect.event.obj, star);  // still held by the event
      EXPECT_EQ(effect.event.target, e.target);
      EXPECT_EQ(effect.event.sourceKind, 0u);
      EXPECT_EQ(effect.event.destKind, 0u);
    }
  }
}

TEST_F(StarDestructionTest, WithoutTheEffectNobodyIsHit) {
  clearEffects();
  solarSystem* system = makeSystem();
  auto* star = new objStar(system, nullptr);
  TestObject* body = makeBody(system, vector3df(50, 0, 0), 1.0f, false);
  gameRunning = true;
  star->destroyNow(false);
  EXPECT_EQ(body->timedEffects.size(), 0u);
}

}  // namespace

}  // namespace star_test
