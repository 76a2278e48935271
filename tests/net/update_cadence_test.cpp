// The cadence of the update batches on a real connection: a server on the
// tiny map with two in-game probes, its replication step run every 84 ms of
// a timer the test moves.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "app/base/session_state.h"
#include "empire/empire_names.h"
#include "net/object_updates.h"
#include "net_fixture.h"
#include "object_updates_helpers.h"
#include "support/network_child.h"
#include "universe/movement/mobile_mover.h"
#include "universe/ships/ship.h"

namespace update_cadence_test {

namespace {

using netfixture::ServerFixture;
using netprobe::Got;
using netprobe::Probe;

constexpr uint32_t kStepMs = 84;
constexpr int kSteps = 36;  // 3 s
constexpr double kStepGameSeconds = 0.084;

// Over 3 s of steps, two in three are broadcast passes; every moving ship in
// a visible system reaches each probe every third step (252 ms), and one
// travelling between systems in every pass.
TEST(UpdateCadence, EveryVisibleMovingObjectArrivesEveryThirdStep) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    empire* first = server.aiEmpire(0);
    empire* second = server.aiEmpire(1);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    Probe one;
    Probe two;
    NetPlayer* playerOne = server.attach(one, first);
    NetPlayer* playerTwo = server.attach(two, second);
    ASSERT_NE(playerOne, nullptr);
    ASSERT_NE(playerTwo, nullptr);

    // A moving ship in every system, which both empires see, and one in
    // open space.
    std::set<uint32_t> inSystems;
    const auto addShip = [&](generic_object* place) {
      auto* ship = new objHulled(first, getUnknownHullLayout(), new MobileMover());
      ship->velocity.set(5, 0, 0);
      ship->setContainer(place);
      return ship->uid;
    };
    for (irr::u32 i = 0; i < galaxy->children.size(); ++i) {
      generic_object* child = galaxy->children[i].get();
      if (child->getType() != OT_System)
        continue;
      static_cast<solarSystem*>(child)->visibilityMask |= first->ownBit | second->ownBit;
      inSystems.insert(addShip(child));
    }
    ASSERT_FALSE(inSystems.empty());
    const uint32_t travelling = addShip(galaxy);

    // What the server sends to each probe, by step.
    std::map<uint64_t, std::vector<int>> sentSteps;
    int step = 0;
    std::mutex sentLock;
    server.manager.setSendObserver([&](const RakNet::BitStream& stream, uint8_t, RakNet::PacketReliability,
                                       const RakNet::SystemAddress& target) {
      if (stream.GetNumberOfBytesUsed() > 0 && stream.GetData()[0] == ID_OBJECT_UPDATES) {
        std::lock_guard<std::mutex> guard(sentLock);
        sentSteps[target.binaryAddress].push_back(step);
      }
    });
    one.forget();
    two.forget();
    for (step = 0; step < kSteps; ++step) {
      gameTime = step * kStepGameSeconds;
      server.timer.realTime += kStepMs;
      server.poll();
    }
    server.manager.setSendObserver({});

    const std::vector<int> toOne = sentSteps[playerOne->address.binaryAddress];
    ASSERT_EQ(toOne, sentSteps[playerTwo->address.binaryAddress]);
    std::vector<bool> broadcast(kSteps, false);
    for (int s : toOne)
      broadcast[s] = true;
    for (int s = 0; s + 2 < kSteps; ++s)
      EXPECT_EQ(broadcast[s] + broadcast[s + 1] + broadcast[s + 2], 2) << "steps " << s << " to " << s + 2;

    for (Probe* probe : {&one, &two}) {
      // Everything sent arrives (the loopback keeps the order).
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(netprobe::kSafetyMs);
      while (probe->ofId(ID_OBJECT_UPDATES).size() < toOne.size() && std::chrono::steady_clock::now() < deadline) {
        server.poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      std::map<uint32_t, std::vector<int>> seenAt;
      for (const Got& got : probe->ofId(ID_OBJECT_UPDATES)) {
        const updatetest::Packet packet = updatetest::readPacket(got.bytes);
        EXPECT_TRUE(packet.whole);
        const int at = static_cast<int>(std::lround(packet.time / kStepGameSeconds));
        for (const updatetest::Entry& entry : packet.entries)
          if (entry.moving && (seenAt[entry.uid].empty() || seenAt[entry.uid].back() != at))
            seenAt[entry.uid].push_back(at);
      }
      for (uint32_t uid : inSystems) {
        SCOPED_TRACE(uid);
        const std::vector<int>& steps = seenAt[uid];
        ASSERT_GE(steps.size(), static_cast<size_t>(kSteps / 3 - 1));
        EXPECT_LT(steps.front(), 3);
        for (size_t i = 1; i < steps.size(); ++i)
          EXPECT_EQ(steps[i] - steps[i - 1], 3);  // 252 ms apart
      }
      EXPECT_EQ(seenAt[travelling].size(), static_cast<size_t>(kSteps * 2 / 3));
    }
  });
}

}  // namespace

}  // namespace update_cadence_test
