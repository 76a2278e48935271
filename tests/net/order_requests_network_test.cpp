// Orders from a probe playing empire 1 of the tiny map, through the
// server's network manager: how each flag combination places the order in
// an own ship's queue, and the requests that change nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "design/hull_list.h"
#include "net/message_receiver.h"
#include "net_fixture.h"
#include "support/network_child.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/galaxy.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/ships/ship.h"

namespace order_requests_network_test {

namespace {

using netfixture::ServerFixture;
using netprobe::Probe;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kBarrierId = 150;

// Counts the barrier messages each probe sends behind its requests on the
// same ordered channel: once one is counted, everything before it has been
// handled.
class Barrier : public MessageReceiver {
 public:
  void handle(uint8_t, RakNet::BitStream&, NetPlayer*) override { ++count; }
  int count = 0;
};

// The first star system of the galaxy and its star.
generic_object* firstSystem() {
  for (irr::u32 i = 0; i < galaxy->children.size(); ++i)
    if (galaxy->children[i]->getType() == OT_System)
      return galaxy->children[i].get();
  return nullptr;
}

generic_object* starOf(generic_object* system) {
  for (irr::u32 i = 0; i < system->children.size(); ++i)
    if (system->children[i]->getType() == OT_Star)
      return system->children[i].get();
  return nullptr;
}

// A ship of `owner` (null: none) with an empty layout, in `system`.
objHulled* shipIn(generic_object* system, empire* owner, float x) {
  auto* layout = new hull_list(L"Probe", owner);
  auto* ship = new objHulled(owner, layout, new MobileMover());
  layout->drop();  // the ship holds its own
  ship->position = vector3df(x, 0, 1500);
  ship->setContainer(system);
  return ship;
}

std::vector<int> orderTypes(generic_object* object) {
  std::vector<int> types;
  object->lockContainer();
  for (Order* order : static_cast<UnitAI*>(object->ai)->orders)
    types.push_back(order->getType());
  object->unlockContainer();
  return types;
}

// 116 for the UID with `flags`, then `order` (the move order unless given).
Bytes orderMessage(uint32_t uid, uint8_t flags, const Bytes& order) {
  RakNet::BitStream stream;
  stream.Write(ID_OBJECT_ORDER);
  stream.Write(uid);
  stream.Write(flags);
  for (uint8_t byte : order)
    stream.Write(byte);
  return netprobe::bytesOf(stream);
}

Bytes moveOrder() {
  RakNet::BitStream stream;
  move_order(vector3df(3, 0, -4), 10.0f).writeNetwork(stream);
  return netprobe::bytesOf(stream);
}

TEST(OrderRequests, AProbePlayingEmpireOneOrdersItsOwnShipsOnly) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    Barrier barrier;
    server.manager.registerReceiver(kBarrierId, &barrier);
    empire* one = getEmpireByID(1);
    empire* two = getEmpireByID(2);
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);
    Probe player;
    Probe watcher;
    ASSERT_NE(server.attach(player, one), nullptr);
    ASSERT_NE(server.attach(watcher), nullptr);

    generic_object* system = firstSystem();
    ASSERT_NE(system, nullptr);
    generic_object* star = starOf(system);
    ASSERT_NE(star, nullptr);
    objHulled* own = shipIn(system, one, 100.0f);
    objHulled* foreign = shipIn(system, two, 200.0f);
    objHulled* unowned = shipIn(system, nullptr, 300.0f);
    ASSERT_NE(own->ai, nullptr);
    generic_object* goal = starOf(system);

    // Each case starts from [goto, defend]: an order and a standing order.
    const auto reset = [&](objHulled* ship) {
      ship->lockContainer();
      ship->ai->clearOrders(true);
      ship->ai->appendOrder(new goto_order(goal, true, 50.0f));
      ship->ai->appendOrder(createAutomationOrder(L"Defend", nullptr, nullptr));
      MobileMover::of(ship)->destination = vector3df(9000, 0, 0);
      ship->unlockContainer();
    };
    const auto deliver = [&](Probe& from, const Bytes& message) {
      const int before = barrier.count;
      from.send(message);
      from.send(Bytes{kBarrierId});
      ASSERT_TRUE(server.pollUntil([&] { return barrier.count > before; }));
    };
    const Bytes move = moveOrder();
    const std::vector<int> untouched{OrdT_Goto, OrdT_Defend};

    const struct {
      uint8_t flags;
      std::vector<int> after;
    } placed[] = {
        {ORF_Append, {OrdT_Goto, OrdT_Defend, OrdT_Move}},
        {ORF_Append | ORF_ClearFirst, {OrdT_Goto, OrdT_Defend, OrdT_Move}},
        {ORF_BeforeAutomation, {OrdT_Goto, OrdT_Move, OrdT_Defend}},
        {ORF_ClearFirst, {OrdT_Move, OrdT_Defend}},
        {0, {OrdT_Move, OrdT_Goto, OrdT_Defend}},
    };
    for (const auto& c : placed) {
      SCOPED_TRACE(int(c.flags));
      reset(own);
      deliver(player, orderMessage(own->uid, c.flags, move));
      EXPECT_EQ(orderTypes(own), c.after);
    }

    // Clear all and stop: no order is read (what follows is no order).
    reset(own);
    deliver(player, orderMessage(own->uid, ORF_Clear | ORF_ClearAll, Bytes{99, 1, 2}));
    EXPECT_TRUE(orderTypes(own).empty());
    EXPECT_EQ(MobileMover::of(own)->destination, own->getPosition());

    // Nothing changes for these.
    Bytes cut = move;
    cut.resize(cut.size() - 2);
    const struct {
      const char* label;
      Probe* from;
      objHulled* ship;
      Bytes message;
    } refused[] = {
        {"empire 2's ship", &player, foreign, orderMessage(foreign->uid, ORF_Append, move)},
        {"an unowned ship from a spectator", &watcher, unowned, orderMessage(unowned->uid, ORF_Append, move)},
        {"a clear from a spectator", &watcher, unowned, orderMessage(unowned->uid, ORF_Clear | ORF_ClearAll, {})},
        {"an unknown UID", &player, own, orderMessage(0x7FFFFFF0u, ORF_Append, move)},
        {"an order cut short", &player, own, orderMessage(own->uid, ORF_Append, cut)},
        {"an order of unknown type", &player, own, orderMessage(own->uid, ORF_Append, Bytes{99, 0, 0, 0, 0})},
        {"no flags", &player, own, Bytes{ID_OBJECT_ORDER, 0, 0, 0, 0}},
    };
    for (const auto& c : refused) {
      SCOPED_TRACE(c.label);
      reset(c.ship);
      if (c.ship != own)
        reset(own);
      deliver(*c.from, c.message);
      EXPECT_EQ(orderTypes(c.ship), untouched);
      EXPECT_EQ(orderTypes(own), untouched);
    }

    // A star has no order queue, even when it is the sender's.
    EXPECT_EQ(star->ai, nullptr);
    empire* starOwner = star->owner;
    star->owner = one;
    deliver(player, orderMessage(star->uid, ORF_Append, move));
    deliver(player, orderMessage(star->uid, ORF_Clear, {}));
    EXPECT_EQ(star->ai, nullptr);
    star->owner = starOwner;
    server.manager.registerReceiver(kBarrierId, nullptr);
  });
}

}  // namespace

}  // namespace order_requests_network_test
