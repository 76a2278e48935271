// Joining a game in one process: the transfer's progress values, the
// client's clock, the header a client reads (also a hostile one), the
// server's play-as rules, and the transfer queue. Red and blue are listed
// empires; the network manager plays a server or a client by its flags, and
// what it sends is captured.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/base/session_state.h"
#include "core/net_encoders.h"
#include "design/build/build_fixture.h"
#include "net/diplomacy_messages.h"
#include "net/galaxy_join.h"
#include "net/galaxy_transfer.h"
#include "net/message_receiver.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "support/sent_messages.h"
#include "universe/objects/system_threads.h"

namespace galaxy_join_test {

namespace {

using Bytes = std::vector<uint8_t>;
using irr::core::stringw;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

uint32_t floatBits(float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

Bytes bytesOf(const RakNet::BitStream& stream) {
  const uint8_t* data = stream.GetData();
  return data == nullptr ? Bytes() : Bytes(data, data + stream.GetNumberOfBytesUsed());
}

// A wide string as it travels: the length, then each unit low byte first.
void writeWide(RakNet::BitStream& stream, const char* text) {
  stream.Write(static_cast<uint8_t>(std::strlen(text)));
  for (const char* c = text; *c != '\0'; ++c) {
    stream.Write(static_cast<uint8_t>(*c));
    stream.Write(static_cast<uint8_t>(0));
  }
}

// One empire record of 120.
void writeEmpireRecord(RakNet::BitStream& stream, uint8_t id, uint8_t flags, const char* name) {
  stream.Write(id);
  stream.Write(flags);
  stream.Write(static_cast<uint32_t>(0xFF112233));
  stream.Write(static_cast<uint32_t>(0x5));
  writeWide(stream, name);
  for (const char* text : {"Ruler", "", "set", "race", "desc", "hist"})
    writeWide(stream, text);
  stream.Write(static_cast<uint16_t>(1));
  writeWide(stream, "NoSuchTrait");
}

TEST(GalaxyTransferProgressTest, EachStepIsRoundedToSinglePrecision) {
  const uint32_t expected[10] = {0x00000000, 0x3DCAC083, 0x3E4AC083, 0x3E981063, 0x3ECAC083,
                                 0x3EFD70A4, 0x3F181063, 0x3F316873, 0x3F4AC083, 0x3F641893};
  for (uint32_t i = 0; i < 10; ++i)
    EXPECT_EQ(floatBits(galaxyTransferProgress(i, 10)), expected[i]) << i;
  EXPECT_EQ(galaxyTransferProgress(0, 0), 0.0f);
}

class GalaxyJoinTest : public buildtest::BuildTest {
 protected:
  void SetUp() override {
    BuildTest::SetUp();
    savedTime_ = gameTime.load();
    savedSpeed_ = gameSpeed;
    captureSends(sent_);
    registerJoiningReceivers(*networkManager);
  }

  void TearDown() override {
    stopCapturingSends();
    for (uint8_t id : {115, 119, 120, 121, 122, 137})
      networkManager->registerReceiver(id, nullptr);
    {
      std::lock_guard<std::mutex> guard(networkManager->playersLock);
      networkManager->players.clear();
    }
    networkManager->isServer = false;
    networkManager->isNetworked = false;
    networkManager->isConnected = false;
    gameLoaded = false;
    gameRunning = false;
    svCheats = false;
    gameTime = savedTime_;
    gameSpeed = savedSpeed_;
    activeEmpire = nullptr;
    playingEmpire = nullptr;
    pendingPlayerEmpire = nullptr;
    setSpectatorMaker(nullptr);
    BuildTest::TearDown();
  }

  void becomeClient() {
    networkManager->isServer = false;
    networkManager->isNetworked = true;
    networkManager->isConnected = true;
  }

  NetPlayer& list(uint64_t guid, uint8_t host) {
    NetPlayer record;
    record.address = RakNet::SystemAddress::fromOctets(127, 0, 0, host, 40000);
    std::lock_guard<std::mutex> guard(networkManager->playersLock);
    return networkManager->players[guid] = record;
  }

  // A message's body (behind its id byte) as a handler is handed it.
  static void handleBody(void (*handler)(RakNet::BitStream&), const Bytes& message, size_t length) {
    RakNet::BitStream body(message.data() + 1, length - 1, false);
    handler(body);
  }

  std::vector<SentMessage> sent_;
  double savedTime_ = 0.0;
  double savedSpeed_ = 1.0;
};

// The client's clock against the server's: the target is the server's time
// a quarter of a real second earlier; behind it the client runs faster,
// ahead of it slower.
TEST_F(GalaxyJoinTest, TheClientClockConvergesOnTheServersTime) {
  becomeClient();
  struct Case {
    const char* what;
    double local;
    bool setHard;
    double time;
    double speed;
    double expectedTime;
    double expectedSpeed;
  };
  const Case cases[] = {
      {"3 s behind", 96.75, false, 100.0, 1.0, 96.75, 4.0},
      {"1 s ahead", 100.75, false, 100.0, 1.0, 100.75, 0.5},
      {"on target", 99.5, false, 100.0, 2.0, 99.5, 2.0},
      {"set hard", 5.0, true, 100.0, 1.0, 99.75, 1.0},
      {"NaN time", 50.0, true, kNaN, 1.0, 50.0, 3.0},
      {"NaN speed", 50.0, true, 100.0, kNaN, 50.0, 3.0},
      {"infinite time", 50.0, false, std::numeric_limits<double>::infinity(), 1.0, 50.0, 3.0},
      {"time past the clock's seconds", 50.0, true, 4.09607e128, 1.0, 50.0, 3.0},
      {"time far below zero", 50.0, false, -1e12, 1.0, 50.0, 3.0},
  };
  for (const Case& c : cases) {
    gameTime = c.local;
    gameSpeed = 3.0;
    RakNet::BitStream stream;
    stream.Write(c.setHard);
    stream.Write(c.time);
    stream.Write(c.speed);
    stream.Write(true);
    svCheats = false;
    handleGameTime(stream);
    EXPECT_DOUBLE_EQ(gameTime.load(), c.expectedTime) << c.what;
    EXPECT_DOUBLE_EQ(gameSpeed, c.expectedSpeed) << c.what;
    EXPECT_TRUE(svCheats.load()) << c.what;
  }

  // Not a networked client: nothing.
  networkManager->isNetworked = false;
  gameTime = 1.0;
  RakNet::BitStream stream;
  writeGameTime(stream, true, true);
  RakNet::BitStream body(stream.GetData() + 1, stream.GetNumberOfBytesUsed() - 1, false);
  handleGameTime(body);
  EXPECT_EQ(gameTime.load(), 1.0);
}

// A header whose records name the invalid empire, the spectator, or an ID
// twice: those records are skipped (each would come back from the
// registration as the listed empire, and the new one be lost). Cut at any
// length, nothing crashes or leaks.
TEST_F(GalaxyJoinTest, AHostileHeaderSkipsUnlistableRecords) {
  becomeClient();
  RakNet::BitStream header;
  header.Write(ID_GALAXY_BEGIN);
  header.Write(12.5);
  header.Write(2.0);
  header.Write(static_cast<uint8_t>(5));
  writeEmpireRecord(header, kSpectatorEmpireID, kGalaxyEmpireValid, "Spectating");
  writeEmpireRecord(header, kInvalidEmpireID, kGalaxyEmpireValid, "Invalid");
  writeEmpireRecord(header, 40, kGalaxyEmpireValid | kGalaxyEmpireAI, "First");
  writeEmpireRecord(header, 40, kGalaxyEmpireValid, "Second");
  writeEmpireRecord(header, red->ID, kGalaxyEmpireValid, "Red again");
  header.Write(kGalaxyVersion);
  const Bytes message = bytesOf(header);

  const size_t listedBefore = empireList.size();
  for (size_t length = 1; length < message.size(); ++length)
    handleBody(handleGalaxyHeader, message, length);
  handleBody(handleGalaxyHeader, message, message.size());

  ASSERT_EQ(empireList.size(), listedBefore + 1);
  empire* made = getEmpireByID(40);
  ASSERT_EQ(made->ID, 40);
  EXPECT_EQ(made->name, stringw(L"First"));
  EXPECT_EQ(made->emperor.name, stringw(L"Ruler"));
  EXPECT_TRUE(made->isAI());
  EXPECT_EQ(made->color, 0xFF112233u);
  EXPECT_EQ(made->visibility.load(), 0x5u);
  EXPECT_EQ(red->name == stringw(L"Red again"), false);
  EXPECT_EQ(gameTime.load(), 12.5);
  EXPECT_EQ(gameSpeed, 2.0);

  // A time past the clock's seconds leaves the clock as it was.
  RakNet::BitStream far;
  far.Write(ID_GALAXY_BEGIN);
  far.Write(4.09607e128);
  far.Write(2.0);
  far.Write(static_cast<uint8_t>(0));
  far.Write(kGalaxyVersion);
  handleBody(handleGalaxyHeader, bytesOf(far), far.GetNumberOfBytesUsed());
  EXPECT_EQ(gameTime.load(), 12.5);
}

// The version ends the header: 6 and 7 are taken; any other, or none,
// ends the session with the progress complete.
TEST_F(GalaxyJoinTest, AnIncompatibleGalaxyVersionEndsTheSession) {
  becomeClient();
  struct Case {
    bool withVersion;
    uint16_t version;
    bool accepted;
  };
  for (const Case& c : {Case{true, 7, true}, Case{true, 6, true}, Case{true, 8, false}, Case{true, 5, false},
                        Case{false, 0, false}}) {
    RakNet::BitStream body;
    body.Write(1.0);
    body.Write(1.0);
    body.Write(static_cast<uint8_t>(0));
    if (c.withVersion)
      body.Write(c.version);
    gameRunning = true;
    galaxyProgress = 0.5f;
    handleGalaxyHeader(body);
    EXPECT_EQ(gameRunning.load(), c.accepted) << c.version;
    EXPECT_EQ(galaxyProgress.load(), c.accepted ? 0.0f : 1.0f) << c.version;
  }
}

// The server's play-as rules: a request that breaks one gets no answer; a
// sound one hands the empire over and announces it.
TEST_F(GalaxyJoinTest, PlayAsIsAnsweredOnlyForAFreeEmpire) {
  networkManager->isServer = true;
  gameLoaded = true;
  NetPlayer& asker = list(1, 5);
  NetPlayer& holder = list(2, 6);
  holder.emp = blue;
  empire* playerOwned = blue;
  playerOwned->playerControlled = true;
  red->playerControlled = false;

  struct Case {
    const char* what;
    NetPlayer* sender;
    Bytes body;
  };
  const Case refused[] = {
      {"no byte", &asker, {}},
      {"unknown empire", &asker, {77}},
      {"player-controlled", &asker, {static_cast<uint8_t>(blue->ID)}},
      {"asker has one", &holder, {static_cast<uint8_t>(red->ID)}},
      {"reserved", &asker, {static_cast<uint8_t>(space->ID)}},
  };
  for (const Case& c : refused) {
    sent_.clear();
    RakNet::BitStream body;
    for (uint8_t byte : c.body)
      body.Write(byte);
    // Through the receiver, as the dispatch hands it.
    networkManager->receivers.at(119)->handle(119, body, c.sender);
    EXPECT_TRUE(sent_.empty()) << c.what;
  }
  EXPECT_EQ(asker.emp, nullptr);

  // While the game loads, nothing either.
  gameLoaded = false;
  {
    RakNet::BitStream body;
    body.Write(static_cast<uint8_t>(red->ID));
    networkManager->receivers.at(119)->handle(119, body, &asker);
  }
  EXPECT_TRUE(sent_.empty());
  gameLoaded = true;

  RakNet::BitStream body;
  body.Write(static_cast<uint8_t>(red->ID));
  networkManager->receivers.at(119)->handle(119, body, &asker);
  EXPECT_EQ(asker.emp, red);
  EXPECT_FALSE(red->isAI());
  EXPECT_EQ(red->getPlayerName(), asker.name);
  ASSERT_FALSE(sent_.empty());
  EXPECT_EQ(sent_[0].bytes.at(0), 119);
  EXPECT_EQ(sent_[0].bytes.at(1), red->ID);
  EXPECT_EQ(sent_[0].channel, kPlayAsChannel);
  bool announced = false;
  for (const SentMessage& message : sent_)
    if (message.bytes.at(0) == 113)
      announced = true;
  EXPECT_TRUE(announced);
}

// A player has at most one transfer; at most two run at once, the rest
// wait, and every one completes once the game is loaded, leaving the
// processing threads unpaused.
TEST_F(GalaxyJoinTest, TransfersAreQueuedPerPlayerAndRunTwoAtATime) {
  stopCapturingSends();
  std::mutex sentMutex;
  int ends = 0;
  networkManager->setSendObserver([&](const RakNet::BitStream& stream, uint8_t, RakNet::PacketReliability,
                                      const RakNet::SystemAddress&) {
    const uint8_t* data = stream.GetData();
    float progress = 0.0f;
    if (stream.GetNumberOfBytesUsed() == 5 && data[0] == 121) {
      const uint32_t bits = (uint32_t{data[1]} << 24) | (uint32_t{data[2]} << 16) | (uint32_t{data[3]} << 8) | data[4];
      std::memcpy(&progress, &bits, sizeof progress);
      if (progress == 1.0f) {
        std::lock_guard<std::mutex> guard(sentMutex);
        ++ends;
      }
    }
  });
  networkManager->isServer = true;
  gameLoaded = false;
  NetPlayer& first = list(1, 5);
  NetPlayer& second = list(2, 6);
  NetPlayer& third = list(3, 7);
  EXPECT_TRUE(requestGalaxyTransfer(*networkManager, first));
  for (int i = 0; i < 20; ++i)
    EXPECT_FALSE(requestGalaxyTransfer(*networkManager, first));
  EXPECT_TRUE(requestGalaxyTransfer(*networkManager, second));
  EXPECT_TRUE(requestGalaxyTransfer(*networkManager, third));
  EXPECT_EQ(runningGalaxyTransfers(), 2u);
  EXPECT_EQ(waitingGalaxyTransfers(), 1u);

  gameLoaded = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (runningGalaxyTransfers() != 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(runningGalaxyTransfers(), 0u);
  EXPECT_EQ(waitingGalaxyTransfers(), 0u);
  EXPECT_EQ(galaxySendCount.load(), 0);
  EXPECT_EQ(systemThreadPauseCount(), 0u);
  {
    std::lock_guard<std::mutex> guard(sentMutex);
    EXPECT_EQ(ends, 3);
  }
  // A finished player may ask again.
  gameLoaded = false;
  EXPECT_TRUE(requestGalaxyTransfer(*networkManager, first));
  gameLoaded = true;
  while (runningGalaxyTransfers() != 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  stopCapturingSends();
}

}  // namespace

}  // namespace galaxy_join_test
