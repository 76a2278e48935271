#include "universe/objects/game_object.h"

#include <gtest/gtest.h>

#include <string>

#include "core/locale.h"
#include "core/net_encoders.h"
#include "design/build/constructible.h"
#include "universe_fixture.h"

namespace game_object_test {

namespace {

using ObjectTreeTest = UniverseTest;

TEST_F(ObjectTreeTest, DestructionHandsChildrenToTheContainerOnce) {
  solarSystem* system = new solarSystem();
  TestObject* parent = new TestObject(red);
  TestObject* child = new TestObject(red);
  parent->setContainer(system);
  child->setContainer(parent);
  child->position = {5, 0, 0};
  parent->position = {10, 0, 0};

  parent->grab();  // keep it to look at after its own reference goes
  parent->destroyNow(false);
  EXPECT_FALSE(parent->isValid());
  EXPECT_EQ(parent->container.load(), nullptr);
  EXPECT_EQ(child->container.load(), system);
  EXPECT_EQ(child->position, vector3df(15, 0, 0)) << "the child keeps its place in space";
  ASSERT_EQ(system->children.size(), 1u);
  EXPECT_EQ(system->children[0].get(), child);
  EXPECT_EQ(parent->refCount.load(), 1);

  parent->destroyNow(false);  // nothing a second time
  EXPECT_EQ(parent->refCount.load(), 1);
  EXPECT_TRUE(parent->drop()) << "deleted with its last reference";

  child->destroyNow(false);
  system->destroyNow(false);
}

TEST_F(ObjectTreeTest, StatisticsFollowObjectsInAndOut) {
  solarSystem* system = new solarSystem();
  TestObject* ship = new TestObject(red, OT_Hulled);
  ship->strength = 4.0f;
  gameTime = 12.0;
  ship->setContainer(system);
  ship->setContainer(system);  // already there: nothing counted twice
  EXPECT_FLOAT_EQ(presence(system, red), 1.0f);
  Stats& stats = getEmpireStats(*system->systemStats, red);
  EXPECT_FLOAT_EQ(getStatValue(stats, L"visited"), 12.0f);
  EXPECT_FLOAT_EQ(getStatValue(stats, L"str"), 4.0f);

  TestObject* planet = new TestObject(blue, OT_Planet);
  planet->setContainer(system);
  EXPECT_FLOAT_EQ(getStatValue(getEmpireStats(*system->systemStats, blue), L"planets"), 1.0f);

  // An owner change moves the presence between the empires.
  ship->setOwner(blue);
  EXPECT_FLOAT_EQ(presence(system, red), 0.0f);
  EXPECT_FLOAT_EQ(presence(system, blue), 2.0f);

  // Destroyed objects leave no entry without an empire behind.
  ship->destroyNow(false);
  planet->destroyNow(false);
  for (irr::u32 i = 0; i < system->systemStats->size(); ++i)
    EXPECT_NE((*system->systemStats)[i].emp, nullptr);
  EXPECT_FLOAT_EQ(presence(system, blue), 0.0f);
  EXPECT_FLOAT_EQ(getStatValue(getEmpireStats(*system->systemStats, blue), L"planets"), 0.0f);

  // Without statistics active nothing is counted on the way in.
  statisticsActive = false;
  TestObject* late = new TestObject(red);
  late->setContainer(system);
  EXPECT_FLOAT_EQ(presence(system, red), 0.0f);
  late->setContainer(nullptr);
  EXPECT_FLOAT_EQ(presence(system, red), 0.0f) << "nor on the way out";
  late->destroyNow(false);
  system->destroyNow(false);
}

TEST_F(ObjectTreeTest, OwnerChangeKeepsEmpireStatsAndObjectSets) {
  TestObject* planet = new TestObject(red, OT_Planet);
  planet->setOwner(blue);
  EXPECT_FLOAT_EQ(blue->getStat(L"Planet"), 1.0f);
  EXPECT_FLOAT_EQ(red->getStat(L"Planet"), -1.0f);
  EXPECT_EQ(blue->objects.count(planet), 1u);
  planet->setOwner(nullptr);
  EXPECT_EQ(blue->objects.count(planet), 0u);
  EXPECT_FLOAT_EQ(blue->getStat(L"Planet"), 0.0f);

  // While the simulation runs, the object sets change on the empire's step.
  simulationRunning = true;
  planet->setOwner(red);
  EXPECT_EQ(red->objects.count(planet), 0u);
  runEmpireJobs(red);
  EXPECT_EQ(red->objects.count(planet), 1u);
  simulationRunning = false;
  planet->destroyNow(false);
}

TEST_F(ObjectTreeTest, LargeObjectsAreSeenByEveryone) {
  struct Case {
    float radius;
    bool alwaysVisible;
  };
  for (const Case& c : {Case{60.0f, true}, Case{59.5f, false}, Case{1000.0f, true}}) {
    solarSystem* system = new solarSystem();
    TestObject* object = new TestObject(red);
    object->radius = c.radius;
    object->setContainer(system);
    EXPECT_EQ(object->hasFlag(FLAG_ALWAYS_VISIBLE), c.alwaysVisible) << c.radius;
    EXPECT_EQ(object->isVisibleTo(blue), c.alwaysVisible) << "blue has no presence there";
    object->destroyNow(false);
    system->destroyNow(false);
  }
}

TEST_F(ObjectTreeTest, VisibilityByOwnerAndAlliance) {
  TestObject* object = new TestObject(red);
  EXPECT_TRUE(object->isOwnerVisibleTo(red, false));
  EXPECT_FALSE(object->isOwnerVisibleTo(blue, false));
  EXPECT_TRUE(object->isOwnerVisibleTo(blue, true));
  red->getRelation(blue)->allied = true;
  EXPECT_TRUE(object->isOwnerVisibleTo(blue, false));
  EXPECT_FALSE(object->isOwnerVisibleTo(nullptr, false));
  blue->seeAll = true;
  red->getRelation(blue)->allied = false;
  EXPECT_TRUE(object->isVisibleTo(blue));
  object->destroyNow(false);
}

TEST_F(ObjectTreeTest, UnderAttackForFourSeconds) {
  TestObject* object = new TestObject(red);
  setObjectTestClock(10000);
  object->setLastAttacked(true);
  setObjectTestClock(10000 + 3999);
  EXPECT_TRUE(object->isUnderAttack());
  setObjectTestClock(10000 + 4000);
  EXPECT_FALSE(object->isUnderAttack());
  setObjectTestClock(10500);
  EXPECT_TRUE(object->isUnderAttack());
  object->setLastAttacked(false);
  EXPECT_FALSE(object->isUnderAttack());
  object->destroyNow(false);
}

TEST_F(ObjectTreeTest, TickCarriesOutARequestedDestruction) {
  solarSystem* system = new solarSystem();
  TestObject* object = new TestObject(red);
  object->setContainer(system);
  object->grab();
  object->destroy(true);
  EXPECT_TRUE(object->hasFlag(FLAG_QUIET_DESTROY));
  object->tick(0.1f);
  EXPECT_FALSE(object->isValid());
  EXPECT_EQ(system->children.size(), 0u);
  object->drop();
  system->destroyNow(false);
}

// --- Messages --------------------------------------------------------------

TEST_F(ObjectTreeTest, ServerTellsOfOwnerChangesAndDestruction) {
  networkManager->isServer = true;
  TestObject* object = new TestObject(red);
  object->setOwner(blue);
  object->setOwner(nullptr);
  ASSERT_EQ(sent.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    RakNet::BitStream stream(sent[i].bytes.data(), sent[i].bytes.size(), false);
    uint8_t id = 0, subKind = 9, ownerID = 0;
    ASSERT_TRUE(stream.Read(id));
    EXPECT_EQ(id, 138);
    EXPECT_EQ(readNetUInt(stream), object->uid);
    ASSERT_TRUE(stream.Read(subKind));
    EXPECT_EQ(subKind, 0);
    ASSERT_TRUE(stream.Read(ownerID));
    EXPECT_EQ(ownerID, i == 0 ? blue->ID : 131);
    EXPECT_EQ(sent[i].channel, 2);
  }
  sent.clear();
  const uint32_t uid = object->uid;
  object->destroyNow(false);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].bytes, (std::vector<uint8_t>{124, uint8_t(uid >> 24), uint8_t(uid >> 16), uint8_t(uid >> 8),
                                                  uint8_t(uid)}));
}

// --- Build queue -----------------------------------------------------------

// An item paid at once; it records its completion.
class TestItem : public constructible {
 public:
  TestItem(const wchar_t* itemName, bool ship, std::vector<std::wstring>* completed)
      : name_(itemName), ship_(ship), completed_(completed) {}
  void complete(generic_object*) override { completed_->push_back(name_.c_str()); }
  irr::core::stringw getName() const override { return name_; }
  bool buildsShip() const override { return ship_; }
  constructible* clone() const override { return new TestItem(name_.c_str(), ship_, completed_); }

 private:
  irr::core::stringw name_;
  bool ship_;
  std::vector<std::wstring>* completed_;
};

TEST_F(ObjectTreeTest, FinishedItemsCompleteInQueueOrderAndAreAnnounced) {
  std::vector<std::wstring> completed;
  TestObject* yard = new TestObject(red, OT_Generic, L"Yard");
  yard->addConstructible(new TestItem(L"a", true, &completed));
  yard->addConstructible(new TestItem(L"b", false, &completed));
  yard->addConstructible(new TestItem(L"", true, &completed));
  yard->tick(0.1f);
  EXPECT_EQ(completed, (std::vector<std::wstring>{L"a", L"b", L""}));
  EXPECT_EQ(yard->buildQueue.size(), 0u);

  const std::wstring link = L"#link:o" + std::to_wstring(yard->uid) + L"#Yard" + getLocalizedText(L"#EM_Built");
  ASSERT_EQ(red->messages.size(), 3u);
  auto message = red->messages.begin();
  EXPECT_EQ(std::wstring(message->text.c_str()), link + L": a#link#");
  EXPECT_EQ(std::wstring(message->category->c_str()), L"build");
  EXPECT_EQ(message->priority, 0);
  ++message;
  EXPECT_EQ(message->priority, -10);
  ++message;
  EXPECT_EQ(std::wstring(message->text.c_str()), link + L"#link#");
  yard->destroyNow(false);
}

TEST_F(ObjectTreeTest, RepeatedItemsWaitForTheNextTick) {
  std::vector<std::wstring> completed;
  TestObject* yard = new TestObject(red);
  yard->setRepeatQueue(true);
  EXPECT_TRUE(yard->getRepeatQueue());
  yard->addConstructible(new TestItem(L"a", true, &completed));
  yard->addConstructible(new TestItem(L"b", true, &completed));
  yard->tick(0.1f);
  EXPECT_EQ(completed.size(), 2u);
  EXPECT_EQ(yard->buildQueue.size(), 2u);
  yard->tick(0.1f);
  EXPECT_EQ(completed, (std::vector<std::wstring>{L"a", L"b", L"a", L"b"}));
  yard->destroyNow(false);
}

TEST_F(ObjectTreeTest, QueueItemsMove) {
  struct Case {
    unsigned from, to;
    const wchar_t* order;
  };
  const Case cases[] = {
      {0, 99, L"bca"}, {2, 0, L"cab"}, {1, 1, L"abc"}, {5, 0, L"abc"}, {0, 1, L"bac"},
  };
  std::vector<std::wstring> completed;
  for (const Case& c : cases) {
    TestObject* yard = new TestObject(red);
    for (const wchar_t* itemName : {L"a", L"b", L"c"})
      yard->addConstructible(new TestItem(itemName, true, &completed));
    yard->moveConstructible(c.from, c.to);
    std::wstring order;
    for (irr::u32 i = 0; i < yard->buildQueue.size(); ++i)
      order += yard->buildQueue[i]->getName().c_str();
    EXPECT_EQ(order, c.order) << c.from << " -> " << c.to;
    yard->removeConstructible(yard->buildQueue[1]);
    EXPECT_EQ(yard->buildQueue.size(), 2u);
    yard->destroyNow(false);
  }
}

TEST_F(ObjectTreeTest, AClientAsksTheServerToClearItsQueue) {
  std::vector<std::wstring> completed;
  TestObject* yard = new TestObject(red);
  yard->addConstructible(new TestItem(L"a", true, &completed));
  networkManager->isNetworked = true;
  networkManager->isConnected = true;
  yard->addConstructible(new TestItem(L"b", true, &completed));
  EXPECT_EQ(yard->buildQueue.size(), 1u) << "a client keeps no items of its own";
  yard->clearBuildQueue();
  EXPECT_EQ(yard->buildQueue.size(), 1u) << "the server clears it";
  ASSERT_EQ(sent.size(), 1u);
  const uint32_t uid = yard->uid;
  EXPECT_EQ(sent[0].bytes,
            (std::vector<uint8_t>{117, uint8_t(uid >> 24), uint8_t(uid >> 16), uint8_t(uid >> 8), uint8_t(uid), 5}));
  networkManager->isNetworked = false;
  networkManager->isConnected = false;
  yard->clearBuildQueue();
  EXPECT_EQ(yard->buildQueue.size(), 0u);
  yard->destroyNow(false);
}

}  // namespace

}  // namespace game_object_test
