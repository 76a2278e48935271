// Render groups: the presence ring of a star system (its picture, colour
// and visibility from who holds the system), the throttling delay, the
// combat mark and the attack warning, and the galaxy's update on one and on
// two threads.
#include "gfx/render_group.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "audio/sound.h"
#include "audio/sound_device.h"
#include "core/locale.h"
#include "empire/empire.h"
#include "gfx/gfx_resources.h"
#include "gfx/select_ring.h"
#include "gfx/shader_desc.h"
#include "graphics_object_fixture.h"
#include "platform/engine/rotating_billboard.h"

namespace render_group_test {

namespace {

using gfxobjtest::PlainObject;
using irr::core::stringw;
using irr::core::vector3df;

irr::u32 fakeNow = 1000;
irr::u32 fakeClock() { return fakeNow; }

// A silent device that counts the plain sounds asked of it.
class CountingSoundDevice : public audio::CDummySoundDevice {
 public:
  audio::ISound* createSound(audio::ISoundSource* source, bool, bool) override {
    created.push_back(source);
    return nullptr;
  }
  std::vector<audio::ISoundSource*> created;
};

class FakeSource : public audio::ISoundSource {
 public:
  explicit FakeSource(audio::ISoundDevice* device) : ISoundSource(device) {}
  void setVolume(float) override {}
  float getVolume() override { return 1.0f; }
};

// A star system standing in for the galaxy (the real one brings its
// spatial trees and the session's globals).
class FakeGalaxy : public solarSystem {
 public:
  int getType() const override { return OT_Galaxy; }
};

class RenderGroupTest : public gfxobjtest::GraphicsObjectTest {
 public:
  void SetUp() override {
    GraphicsObjectTest::SetUp();
    keptClock_ = renderGroupClock;
    renderGroupClock = fakeClock;
    fakeNow = 1000;
    keptRings_ = bDisplaySystemRings;
    keptPlanes_ = bDisplaySystemPlanes;
    bDisplaySystemRings = true;
    bDisplaySystemPlanes = true;
    // Ring materials told apart by their shininess: the ring's index.
    for (unsigned i = 0; i < 12; ++i) {
      auto* material = new irr::video::SMaterial();
      material->Shininess = static_cast<float>(i + 1);
      NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, presenceRingName(i)).value = material;
    }
    player_ = makeEmpire(0xFF0000FF);
    other_ = makeEmpire(0xFFFF0000);
    third_ = makeEmpire(0xFF00FF00);
    minor_ = makeEmpire(0xFF808080);
    minor_->valid = false;
    activeEmpire = player_;
    // Far away from everything the tests place (the systems sit at 0).
    gameCamera.lastPosition.set(0.0f, 1e6f, 0.0f);
  }
  void TearDown() override {
    clearRenderGroups();
    GraphicsObjectTest::TearDown();
    activeEmpire = nullptr;
    for (empire* emp : empires_)
      delete emp;
    empires_.clear();
    clearGfxResources(gfxResources);
    renderGroupClock = keptClock_;
    bDisplaySystemRings = keptRings_;
    bDisplaySystemPlanes = keptPlanes_;
    attackWarningHold = 0;
    gameLoaded = false;
    bThreadedGraphics = false;
  }

  empire* makeEmpire(uint32_t color) {
    auto* emp = new empire;
    emp->color = color;
    emp->ownBit = 1u << empires_.size();
    empires_.push_back(emp);
    return emp;
  }

  // A star system with its render group; the fixture removes the group.
  solarSystem* systemWithGroup(renderGroup** made, const vector3df& at = vector3df(0.0f, 0.0f, 0.0f)) {
    solarSystem* owner = system();
    owner->position = at;
    auto* group = new renderGroup(owner);
    made_.emplace_back(group);  // the fixture's; the creator's is given up by remove
    *made = group;
    return owner;
  }

  // `count` objects of `type` owned by `holder` in `where`, each with a
  // graphics object under the system's group.
  void populate(solarSystem* where, int type, empire* holder, int count) {
    for (int i = 0; i < count; ++i) {
      PlainObject* thing = object(L"thing", type);
      thing->owner = holder;
      thing->setContainer(where);
      graphics(thing);
    }
  }

  static void setStats(solarSystem* where, empire* emp, float presence, float strength, float planetCount) {
    Stats& stats = getEmpireStats(*where->systemStats, emp);
    statValue(stats, L"prs") = presence;
    statValue(stats, L"str") = strength;
    statValue(stats, L"planets") = planetCount;
  }

  static float ringShininess(const renderGroup* group) {
    return const_cast<renderGroup*>(group)->getPresenceRing()->getMaterial(0).Shininess;
  }

  irr::u32 (*keptClock_)() = nullptr;
  bool keptRings_ = true;
  bool keptPlanes_ = true;
  std::vector<empire*> empires_;
  empire* player_ = nullptr;
  empire* other_ = nullptr;
  empire* third_ = nullptr;
  empire* minor_ = nullptr;
};

TEST(PresenceRingIndexTest, PlanetAndShipPartsAddUp) {
  struct Case {
    uint32_t heldPlanets, planets, heldShips;
    unsigned index;
  } const cases[] = {
      {2, 2, 50, 11}, {0, 0, 0, 0},  {0, 0, 1, 4},  {1, 1, 0, 3},  {1, 3, 0, 1},
      {2, 5, 49, 6},  {4, 5, 50, 10}, {0, 3, 0, 0}, {3, 3, 200, 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.heldPlanets << "/" << c.planets << " " << c.heldShips);
    EXPECT_EQ(presenceRingIndex(c.heldPlanets, c.planets, c.heldShips), c.index);
  }
  EXPECT_STREQ(presenceRingName(11), L"armySector");
  EXPECT_STREQ(presenceRingName(0), L"emptyEmpty");
}

TEST_F(RenderGroupTest, ThePresenceRingShowsWhoHoldsTheSystem) {
  const irr::u32 white100 = irr::video::SColor(100, 255, 255, 255).color;
  struct Case {
    const char* what;
    void (*fill)(RenderGroupTest& test, solarSystem* where);
    bool focused;
    bool ringVisible;
    float material;  // the ring index + 1, when visible
    irr::u32 colour;  // 0: not checked
    bool planeVisible;
  };
  const Case cases[] = {
      {"held planets = planets > 0 and 50 held ships",
       [](RenderGroupTest& t, solarSystem* s) {
         setStats(s, t.other_, 5.0f, 50.0f, 2.0f);
         t.populate(s, OT_Planet, t.other_, 2);
         t.populate(s, OT_Hulled, t.other_, 50);
       },
       false, true, 12.0f, irr::video::SColor(200, 255, 0, 0).color, true},
      {"held planets = planets = 0",
       [](RenderGroupTest& t, solarSystem* s) {
         setStats(s, t.other_, 1.0f, 1.0f, 0.0f);
         t.populate(s, OT_Hulled, t.other_, 1);
       },
       false, true, 5.0f, 0, true},
      {"only minor planets: nothing to show",
       [](RenderGroupTest& t, solarSystem* s) { t.populate(s, OT_Planet, t.minor_, 2); }, false, false, 0.0f, 0,
       false},
      {"minor planets and contested ships: the ship share colours the ring",
       [](RenderGroupTest& t, solarSystem* s) {
         setStats(s, t.other_, 2.0f, 2.0f, 0.0f);
         setStats(s, t.third_, 1.0f, 1.0f, 0.0f);
         t.populate(s, OT_Planet, t.minor_, 2);
         t.populate(s, OT_Hulled, t.other_, 2);
         t.populate(s, OT_Hulled, t.third_, 1);
       },
       false, true, 5.0f,
       irr::video::SColor(200, 255, 0, 0).getInterpolated(irr::video::SColor(200, 255, 255, 255), 2.0f / 3.0f).color,
       true},
      {"present but nothing counted, not focused",
       [](RenderGroupTest& t, solarSystem* s) { setStats(s, t.other_, 1.0f, 0.0f, 0.0f); }, false, false, 0.0f, 0,
       false},
      {"present but nothing counted, focused",
       [](RenderGroupTest& t, solarSystem* s) { setStats(s, t.other_, 1.0f, 0.0f, 0.0f); }, true, true, 1.0f,
       white100, true},
      {"the player dominates with its own counts",
       [](RenderGroupTest& t, solarSystem* s) {
         setStats(s, t.player_, 1.0f, 0.0f, 1.0f);
         setStats(s, t.other_, 1.0f, 3.0f, 0.0f);
         t.populate(s, OT_Planet, t.player_, 1);
         t.populate(s, OT_Hulled, t.other_, 3);
       },
       false, true, 4.0f, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    renderGroup* group = nullptr;
    solarSystem* where = systemWithGroup(&group);
    where->visibilityMask = player_->ownBit;
    player_->seeAll = true;
    c.fill(*this, where);
    hoveredGraphicsObject = c.focused ? group : nullptr;
    EXPECT_FALSE(group->update());
    EXPECT_EQ(group->getPresenceRing()->isVisible(), c.ringVisible);
    EXPECT_EQ(group->getSystemPlane()->isVisible(), c.planeVisible);
    if (c.ringVisible)
      EXPECT_EQ(ringShininess(group), c.material);
    if (c.colour != 0) {
      irr::video::SColor top, bottom;
      group->getPresenceRing()->getColor(top, bottom);
      EXPECT_EQ(top.color, c.colour);
    }
    EXPECT_EQ(where->combat.load(), 0);
    hoveredGraphicsObject = nullptr;
    player_->seeAll = false;
  }
}

TEST_F(RenderGroupTest, DistantSystemsWaitLongerAndTheCameraInsideShowsNoRing) {
  renderGroup* group = nullptr;
  solarSystem* where = systemWithGroup(&group);
  setStats(where, other_, 1.0f, 1.0f, 0.0f);
  populate(where, OT_Hulled, other_, 1);
  player_->seeAll = true;

  // The edge 35,000 away with the falloff at 35,000: 250 ms and the jitter.
  ASSERT_EQ(renderGroupFalloff(), 35000.0f);
  gameCamera.lastPosition.set(35000.0f + where->radius, 0.0f, 0.0f);
  group->update();
  EXPECT_GE(group->nextUpdate, fakeNow + 249);
  EXPECT_LE(group->nextUpdate, fakeNow + 251);
  EXPECT_EQ(renderGroupDelayMs(35000.0f), 250u);

  // Before that time only a hovered system's ring turns; its children wait.
  auto* child = static_cast<gfxobjtest::CountingGraphics*>(group->getChildren()[0].get());
  const int updates = child->updates;
  fakeNow += 100;
  group->update();
  EXPECT_EQ(child->updates, updates);
  fakeNow = group->nextUpdate;
  group->update();
  EXPECT_EQ(child->updates, updates + 1);

  // A smaller falloff makes the same distance wait longer.
  setRenderGroupFalloff(5000.0f);
  EXPECT_EQ(renderGroupDelayMs(35000.0f), 437u);
  setRenderGroupFalloff(35000.0f);

  // Inside the system: no ring, and the next update is not put off.
  gameCamera.lastPosition.set(10.0f, 0.0f, 0.0f);
  fakeNow = group->nextUpdate + 1;
  const irr::u32 before = group->nextUpdate;
  group->update();
  EXPECT_FALSE(group->getPresenceRing()->isVisible());
  EXPECT_EQ(group->nextUpdate, before);
  player_->seeAll = false;
}

TEST_F(RenderGroupTest, TheFirstCombatTheLocalPlayerDominatesWarnsOnceAndNoOtherCombatDoes) {
  auto* device = new CountingSoundDevice;
  audio::ISoundDevice* keptDevice = soundDevice;
  soundDevice = device;
  auto* warning = new FakeSource(device);
  NamedVar<audio::ISoundSource*>::getOrAdd(gfxResources.sounds, L"attack_warn").value = warning;
  other_->getRelation(player_)->enemy = true;
  player_->getRelation(other_)->enemy = true;
  player_->seeAll = true;

  // The player holds a planet and is armed; the enemy is here unarmed.
  auto combatIn = [&](renderGroup** group, const wchar_t* name) {
    solarSystem* where = systemWithGroup(group);
    where->name = name;
    setStats(where, player_, 1.0f, 5.0f, 1.0f);
    setStats(where, other_, 1.0f, 0.0f, 0.0f);
    populate(where, OT_Planet, player_, 1);
    return where;
  };

  // Before the game runs the system is marked warned but nothing is said.
  renderGroup* early = nullptr;
  solarSystem* earlySystem = combatIn(&early, L"Early");
  early->update();
  EXPECT_EQ(earlySystem->combat.load(), -1);
  EXPECT_TRUE(early->warned);
  EXPECT_TRUE(player_->messages.empty());
  EXPECT_TRUE(device->created.empty());

  gameLoaded = true;
  renderGroup* first = nullptr;
  solarSystem* firstSystem = combatIn(&first, L"Vega");
  first->update();
  ASSERT_EQ(player_->messages.size(), 1u);
  // Each text is copied at once: a missing key's text lasts until the next.
  const stringw the = getLocalizedText(L"#EM_The");
  const stringw attacked = getLocalizedText(L"#EM_SysAttacked");
  const stringw expected =
      stringw(L"#col:red##link:o") + stringw(firstSystem->uid) + L"#" + the + L"Vega" + attacked + L"#link##col#";
  EXPECT_EQ(player_->messages.back().text, expected);
  EXPECT_EQ(*player_->messages.back().category, stringw(L"war"));
  ASSERT_EQ(device->created.size(), 1u);
  EXPECT_EQ(device->created[0], warning);

  // Again in that system, and in another: nothing more.
  fakeNow = first->nextUpdate + 1;
  first->update();
  renderGroup* second = nullptr;
  combatIn(&second, L"Deneb");
  second->update();
  EXPECT_TRUE(second->warned);
  EXPECT_EQ(player_->messages.size(), 1u);
  EXPECT_EQ(device->created.size(), 1u);

  // A fight the player does not dominate is marked but never warned about.
  renderGroup* lost = nullptr;
  solarSystem* lostSystem = systemWithGroup(&lost);
  setStats(lostSystem, player_, 1.0f, 0.0f, 0.0f);
  setStats(lostSystem, other_, 1.0f, 9.0f, 1.0f);
  populate(lostSystem, OT_Planet, other_, 1);
  lost->update();
  EXPECT_EQ(lostSystem->combat.load(), -1);
  EXPECT_FALSE(lost->warned);

  player_->seeAll = false;
  gfxResources.sounds.clear();
  warning->drop();
  soundDevice = keptDevice;
  device->drop();
}

TEST_F(RenderGroupTest, TheGalaxyGroupWithoutSystemsUpdatesNothing) {
  solarSystem* galaxyObject = new FakeGalaxy();
  objects_.push_back(galaxyObject);
  renderGroup* group = createGalaxyRenderGroup(galaxyObject);
  ASSERT_NE(group, nullptr);
  made_.emplace_back(group);
  EXPECT_FALSE(group->throttled);
  EXPECT_EQ(group->getNode()->getParent(), scene()->getRootSceneNode());
  EXPECT_EQ(renderGroupMap[galaxyObject], group);
  EXPECT_FALSE(group->update());
  EXPECT_EQ(group->getChildren().size(), 0u);

  setCurrentViewGroup(group);
  EXPECT_EQ(currentViewGroup(), group);
}

TEST_F(RenderGroupTest, ASystemsPlaneIsASelectRingOfItsRadiusSharingTheRingsRenderState) {
  auto* disc = new irr::video::SMaterial();
  disc->Shininess = 42.0f;
  NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, L"planeDisc").value = disc;
  for (bool shaders : {false, true}) {
    SCOPED_TRACE(shaders);
    shadersEnabled = shaders;
    renderGroup* group = nullptr;
    solarSystem* owner = systemWithGroup(&group);
    auto* plane = dynamic_cast<irr::scene::CSelectRing*>(group->getSystemPlane());
    ASSERT_NE(plane, nullptr);
    EXPECT_EQ(plane->getParent(), group->getNode());
    EXPECT_FALSE(plane->isVisible());
    EXPECT_EQ(plane->getMaterial(0).Shininess, 42.0f);
    EXPECT_EQ(plane->getVertices()[0].Pos, vector3df(-1.0f, 0.0f, -1.0f)) << "the group's first radius";

    owner->radius = 300.0f;
    group->setRadius(owner->radius);
    EXPECT_EQ(plane->getVertices()[3].Pos, vector3df(300.0f, 0.0f, 300.0f));
    EXPECT_EQ(plane->getScale(), vector3df(1.0f, 1.0f, 1.0f));

    irr::scene::INodeUserSettings* state = plane->getUserSettings();
    auto* ring = dynamic_cast<irr::scene::IUserSettingsNode*>(group->getPresenceRing());
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(state, ring->getUserSettings());
    EXPECT_EQ(state != nullptr, shaders);
    if (shaders) {
      EXPECT_EQ(shaderObjectStateOf(plane), dynamic_cast<IShaderObjectState*>(state));
    }
  }
}

// One world of systems, rebuilt identically for each way of updating.
struct World {
  solarSystem* galaxyObject = nullptr;
  renderGroup* galaxyGroup = nullptr;
  std::vector<solarSystem*> systems;
  std::vector<renderGroup*> groups;
};

// What a frame left in every system's group, in system order.
struct Snapshot {
  std::vector<uint32_t> values;
  bool operator==(const Snapshot& other) const { return values == other.values; }
};

class RenderGroupThreadsTest : public RenderGroupTest {
 protected:
  void addSystem(World& world, std::mt19937& random) {
    renderGroup* group = nullptr;
    const float x = static_cast<float>(world.systems.size() % 20) * 4000.0f;
    const float z = static_cast<float>(world.systems.size() / 20) * 4000.0f;
    solarSystem* where = system();
    where->position.set(x, 0.0f, z);
    where->setContainer(world.galaxyObject);
    group = new renderGroup(where);
    made_.emplace_back(group);
    empire* holders[] = {player_, other_, third_, minor_};
    for (int i = 0; i < 3; ++i) {
      empire* emp = holders[random() % 3];
      setStats(where, emp, static_cast<float>(random() % 4), static_cast<float>(random() % 3),
               static_cast<float>(random() % 2));
    }
    if (random() % 2 == 0)
      where->visibilityMask = player_->ownBit;
    const int things = static_cast<int>(random() % 5);
    for (int i = 0; i < things; ++i)
      populate(where, random() % 2 == 0 ? OT_Planet : OT_Hulled, holders[random() % 4], 1);
    world.systems.push_back(where);
    world.groups.push_back(group);
  }

  Snapshot snapshot(const World& world) {
    Snapshot out;
    for (size_t i = 0; i < world.groups.size(); ++i) {
      const renderGroup* group = world.groups[i];
      if (!group->attached)
        continue;
      out.values.insert(out.values.end(), {group->heldPlanets, group->heldShips, group->ships, group->planets,
                                           group->nextUpdate, static_cast<uint32_t>(world.systems[i]->combat.load()),
                                           static_cast<uint32_t>(group->getPresenceRing() != nullptr &&
                                                                 group->getPresenceRing()->isVisible())});
      const auto& children = group->getChildren();
      for (irr::u32 c = 0; c < children.size(); ++c)
        out.values.push_back(children[c]->getHideMask() * 256u + children[c]->getStateByte());
    }
    return out;
  }

  // Runs `frames` frames over a world of `count` systems, adding and
  // removing systems between frames, and records every frame.
  std::vector<Snapshot> run(bool threaded, int count, int frames) {
    bThreadedGraphics = threaded;
    fakeNow = 1000;
    std::mt19937 random(7);
    World world;
    world.galaxyObject = new FakeGalaxy();
    objects_.insert(objects_.begin(), world.galaxyObject);  // destroyed last
    world.galaxyGroup = createGalaxyRenderGroup(world.galaxyObject);
    made_.emplace_back(world.galaxyGroup);
    for (int i = 0; i < count; ++i)
      addSystem(world, random);
    std::vector<Snapshot> out;
    for (int frame = 0; frame < frames; ++frame) {
      gameCamera.lastPosition.set(static_cast<float>(frame % 97) * 800.0f, 3000.0f, static_cast<float>(frame % 13) * 6000.0f);
      EXPECT_FALSE(world.galaxyGroup->update());
      out.push_back(snapshot(world));
      fakeNow += 16;
      if (frame % 50 == 10)
        addSystem(world, random);
      if (frame % 50 == 30) {
        // The system stops being valid: its group removes itself next frame.
        solarSystem* leaving = world.systems[random() % world.systems.size()];
        leaving->clearFlag(FLAG_VALID);
        invalid_.push_back(leaving);
      }
    }
    for (solarSystem* leaving : invalid_)
      leaving->setFlag(FLAG_VALID);  // so that the fixture can destroy it
    invalid_.clear();
    return out;
  }

  std::vector<solarSystem*> invalid_;
};

TEST_F(RenderGroupThreadsTest, ThreadedAndSingleThreadedUpdatesAgreeFrameByFrame) {
  // A lost hand-over would hang the threaded run: the test's time limit is
  // the safety net.
  const std::vector<Snapshot> single = run(false, 200, 1000);
  TearDown();
  SetUp();
  const std::vector<Snapshot> twoThreads = run(true, 200, 1000);
  ASSERT_EQ(single.size(), twoThreads.size());
  for (size_t frame = 0; frame < single.size(); ++frame) {
    ASSERT_TRUE(single[frame] == twoThreads[frame]) << "frame " << frame;
  }
  // The frames did change something: rings came and went.
  EXPECT_FALSE(single.front() == single.back());
}

}  // namespace

}  // namespace render_group_test
