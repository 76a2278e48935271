// Docking: the room a host has, what docking and undocking change on both
// objects, the Fuel transfer an undocked object takes, the messages a
// network server sends, filtered release, and the docked objects of a host
// that is destroyed.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <vector>

#include "core/net_encoders.h"
#include "movement_fixture.h"
#include "universe/movement/mobile_mover.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/star.h"
#include "universe/orders/cargo_orders.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/unit_ai.h"

namespace docking_test {

namespace {

using movementtest::expectNear;

// An order that automation keeps running.
class AutomationOrder : public Order {
 public:
  bool isAutomation() const override { return true; }
  OrderResult execute(generic_object&) override { return Running; }
};

// Refuses one object.
class AllBut : public OnUnDock {
 public:
  explicit AllBut(generic_object* kept) : kept_(kept) {}
  bool release(generic_object* object) override {
    asked.push_back(object);
    return object != kept_;
  }
  std::vector<generic_object*> asked;

 private:
  generic_object* kept_;
};

class DockingTest : public movementtest::MadeObjectsTest {
 protected:
  void SetUp() override {
    MadeObjectsTest::SetUp();
    system = makeSystem(vector3df(1000.0f, 0.0f, 0.0f));
  }

  TestObject* makeObject(float radius, const vector3df& position, MoveHandler* mover = nullptr, bool withAI = false) {
    auto* object = new TestObject(red);
    object->radius = radius;
    object->position = position;
    object->mover = mover;
    if (withAI) {
      auto* unit = new UnitAI(object, false);
      object->setAI(unit);
      unit->drop();
    }
    object->setContainer(system);
    made_.push_back(object);
    return object;
  }

  TestObject* makeHost() {
    TestObject* host = makeObject(3.0f, vector3df(10.0f, 0.0f, 20.0f), nullptr, true);
    host->dockSpace = 100.0f;
    host->velocity.set(1.0f, 0.0f, -2.0f);
    host->localTime = 42.0;
    return host;
  }

  // The message 138 of `subKind` among those sent, read past the sub-kind.
  RakNet::BitStream* eventOf(uint8_t subKind, std::deque<RakNet::BitStream>& keep, uint32_t hostUid) {
    for (const SentMessage& message : sent) {
      keep.emplace_back(message.bytes.data(), message.bytes.size(), true);
      RakNet::BitStream& stream = keep.back();
      uint8_t id = 0, kind = 0;
      if (!stream.Read(id) || id != 138 || readNetUInt(stream) != hostUid || !stream.Read(kind) || kind != subKind)
        continue;
      EXPECT_EQ(message.channel, 2);
      EXPECT_EQ(message.reliability, RakNet::RELIABLE_ORDERED);
      return &stream;
    }
    return nullptr;
  }

  solarSystem* system = nullptr;
};

TEST_F(DockingTest, RoomMustBeStrictlyLargerThanTheRadiusSquared) {
  const struct {
    float radius;
    bool docks;
  } cases[] = {{5.0f, false}, {4.99f, true}, {6.0f, false}, {0.5f, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.radius);
    TestObject* host = makeHost();
    host->dockSpace = 26.0f;
    host->dockUsed = 1.0f;
    TestObject* object = makeObject(c.radius, vector3df(0, 0, 0));
    EXPECT_EQ(host->dockObject(object), c.docks);
    EXPECT_EQ(host->docked.size(), c.docks ? 1u : 0u);
    EXPECT_EQ(object->container.load(), c.docks ? nullptr : system);
    EXPECT_FLOAT_EQ(host->dockUsed, c.docks ? 1.0f + c.radius * c.radius : 1.0f);
  }
}

TEST_F(DockingTest, DockingTakesTheObjectOutOfTheTreeWithItsMoverAside) {
  TestObject* host = makeHost();
  host->dockUsed = 1.0f;
  host->dockedMass = 0.5;
  auto* mobile = new MobileMover();
  TestObject* object = makeObject(2.0f, vector3df(4.0f, 0.0f, 0.0f), mobile, true);
  object->setBaseMass(7.0);
  object->ai->appendOrder(new move_order(vector3df(1, 2, 3), 1.0f));
  object->ai->appendOrder(new AutomationOrder);
  const int refsBefore = object->refCount.load();

  ASSERT_TRUE(host->dockObject(object));
  EXPECT_FLOAT_EQ(host->dockUsed, 5.0f);
  EXPECT_DOUBLE_EQ(host->dockedMass, 7.5);
  EXPECT_DOUBLE_EQ(host->getMass(), 7.5 + 1.0);
  EXPECT_EQ(object->container.load(), nullptr);
  EXPECT_EQ(system->children.linear_search(heldPointer<generic_object>(object)), -1);
  expectNear(object->position, vector3df(4.0f, 0.0f, 0.0f) - system->position, 0.0f);  // untouched
  EXPECT_EQ(object->mover, nullptr);
  ASSERT_EQ(host->docked.size(), 1u);
  EXPECT_EQ(host->docked[0].object, object);
  EXPECT_EQ(host->docked[0].mover, mobile);
  EXPECT_FLOAT_EQ(host->docked[0].space, 4.0f);
  EXPECT_EQ(object->refCount.load(), refsBefore) << "the entry holds what the container held";
  ASSERT_EQ(object->ai->getOrderCount(), 1u) << "only the automation order stays";
  EXPECT_TRUE(object->ai->getOrder(0)->isAutomation());
  EXPECT_TRUE(sent.empty()) << "a single-player process sends nothing";
}

TEST_F(DockingTest, ANetworkServerTellsOfDockAndUndock) {
  networkManager->isServer = true;
  TestObject* host = makeHost();
  TestObject* first = makeObject(1.0f, vector3df(0, 0, 0));
  TestObject* second = makeObject(1.0f, vector3df(0, 0, 0));
  ASSERT_TRUE(host->dockObject(first));
  ASSERT_TRUE(host->dockObject(second));

  std::deque<RakNet::BitStream> keep;
  RakNet::BitStream* docked = eventOf(1, keep, host->uid);
  ASSERT_NE(docked, nullptr);
  EXPECT_EQ(readNetUInt(*docked), first->uid);
  EXPECT_EQ(docked->GetNumberOfUnreadBits(), 0u);

  sent.clear();
  host->undockObject(1);
  keep.clear();
  RakNet::BitStream* undocked = eventOf(2, keep, host->uid);
  ASSERT_NE(undocked, nullptr);
  uint32_t index = 9;
  float x = 0, y = 0, z = 0, angle = -1;
  ASSERT_TRUE(undocked->Read(index));
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(readNetUInt(*undocked), second->uid);
  ASSERT_TRUE(undocked->Read(x) && undocked->Read(y) && undocked->Read(z) && undocked->Read(angle));
  expectNear(vector3df(x, y, z), second->position, 0.0f);
  EXPECT_EQ(angle, second->rotation.Y);
  EXPECT_EQ(undocked->GetNumberOfUnreadBits(), 0u);
}

TEST_F(DockingTest, UndockingPutsTheObjectBesideTheHostAndQueuesItsFuel) {
  auto* star = new objStar(system, nullptr);
  star->radius = 10.0f;
  star->setContainer(system);
  made_.push_back(star);
  TestObject* host = makeHost();
  auto* mobile = new MobileMover();
  mobile->setParked(true);
  TestObject* object = makeObject(2.0f, vector3df(0, 0, 0), mobile, true);
  object->setBaseMass(7.0);
  ASSERT_TRUE(host->dockObject(object));

  host->undockObject(5);  // out of range: nothing
  ASSERT_EQ(host->docked.size(), 1u);
  host->undockObject(0);
  EXPECT_TRUE(host->docked.empty());
  EXPECT_FLOAT_EQ(host->dockUsed, 0.0f);
  EXPECT_DOUBLE_EQ(host->dockedMass, 0.0);
  EXPECT_EQ(object->container.load(), system);
  EXPECT_NE(system->children.linear_search(heldPointer<generic_object>(object)), -1);
  EXPECT_EQ(object->mover, mobile);
  EXPECT_DOUBLE_EQ(object->localTime, 42.0);
  EXPECT_NEAR((object->position - host->position).getLength(), 2.0f + 3.0f, 1e-4f);
  expectNear(object->velocity, host->velocity, 0.0f);
  EXPECT_EQ(object->rotation.X, 0.0f);
  EXPECT_EQ(object->rotation.Z, 0.0f);
  EXPECT_GE(object->rotation.Y, 0.0f);
  EXPECT_LT(object->rotation.Y, 360.0f);
  expectNear(mobile->destination, object->getPosition());
  EXPECT_EQ(mobile->getParkedOrbitBody(), star) << "its park orbit is restarted";

  ASSERT_GE(object->ai->getOrderCount(), 1u);
  auto* fuel = dynamic_cast<transfer_order*>(object->ai->getOrder(0));
  ASSERT_NE(fuel, nullptr);
  EXPECT_EQ(fuel->mode, 0x82);
  EXPECT_EQ(fuel->amount, 1.0f);
  EXPECT_EQ(fuel->remaining, 1.0f);
  EXPECT_EQ(fuel->minimum, 0.0f);
  EXPECT_EQ(fuel->other, host);
  EXPECT_EQ(fuel->homeContainer, nullptr);
  EXPECT_EQ(*fuel->resource, irr::core::stringw(L"Fuel"));
  EXPECT_EQ(host->ai->getOrderCount(), 0u);
}

TEST_F(DockingTest, WithoutAnAIItsHostGivesTheFuel) {
  TestObject* host = makeHost();
  TestObject* object = makeObject(1.0f, vector3df(0, 0, 0));
  ASSERT_TRUE(host->dockObject(object));
  host->undockObject(0);
  ASSERT_EQ(host->ai->getOrderCount(), 1u);
  auto* fuel = dynamic_cast<transfer_order*>(host->ai->getOrder(0));
  ASSERT_NE(fuel, nullptr);
  EXPECT_EQ(fuel->mode, 2);
  EXPECT_EQ(fuel->other, object);
  EXPECT_EQ(fuel->amount, 1.0f);
  EXPECT_EQ(fuel->remaining, 1.0f);
  EXPECT_EQ(fuel->homeContainer, nullptr);
  EXPECT_EQ(*fuel->resource, irr::core::stringw(L"Fuel"));
}

TEST_F(DockingTest, UndockAllReleasesWhatTheFilterAcceptsInIndexOrder) {
  TestObject* host = makeHost();
  TestObject* craft[3];
  for (TestObject*& c : craft) {
    c = makeObject(1.0f, vector3df(0, 0, 0));
    ASSERT_TRUE(host->dockObject(c));
  }
  AllBut filter(craft[1]);
  host->undockAll(&filter);
  EXPECT_EQ(filter.asked, (std::vector<generic_object*>{craft[0], craft[1], craft[2]}));
  ASSERT_EQ(host->docked.size(), 1u);
  EXPECT_EQ(host->docked[0].object, craft[1]);
  EXPECT_EQ(craft[0]->container.load(), system);
  EXPECT_EQ(craft[1]->container.load(), nullptr);
  EXPECT_EQ(craft[2]->container.load(), system);
  EXPECT_FLOAT_EQ(host->dockUsed, 1.0f);

  host->undockAll(nullptr);
  EXPECT_TRUE(host->docked.empty());
  EXPECT_EQ(craft[1]->container.load(), system);
}

TEST_F(DockingTest, AHostWithoutAContainerKeepsItsDockedObjects) {
  TestObject* host = makeHost();
  TestObject* object = makeObject(1.0f, vector3df(0, 0, 0));
  ASSERT_TRUE(host->dockObject(object));
  host->setContainer(nullptr);
  host->undockObject(0);
  EXPECT_EQ(host->docked.size(), 1u) << "released, it would be in no tree at all";
  host->setContainer(system);
}

TEST_F(DockingTest, DestroyingTheHostDestroysWhatIsDockedInIt) {
  networkManager->isServer = true;
  TestObject* host = makeHost();
  auto* mobile = new MobileMover();
  TestObject* object = makeObject(1.0f, vector3df(0, 0, 0), mobile, true);
  ASSERT_TRUE(host->dockObject(object));
  host->grab();
  object->grab();
  const uint32_t uid = object->uid;
  host->destroyNow(false);
  EXPECT_FALSE(object->isValid());
  EXPECT_EQ(object->mover, nullptr) << "its kept mover went with it";
  EXPECT_EQ(object->getOwner(), nullptr);
  EXPECT_TRUE(host->docked.empty());
  EXPECT_EQ(object->refCount.load(), 1) << "only the test's reference is left";
  const std::vector<uint8_t> destroyed{124, uint8_t(uid >> 24), uint8_t(uid >> 16), uint8_t(uid >> 8), uint8_t(uid)};
  bool told = false;
  for (const SentMessage& message : sent)
    told = told || message.bytes == destroyed;
  EXPECT_TRUE(told) << "the clients hear of the docked object's end";
  made_.erase(std::remove(made_.begin(), made_.end(), host), made_.end());
  made_.erase(std::remove(made_.begin(), made_.end(), object), made_.end());
  object->drop();
  host->drop();
}

}  // namespace

}  // namespace docking_test
