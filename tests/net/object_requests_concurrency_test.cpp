// Requests handled on the network thread while the galaxy workers tick the
// objects they change: a build list replaced by 128 while the planets'
// governors apply it, and a stream of order, build and setting requests for
// objects whose systems run meanwhile. Under AddressSanitizer a list freed
// under a governor, or a queue changed under its worker, shows up here.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

#include "core/net_encoders.h"
#include "design/build/build_fixture.h"
#include "design/build/build_requests.h"
#include "design/build/build_rules.h"
#include "net/diplomacy_messages.h"
#include "net/network_manager.h"
#include "net/object_requests.h"
#include "platform/bit_stream.h"
#include "universe/objects/system_threads.h"
#include "universe/orders/unit_ai.h"
#include "universe/worker_steps.h"

namespace object_requests_concurrency_test {

namespace {

constexpr int kWorkers = 4;
constexpr int kPlanetsPerSystem = 10;

std::atomic<long> applications{0};

// A list that counts its applications and lingers in them, so that a
// replacement lands while a governor is inside.
class LingeringList : public build_priorities {
 public:
  bool apply(objHabitation* planet) override {
    applications.fetch_add(1);
    volatile long sum = 0;
    for (int i = 0; i < 2000; ++i)
      sum = sum + i + static_cast<long>(planet != nullptr);
    return marker_ == kAlive && sum < 0;
  }
  void write(SaveStream&) const override {}
  ~LingeringList() override { marker_ = 0; }

 private:
  static constexpr uint32_t kAlive = 0x51A7E;
  uint32_t marker_ = kAlive;
};

class RequestConcurrencyTest : public buildtest::BuildTest {
 protected:
  void SetUp() override {
    BuildTest::SetUp();
    applications = 0;
    player.emp = red;
    const_cast<SubSystemDef*>(def(L"Frame"))->unlockedBy.fetch_or(red->ownBit);
    layoutOf(red, L"Scout", {L"Frame"});
    systems = systemsFromHere(kWorkers);
  }
  void TearDown() override {
    playingEmpire = nullptr;
    BuildTest::TearDown();
  }

  objHabitation* planetIn(solarSystem* place, float x) {
    objHabitation* planet = planetOf(red, 10, 10.0f, vector3df(x, 0, 0));
    planet->setContainer(place);
    return planet;
  }

  bool startWorkers() {
    startSystemThreads(kWorkers);
    return galaxy->threads.size() == static_cast<irr::u32>(kWorkers) && workersteps::waitForWorkersRunning();
  }

  // Advances game time so that every worker runs a pass soon, without
  // waiting for it.
  static void nudgeWorkers(double seconds) {
    gameTime = gameTime + seconds;
    cutSystemThreadRests();
  }

  NetPlayer player;
  std::vector<solarSystem*> systems;
};

TEST_F(RequestConcurrencyTest, ABuildListReplacedUnderItsGovernorsStaysAliveUntilTheyAreDone) {
  for (solarSystem* place : systems)
    for (int p = 0; p < kPlanetsPerSystem; ++p)
      planetIn(place, 200.0f + 50.0f * static_cast<float>(p))->setUseGovernor(true);
  red->setBuildList(L"default", new LingeringList());
  // A client's 128 replaces red's list of the same name.
  networkManager->isServer = false;
  playingEmpire = red;
  ASSERT_TRUE(startWorkers());

  for (int round = 0; round < 100; ++round) {
    nudgeWorkers(1.5);  // past the governors' interval
    for (int i = 0; i < 10; ++i) {
      RakNet::BitStream message;
      writeNetStringW(message, L"default", kMaxNetStringLength);
      handleBuildListName(message);
      // As a script would: a list with rules in its place again.
      red->setBuildList(L"default", new LingeringList());
    }
  }
  ASSERT_TRUE(workersteps::stepWorkers(1.5));
  pauseSystemThreads();
  EXPECT_GT(applications.load(), 0);
  EXPECT_EQ(red->getBuildListCount(), 1u);
  EXPECT_EQ(red->buildListUsers, 0u);
  EXPECT_TRUE(red->retiredBuildLists.empty()) << "freed once the last governor was done";
}

TEST_F(RequestConcurrencyTest, RequestsForObjectsOfRunningSystemsAllTakeEffect) {
  networkManager->isServer = true;
  std::vector<objHabitation*> planets;
  std::vector<objHulled*> ships;
  for (solarSystem* place : systems) {
    planets.push_back(planetIn(place, 300.0f));
    ships.push_back(shipOf(red->updateHullByName(L"Scout", -1.0f), vector3df(-300.0f, 0, 0), place));
    ASSERT_NE(ships.back(), nullptr);
    ASSERT_NE(ships.back()->ai, nullptr);
  }
  std::vector<uint32_t> orders(ships.size(), 0), items(planets.size(), 0);
  std::vector<int> governor(planets.size(), 0), repeat(planets.size(), 0);
  ASSERT_TRUE(startWorkers());

  constexpr int kMessages = 2000;
  for (int i = 0; i < kMessages; ++i) {
    const size_t at = static_cast<size_t>(i / 4) % systems.size();
    RakNet::BitStream message;
    switch (i % 4) {
      case 0:  // append a standing defence order to the ship
        message.Write(ships[at]->uid);
        message.Write(static_cast<uint8_t>(ORF_Append));
        message.Write(static_cast<uint8_t>(OrdT_Defend));
        handleOrderRequest(message, &player);
        ++orders[at];
        break;
      case 1:  // one scout at the planet
        message.Write(planets[at]->uid);
        message.Write(static_cast<uint8_t>(BRK_Ship));
        writeNetStringW(message, L"Scout", kMaxNetStringLength);
        message.Write(uint16_t{1});
        handleBuildRequest(message, &player);
        ++items[at];
        break;
      case 2:  // the governor on or off
        governor[at] = (i / 8) % 2;
        writeNetObjectRef(message, planets[at]);
        message.Write(static_cast<uint8_t>(PSK_UseGovernor));
        message.Write(governor[at] != 0);
        handlePlanetSetting(message, &player);
        break;
      default:  // the repeat bit on or off
        repeat[at] = (i / 12) % 2;
        writeNetObjectRef(message, planets[at]);
        message.Write(static_cast<uint8_t>(PSK_RepeatQueue));
        message.Write(repeat[at] != 0);
        handlePlanetSetting(message, &player);
        break;
    }
    if (i % 16 == 0)
      nudgeWorkers(0.25);
  }
  ASSERT_TRUE(workersteps::stepWorkers(0.25));
  pauseSystemThreads();

  for (size_t s = 0; s < systems.size(); ++s) {
    SCOPED_TRACE(s);
    EXPECT_EQ(ships[s]->ai->getOrderCount(), orders[s]);
    EXPECT_EQ(planets[s]->buildQueue.size(), items[s]) << "nothing is paid without stocks";
    EXPECT_EQ(planets[s]->usesGovernor(), governor[s] != 0);
    EXPECT_EQ(planets[s]->getRepeatQueue(), repeat[s] != 0);
  }
}

}  // namespace

}  // namespace object_requests_concurrency_test
