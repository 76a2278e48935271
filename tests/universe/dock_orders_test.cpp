// The dock order, and the records shared by the dock, retrofit and scuttle
// orders (save form, network form, the post-load host fix-up).
#include "universe/orders/dock_orders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "core/locale.h"
#include "core/net_encoders.h"
#include "core/post_load.h"
#include "support/save_bytes.h"
#include "universe/movement/mobile_mover.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/repeat_orders.h"
#include "universe/orders/unit_ai.h"
#include "movement_fixture.h"

namespace dock_orders_test {

namespace {

using OrderPtr = std::unique_ptr<Order>;

class DockOrderTest : public movementtest::MadeObjectsTest {
 protected:
  void SetUp() override {
    MadeObjectsTest::SetUp();
    system = makeSystem();
  }

  // A carrier of radius 10 at the origin of the system.
  TestObject* makeHost(empire* owner, float dockSpace = 1000.0f, const wchar_t* name = L"Carrier") {
    auto* host = new TestObject(owner, OT_Hulled, name);
    host->radius = 10.0f;
    host->dockSpace = dockSpace;
    host->setContainer(system);
    made_.push_back(host);
    return host;
  }

  // A craft of radius 1 with a mobile mover and an order queue.
  TestObject* makeCraft(const vector3df& position, float thrust = 1.0f) {
    auto* craft = new TestObject(red, OT_Hulled, L"Craft");
    auto* mover = new MobileMover();
    mover->thrust = thrust;
    craft->mover = mover;
    craft->setContainer(system);
    craft->position = position;
    auto* ai = new UnitAI(craft);
    craft->setAI(ai);
    ai->drop();
    made_.push_back(craft);
    return craft;
  }

  // Destroys `object` now rather than at the end of the test.
  void destroyEarly(generic_object* object) {
    made_.erase(std::find(made_.begin(), made_.end(), object));
    object->destroyNow(false);
  }

  static UnitAI& queueOf(generic_object* object) { return *static_cast<UnitAI*>(object->ai); }

  static bool isDockedIn(const generic_object* host, const generic_object* object) {
    for (irr::u32 i = 0; i < host->docked.size(); ++i)
      if (host->docked[i].object == object)
        return true;
    return false;
  }

  static Bytes saved(const Order& order) {
    auto stream = SaveStream::createInMemory();
    order.save(*stream);
    return writtenBody(*stream);
  }

  static OrderPtr load(const Bytes& record) {
    const Bytes file = withHeader(record);
    auto stream = readerOver(file);
    const uint8_t type = stream->readU8();
    return OrderPtr(readHostOrderSave(type, *stream));
  }

  solarSystem* system = nullptr;
};

// --- Docking -------------------------------------------------------------------

// Run outside the craft's queue, so the answer can be seen: docking clears
// the queue, which would take a queued order with it.
TEST_F(DockOrderTest, DocksWhenCloseOrParkedElseFliesThereFirst) {
  const struct {
    const char* what;
    bool foreignHost;
    float dockSpace;
    float x;  // the craft's distance from the host's centre
    float thrust;
    bool parked;
    OrderResult result;
    bool docks;
    bool getsGoto;
  } cases[] = {
      {"a host of another empire ends the order", true, 1000.0f, 5.0f, 1.0f, false, Done, false, false},
      {"parked at the host and immobile docks from afar", false, 1000.0f, 100.0f, 0.0f, true, Docked, true, false},
      {"within ((R + r) x 2)^2 docks", false, 1000.0f, 22.0f, 1.0f, false, Docked, true, false},
      {"a refused docking ends the order", false, 1.0f, 22.0f, 1.0f, false, Done, false, false},
      {"farther away flies there first", false, 1000.0f, 22.5f, 1.0f, false, Yielded, false, true},
      {"parked but able to move flies there first", false, 1000.0f, 100.0f, 1.0f, true, Yielded, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestObject* host = makeHost(c.foreignHost ? blue : red, c.dockSpace);
    TestObject* craft = makeCraft(vector3df(c.x, 0, 0), c.thrust);
    if (c.parked) {
      MobileMover::of(craft)->orbitAround(*craft, host);
      ASSERT_EQ(MobileMover::of(craft)->getParkedOrbitBody(), host);
    }

    dock_order order(host);
    EXPECT_EQ(order.execute(*craft), c.result);
    EXPECT_EQ(isDockedIn(host, craft), c.docks);
    const auto* flight = dynamic_cast<goto_order*>(queueOf(craft).getOrder(0));
    ASSERT_EQ(flight != nullptr, c.getsGoto);
    if (flight != nullptr) {
      EXPECT_EQ(flight->target, host);
      EXPECT_FLOAT_EQ(flight->distance, 5.0f) << "half the host's radius";
      EXPECT_EQ(flight->homeContainer, nullptr) << "follows the host anywhere";
    }
  }
}

// A queued dock order is deleted by the docking it does; the queue's tick
// must not touch it afterwards (under the address sanitizer).
TEST_F(DockOrderTest, AQueuedDockOrderThatDocksLeavesAnEmptyQueue) {
  TestObject* host = makeHost(red);
  TestObject* craft = makeCraft(vector3df(15, 0, 0));
  UnitAI& queue = queueOf(craft);
  queue.appendOrder(new dock_order(host));
  queue.appendOrder(new move_order(vector3df(100, 0, 0), 0.0f));

  queue.tick();
  EXPECT_TRUE(isDockedIn(host, craft));
  EXPECT_EQ(queue.getOrderCount(), 0u);
}

// Inside a repeating order the docking deletes the repeat order too, which
// must pass the answer on rather than a "running" that sends the queue back
// to it.
TEST_F(DockOrderTest, ADockInsideARepeatOrderLeavesAnEmptyQueue) {
  TestObject* host = makeHost(red);
  TestObject* craft = makeCraft(vector3df(15, 0, 0));
  auto* repeat = new repeat_orders;
  repeat->orders.push_back(new dock_order(host));
  queueOf(craft).appendOrder(repeat);

  queueOf(craft).tick();
  EXPECT_TRUE(isDockedIn(host, craft));
  EXPECT_EQ(queueOf(craft).getOrderCount(), 0u);
}

TEST_F(DockOrderTest, AGoneHostEndsTheOrder) {
  TestObject* host = makeHost(red);
  TestObject* craft = makeCraft(vector3df(15, 0, 0));
  dock_order order(host);
  destroyEarly(host);
  EXPECT_EQ(order.execute(*craft), Done);
  EXPECT_EQ(dock_order(nullptr).execute(*craft), Done);
}

TEST_F(DockOrderTest, CopiesAndDescriptionsNameTheHost) {
  TestObject* host = makeHost(red);
  retrofit_order retrofit(host);
  retrofit.started = true;
  host->setOwner(blue);  // the copy keeps the owner recorded at the start

  OrderPtr dockCopy(dock_order(host).clone());
  OrderPtr retrofitCopy(retrofit.clone());
  OrderPtr scuttleCopy(scuttle_order(host).clone());
  EXPECT_EQ(dockCopy->getTarget(), host);
  auto* retrofitted = static_cast<retrofit_order*>(retrofitCopy.get());
  EXPECT_EQ(retrofitted->host, host);
  EXPECT_EQ(retrofitted->hostOwner, red);
  EXPECT_TRUE(retrofitted->started);
  EXPECT_EQ(static_cast<scuttle_order*>(scuttleCopy.get())->hostOwner, blue);

  EXPECT_EQ(dockCopy->describe(), irr::core::stringw(L"Dock in Carrier"));
  EXPECT_EQ(retrofitCopy->describe(), irr::core::stringw(getLocalizedText(L"#retrofitAt")) + L" Carrier");
  EXPECT_EQ(scuttleCopy->describe(), irr::core::stringw(getLocalizedText(L"#scuttleAt")) + L" Carrier");
}

// --- Records -------------------------------------------------------------------

TEST_F(DockOrderTest, SavedRecordsHoldTheTypeAndThePackedHostUid) {
  nextUid.store(300);
  TestObject* host = makeHost(red);
  ASSERT_EQ(host->uid, 300u);
  EXPECT_EQ(hexText(saved(dock_order(host))), hex("07 03 2C 01"));
  EXPECT_EQ(hexText(saved(retrofit_order(host))), hex("10 03 2C 01"));
  EXPECT_EQ(hexText(saved(scuttle_order(host))), hex("12 03 2C 01"));

  scuttle_order lost(host);
  destroyEarly(host);
  EXPECT_EQ(hexText(saved(lost)), hex("00")) << "a host that is gone is not restored";
  EXPECT_EQ(hexText(saved(dock_order(nullptr))), hex("00"));
}

TEST_F(DockOrderTest, LoadedOrdersFindTheirHostNowOrAfterTheTree) {
  for (const char* record : {"07", "10", "12"}) {
    SCOPED_TRACE(record);
    TestObject* present = makeHost(blue);
    Bytes bytes = hexBytes(record);
    auto stream = SaveStream::createInMemory();
    stream->writePackedUInt(present->uid);
    const Bytes uid = writtenBody(*stream);
    bytes.insert(bytes.end(), uid.begin(), uid.end());

    OrderPtr now = load(bytes);
    ASSERT_NE(now, nullptr);
    EXPECT_EQ(now->getType(), bytes[0]);
    EXPECT_EQ(now->getTarget(), present);
    if (auto* hosted = dynamic_cast<host_order*>(now.get()))
      EXPECT_EQ(hosted->hostOwner, blue);

    // A UID no object has yet: resolved once the tree is complete.
    const uint32_t later = nextUid.load() + 5;
    bytes.resize(1);
    auto laterStream = SaveStream::createInMemory();
    laterStream->writePackedUInt(later);
    const Bytes laterUid = writtenBody(*laterStream);
    bytes.insert(bytes.end(), laterUid.begin(), laterUid.end());
    OrderPtr afterTree = load(bytes);
    ASSERT_NE(afterTree, nullptr);
    EXPECT_EQ(afterTree->getTarget(), nullptr);
    nextUid.store(later);
    TestObject* loadedLater = makeHost(blue);
    runPostObjectTreeSteps();
    EXPECT_EQ(afterTree->getTarget(), loadedLater);
    if (auto* hosted = dynamic_cast<host_order*>(afterTree.get()))
      EXPECT_EQ(hosted->hostOwner, blue);
    if (auto* retrofit = dynamic_cast<retrofit_order*>(afterTree.get()))
      EXPECT_FALSE(retrofit->started);
  }
}

TEST_F(DockOrderTest, AShortSavedRecordIsAnError) {
  EXPECT_THROW(load(hexBytes("07 03 2C")), SaveFileError);
}

TEST_F(DockOrderTest, NetworkRecordsCarryTheHostReference) {
  TestObject* host = makeHost(blue);
  const Order* orders[] = {new dock_order(host), new retrofit_order(host), new scuttle_order(host)};
  for (const Order* sent : orders) {
    SCOPED_TRACE(sent->getType());
    RakNet::BitStream stream;
    sent->writeNetwork(stream);
    uint8_t type = 0;
    ASSERT_TRUE(stream.Read(type));
    EXPECT_EQ(type, sent->getType());
    OrderPtr received(readHostOrderNetwork(type, stream));
    ASSERT_NE(received, nullptr);
    EXPECT_EQ(received->getType(), sent->getType());
    EXPECT_EQ(received->getTarget(), host);
    if (auto* hosted = dynamic_cast<const host_order*>(received.get()))
      EXPECT_EQ(hosted->hostOwner, blue);
    delete sent;
  }

  RakNet::BitStream empty;
  EXPECT_EQ(readHostOrderNetwork(OrdT_Dock, empty), nullptr) << "a short record";
  RakNet::BitStream unknown;
  writeNetUInt(unknown, nextUid.load() + 100);
  EXPECT_EQ(readHostOrderNetwork(OrdT_Scuttle, unknown), nullptr) << "no object has the UID";
}

}  // namespace

}  // namespace dock_orders_test
