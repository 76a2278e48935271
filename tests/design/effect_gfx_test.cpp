// Effect graphics calls: message 129 as sent, read back and dropped entry by
// entry, the handler, and the queue under concurrent firings.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

#include "core/net_encoders.h"
#include "design/effectors/effect_gfx.h"
#include "design/effectors/effector_def.h"
#include "gfx/graphics_object.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/sent_messages.h"
#include "universe/universe_fixture.h"

namespace effect_gfx_test {

namespace {

using RakNet::BitStream;
using RakNet::SystemAddress;

// One entry of a message body, as a test writes it.
struct Entry {
  uint8_t kind;
  uint32_t effectorId;
  uint32_t sourceUid;
  uint32_t targetUid;  // not written for an area burst
  std::vector<float> floats;
};

void writeEntry(BitStream& stream, const Entry& entry) {
  stream.Write(entry.kind);
  stream.WriteCompressed(entry.effectorId);
  writeNetUInt(stream, entry.sourceUid);
  if (entry.kind != EGK_AOE)
    writeNetUInt(stream, entry.targetUid);
  for (float f : entry.floats)
    stream.Write(f);
}

using Send = SentMessage;

class EffGfxTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    captureSends(sends);
    clearEffectors();
    const std::filesystem::path file = scratchDir() / "gfx.txt";
    std::ofstream(file) << "Effector: GfxTestLaser\nEffector: GfxTestBeam\n";
    loadEffectors(file.string().c_str());
    laser = findEffector(L"GfxTestLaser");
    beam = findEffector(L"GfxTestBeam");
    ASSERT_NE(laser, nullptr);
    ASSERT_NE(beam, nullptr);
    shownA = new TestObject(red, OT_Generic, L"A");
    shownB = new TestObject(blue, OT_Generic, L"B");
    plain = new TestObject(red, OT_Generic, L"Plain");
    // One graphics object without a scene node, which the fixture holds.
    someGraphics = new graphicsObject(nullptr);
    shownA->graphics = someGraphics;
    shownB->graphics = someGraphics;
  }

  void TearDown() override {
    clearEffGfxQueue();
    networkManager->players.clear();
    for (TestObject* object : {shownA, shownB, plain}) {
      if (object == nullptr)
        continue;
      object->graphics = nullptr;
      object->drop();
    }
    someGraphics->drop();
    clearEffectors();
    UniverseTest::TearDown();
  }

  void addPlayer(uint64_t key, uint32_t ip, uint8_t inGame) {
    NetPlayer& player = networkManager->players[key];
    player.name = L"P";
    player.address = SystemAddress{ip, 4000};
    player.hasGalaxy = inGame;
  }

  // The queue as one message body.
  static std::vector<uint8_t> queueBody() {
    BitStream stream;
    writeEffGfxQueue(stream);
    return std::vector<uint8_t>(stream.GetData(), stream.GetData() + stream.GetNumberOfBytesUsed());
  }

  effector_def* laser = nullptr;
  effector_def* beam = nullptr;
  TestObject* shownA = nullptr;
  TestObject* shownB = nullptr;
  TestObject* plain = nullptr;
  graphicsObject* someGraphics = nullptr;
  std::vector<Send> sends;
};

TEST_F(EffGfxTest, OneCallOfEachKindGoesOutFieldByFieldAndReadsBackTheSame) {
  queueEffGfxCall(new EffGfxInstant(&laser->gfx, shownA, shownB));
  queueEffGfxCall(new EffGfxBeam(&beam->gfx, shownB, shownA, 0.25f));
  queueEffGfxCall(new EffGfxBullet(&laser->gfx, shownA, shownB, 1.5f, 300.0f));
  queueEffGfxCall(new EffGfxAOE(&beam->gfx, shownB, 40.0f));
  EXPECT_EQ(shownA->refCount.load(), 4);  // the creator's and three calls'
  addPlayer(1, 0x7F000001, 1);
  sendEffectGraphics();
  ASSERT_EQ(sends.size(), 1u);
  const std::vector<uint8_t>& bytes = sends[0].bytes;

  BitStream in(bytes.data(), bytes.size(), false);
  uint8_t id = 0, subKind = 0, count = 0;
  ASSERT_TRUE(in.Read(id) && in.Read(subKind) && in.Read(count));
  EXPECT_EQ(id, 129);
  EXPECT_EQ(subKind, 0);
  EXPECT_EQ(count, 4);
  const struct {
    uint8_t kind;
    uint32_t effectorId;
    uint32_t source, target;
    std::vector<float> floats;
  } expected[] = {
      {0, laser->id, shownA->uid, shownB->uid, {}},
      {1, beam->id, shownB->uid, shownA->uid, {0.25f}},
      {2, laser->id, shownA->uid, shownB->uid, {1.5f, 300.0f}},
      {3, beam->id, shownB->uid, 0, {40.0f}},
  };
  for (const auto& call : expected) {
    uint8_t kind = 0;
    uint32_t effectorId = 0;
    ASSERT_TRUE(in.Read(kind) && in.ReadCompressed(effectorId));
    EXPECT_EQ(kind, call.kind);
    EXPECT_EQ(effectorId, call.effectorId);
    EXPECT_EQ(readNetUInt(in), call.source);
    if (call.kind != EGK_AOE) {
      EXPECT_EQ(readNetUInt(in), call.target);
    }
    for (float value : call.floats) {
      float f = 0.0f;
      ASSERT_TRUE(in.Read(f));
      EXPECT_EQ(f, value);
    }
  }
  EXPECT_FALSE(in.ReadFailed());
  EXPECT_LT(in.GetNumberOfUnreadBits(), 8u);

  // A client queues the same calls from the message.
  const std::vector<uint8_t> sentBody = queueBody();
  clearEffGfxQueue();
  EXPECT_EQ(shownA->refCount.load(), 1);
  BitStream received(bytes.data(), bytes.size(), false);
  received.IgnoreBits(8);
  EffectsHandler().handle(ID_EFFECT_GFX, received, nullptr);
  EXPECT_EQ(queueBody(), sentBody);
}

TEST_F(EffGfxTest, SendsToEachInGamePlayerWithAnAddress) {
  struct Case {
    const char* name;
    int calls;
    std::vector<uint8_t> inGameFlags;  // one player each, addresses 1, 2, ...
    size_t expectedSends;
  };
  const Case cases[] = {
      {"empty queue", 0, {1, 1}, 0},
      {"no players", 1, {}, 0},
      {"nobody in game", 1, {0, 0}, 0},
      {"two of three in game", 1, {1, 0, 1}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int i = 0; i < c.calls; ++i)
      queueEffGfxCall(new EffGfxInstant(&laser->gfx, shownA, shownB));
    for (size_t i = 0; i < c.inGameFlags.size(); ++i)
      addPlayer(100 + i, static_cast<uint32_t>(i + 1), c.inGameFlags[i]);
    sends.clear();
    sendEffectGraphics();
    ASSERT_EQ(sends.size(), c.expectedSends);
    for (size_t i = 0, player = 0; i < sends.size(); ++i, player += 2) {
      EXPECT_EQ(sends[i].channel, 3);
      EXPECT_EQ(sends[i].reliability, RakNet::RELIABLE_SEQUENCED);
      EXPECT_EQ(sends[i].target.binaryAddress, player + 1);  // players 1 and 3
    }
    EXPECT_EQ(effGfxQueueSize(), static_cast<size_t>(c.calls));  // sending leaves the queue to the clear
    clearEffGfxQueue();
    networkManager->players.clear();
  }

  // The local player's record (no address) gets nothing either.
  queueEffGfxCall(new EffGfxInstant(&laser->gfx, shownA, shownB));
  networkManager->players[1].hasGalaxy = 1;  // a record without address
  sends.clear();
  sendEffectGraphics();
  EXPECT_TRUE(sends.empty());
}

TEST_F(EffGfxTest, ALongQueueGoesOutInMessagesOfAtMost255Calls) {
  for (int i = 0; i < 300; ++i)
    queueEffGfxCall(new EffGfxAOE(&laser->gfx, shownA, static_cast<float>(i)));
  addPlayer(1, 0x7F000001, 1);
  sendEffectGraphics();
  ASSERT_EQ(sends.size(), 2u);
  const unsigned expectedCounts[] = {255, 45};
  float nextRange = 0.0f;
  for (size_t m = 0; m < 2; ++m) {
    BitStream in(sends[m].bytes.data(), sends[m].bytes.size(), false);
    in.IgnoreBits(16);
    uint8_t count = 0;
    ASSERT_TRUE(in.Read(count));
    EXPECT_EQ(count, expectedCounts[m]);
    for (unsigned i = 0; i < count; ++i) {
      uint8_t kind = 0;
      uint32_t effectorId = 0;
      float range = -1.0f;
      ASSERT_TRUE(in.Read(kind) && in.ReadCompressed(effectorId));
      EXPECT_EQ(readNetUInt(in), shownA->uid);
      ASSERT_TRUE(in.Read(range));
      EXPECT_EQ(range, nextRange++);
    }
    EXPECT_LT(in.GetNumberOfUnreadBits(), 8u);
  }
}

TEST_F(EffGfxTest, ReadingKeepsWhatCameBeforeAStopAndReadsDroppedEntriesWhole) {
  const uint32_t a = shownA->uid, b = shownB->uid, p = plain->uid;
  const Entry instant{EGK_Instant, laser->id, a, b, {}};
  const Entry beamCall{EGK_Beam, beam->id, b, a, {0.5f}};
  const Entry bullet{EGK_Bullet, laser->id, a, b, {2.0f, 80.0f}};
  struct Case {
    const char* name;
    uint8_t count;
    std::vector<Entry> entries;
    std::vector<size_t> kept;  // indices of the entries that must be queued
    size_t cutBits;            // taken off the end of the body
    bool readToTheEnd;
  };
  const Case cases[] = {
      {"only the count", 3, {}, {}, 0, true},
      {"kind 4 stops", 3, {instant, {4, laser->id, a, b, {}}, bullet}, {0}, 0, false},
      {"a cut float stops", 2, {beamCall, bullet}, {0}, 16, true},
      {"a cut id stops", 2, {instant, instant}, {0}, 8 + 16 + 16 + 2, true},
      {"dropped entries are read whole",
       5,
       {{EGK_Beam, 999, a, b, {1.0f}},
        {EGK_Bullet, laser->id, 0xABCDEF, b, {1.0f, 2.0f}},
        {EGK_Instant, laser->id, a, p, {}},
        {EGK_AOE, beam->id, p, 0, {3.0f}},
        bullet},
       {4},
       0,
       true},
      {"fewer entries than the count", 4, {instant, beamCall}, {0, 1}, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BitStream body;
    body.Write(c.count);
    for (const Entry& entry : c.entries)
      writeEntry(body, entry);
    body.SetWriteOffset(body.GetWriteOffset() - c.cutBits);
    readEffGfxCalls(body);
    if (c.readToTheEnd) {
      EXPECT_EQ(body.GetReadOffset(), body.GetNumberOfBitsUsed());
    }

    BitStream expected;
    expected.Write(static_cast<uint8_t>(c.kept.size()));
    for (size_t index : c.kept)
      writeEntry(expected, c.entries[index]);
    EXPECT_EQ(queueBody(),
              std::vector<uint8_t>(expected.GetData(), expected.GetData() + expected.GetNumberOfBytesUsed()));
    clearEffGfxQueue();
  }
}

TEST_F(EffGfxTest, TheHandlerQueuesOnlyOnAClientAndOnlySubKind0) {
  struct Case {
    bool server;
    uint8_t subKind;
    size_t queued;
  };
  const Case cases[] = {{false, 0, 1}, {true, 0, 0}, {false, 1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "server " << c.server << ", sub-kind " << int(c.subKind));
    networkManager->isServer = c.server;
    BitStream message;
    message.Write(c.subKind);
    message.Write(uint8_t{1});
    writeEntry(message, {EGK_Instant, laser->id, shownA->uid, shownB->uid, {}});
    EffectsHandler().handle(ID_EFFECT_GFX, message, nullptr);
    EXPECT_EQ(effGfxQueueSize(), c.queued);
    clearEffGfxQueue();
  }
}

// Firing threads queue calls that hold references (on shared objects and on
// objects whose last reference the clear drops) while the main thread sends
// and clears once per simulated sixteenth of a second.
TEST_F(EffGfxTest, ConcurrentQueuingSendingAndClearingLeavesNoObjectBehind) {
  constexpr int kThreads = 4;
  constexpr int kCallsPerThread = 2000;
  addPlayer(1, 0x7F000001, 1);
  std::atomic<size_t> messages{0};
  networkManager->setSendObserver(
      [&messages](const BitStream&, uint8_t, RakNet::PacketReliability, const SystemAddress&) { ++messages; });
  std::atomic<int> running{kThreads};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCallsPerThread; ++i) {
        switch (i % 4) {
          case 0:
            queueEffGfxCall(new EffGfxInstant(&laser->gfx, shownA, shownB));
            break;
          case 1:
            queueEffGfxCall(new EffGfxBeam(&beam->gfx, shownB, shownA, 0.25f));
            break;
          case 2: {
            auto* shot = new TestObject(nullptr, OT_Generic, L"Shot");
            queueEffGfxCall(new EffGfxBullet(&laser->gfx, shownA, shot, 1.0f, 100.0f + t));
            shot->drop();  // the call holds the last reference now
            break;
          }
          default:
            queueEffGfxCall(new EffGfxAOE(&beam->gfx, shownB, 10.0f));
        }
      }
      --running;
    });
  int frames = 0;
  while (running.load() > 0) {
    gameTime.store(gameTime.load() + 1.0 / 16.0);
    sendEffectGraphics();
    clearEffGfxQueue();
    ++frames;
    std::this_thread::yield();
  }
  for (std::thread& thread : threads)
    thread.join();
  sendEffectGraphics();
  clearEffGfxQueue();
  EXPECT_EQ(effGfxQueueSize(), 0u);
  EXPECT_GT(frames, 0);
  EXPECT_GT(messages.load(), 0u);
  EXPECT_EQ(shownA->refCount.load(), 1);
  EXPECT_EQ(shownB->refCount.load(), 1);

  shownA->drop();
  shownB->drop();
  plain->drop();
  shownA = shownB = plain = nullptr;
  LogCapture log;
  reportUndeletedObjects();
  EXPECT_EQ(log.take(), "");
}

}  // namespace

}  // namespace effect_gfx_test
