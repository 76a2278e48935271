// Message 127: a hull layout written, read back and filed in its empire's
// table, the replacement it can carry, refused messages, and who gets it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/threads.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/sent_messages.h"
#include "universe/universe_fixture.h"

namespace hull_network_test {

using irr::core::stringw;

namespace {

const char* const kDefinitions =
    "System: Frame\nTags: Hull\nSize: 100\n\n"
    "System: Thruster\nTags: Engine\nSize: 10\n";

constexpr uint8_t kHullLayoutID = 127;

using Sent = SentMessage;

class HullNetworkTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    subsystemtest::loadDefinition(scratchDir(), kDefinitions, L"Frame");
    captureSends(sent_);
  }
  void TearDown() override {
    {
      std::lock_guard<std::mutex> guard(networkManager->playersLock);
      networkManager->players.clear();
    }
    clearSubSystemDefs();
    freeThreadLocals();
    UniverseTest::TearDown();
  }

  static const SubSystemDef* def(const wchar_t* name) {
    const irr::s32 index = findSubSystemDefByName(name);
    return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }

  // A layout of red; the frame alone unless `thrusters` are added.
  hull_list* make(const wchar_t* name, int thrusters = 0, bool allowInvalid = false) {
    layout_desc desc;
    desc.scale = 4.0f;
    desc.systems.push_back({def(L"Frame"), 1.0f, 0.0f, 0.0f, -1});
    for (int i = 0; i < thrusters; ++i)
      desc.systems.push_back({def(L"Thruster"), 2.0f, 1.0f, -2.5f, -1});
    hull_list* layout = new hull_list(desc, red, allowInvalid);
    layout->name = name;
    return layout;
  }

  static void written(RakNet::BitStream& stream, const hull_list* layout, const stringw* replaced = nullptr,
                      const stringw* replacement = nullptr) {
    EXPECT_TRUE(writeHullLayoutMessage(stream, layout, replaced, replacement));
  }

  // Reads a message as its handler does: the id, then the body.
  static stringw deliver(RakNet::BitStream& stream) {
    uint8_t id = 0;
    EXPECT_TRUE(stream.Read(id));
    EXPECT_EQ(id, kHullLayoutID);
    return readHullLayoutMessage(stream);
  }

  hull_list* filed(const wchar_t* name) {
    const irr::s32 index = NamedVar<hull_list*>::find(red->hulls, name);
    return index < 0 ? nullptr : red->hulls[static_cast<irr::u32>(index)].value;
  }

  std::vector<Sent> sent_;
};

TEST_F(HullNetworkTest, ALayoutArrivesAsItWasSent) {
  hull_list* scout = make(L"Scout");
  RakNet::BitStream alone;
  written(alone, scout);
  EXPECT_EQ(alone.GetNumberOfBytesUsed(), 64u);
  EXPECT_EQ(alone.GetData()[0], kHullLayoutID);
  EXPECT_EQ(alone.GetData()[1], red->ID);
  scout->drop();

  hull_list* layout = make(L"Lancer", 1);
  layout->obsolete = true;
  layout->updateThreshold = 42.7f;
  hull_targeting& t = layout->targeting;
  t.targetScaleMin = 0.5f;
  t.targetScaleMax = 8.0f;
  t.targetScaleSet = true;
  t.targetDamageMin = -1.0f;
  t.targetDamageMax = 1e9f;
  t.targetDamageExclusive = true;
  t.orbits = false;
  t.allowFetch = true;
  t.depositTargets[0] = true;
  t.unusedA[1] = 0xAB;  // unused bytes travel as they are
  t.unusedB[0] = 0x5A;
  t.unusedB[2] = 0xFF;
  RakNet::BitStream stream;
  written(stream, layout);
  EXPECT_EQ(deliver(stream), stringw());

  hull_list* got = filed(L"Lancer");
  ASSERT_NE(got, nullptr);
  EXPECT_NE(got, layout);
  EXPECT_EQ(got->owner, red);
  EXPECT_EQ(got->getReferenceCount(), 1u);  // the table's
  EXPECT_EQ(got->scale, layout->scale);
  EXPECT_EQ(got->name, stringw(L"Lancer"));
  EXPECT_TRUE(got->obsolete);
  EXPECT_EQ(got->updateThreshold, 42.0f);
  EXPECT_EQ(std::memcmp(&got->targeting, &t, sizeof t), 0);
  ASSERT_EQ(got->systemCount, 2u);
  const placedSubSystem& thruster = got->systems[1];
  EXPECT_EQ(thruster.system->def, def(L"Thruster"));
  EXPECT_EQ(thruster.system->scale, 2.0f);
  // Quantised in [-4, 4]: 1.0 is step 40959 of 65535, 0.99995 on arrival.
  EXPECT_EQ(thruster.x, static_cast<float>(-4.0 + 8.0 * (40959.0 / 65535.0)));
  EXPECT_NEAR(thruster.x, 0.99995f, 1e-5f);
  EXPECT_NEAR(thruster.y, -2.5f, 1e-4f);
  EXPECT_EQ(thruster.link, -1);
  layout->drop();
}

TEST_F(HullNetworkTest, TheThresholdTravelsAsOneByte) {
  const struct {
    float sent;
    float arrives;
  } cases[] = {
      {300.0f, 255.0f}, {255.0f, 255.0f}, {254.9f, 254.0f}, {10.5f, 10.0f},
      {0.0f, 0.0f},     {-1.0f, 0.0f},    {std::numeric_limits<float>::quiet_NaN(), 0.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sent);
    hull_list* layout = make(L"Scout");
    layout->updateThreshold = c.sent;
    RakNet::BitStream stream;
    written(stream, layout);
    layout->drop();
    EXPECT_EQ(deliver(stream), stringw());
    ASSERT_NE(filed(L"Scout"), nullptr);
    EXPECT_EQ(filed(L"Scout")->updateThreshold, c.arrives);
  }
}

TEST_F(HullNetworkTest, AReplacementRenamesAndObsoletesTheOldLayout) {
  hull_list* old = make(L"Scout");
  NamedVar<hull_list*>::getOrAdd(red->hulls, L"Scout").value = old;  // the table's reference

  hull_list* next = make(L"Scout");
  const stringw replaced = L"Scout";
  const stringw renamed = L"Scout Mk1";
  RakNet::BitStream stream;
  written(stream, next, &replaced, &renamed);
  next->drop();
  EXPECT_EQ(deliver(stream), stringw());

  hull_list* current = filed(L"Scout");
  ASSERT_NE(current, nullptr);
  EXPECT_NE(current, old);
  EXPECT_FALSE(current->obsolete);
  EXPECT_EQ(filed(L"Scout Mk1"), old);
  EXPECT_EQ(old->name, renamed);
  EXPECT_TRUE(old->obsolete);
  EXPECT_EQ(old->newer, current);
  EXPECT_EQ(old->getReferenceCount(), 1u);

  // Replacing a name the table lacks only files the new layout.
  hull_list* other = make(L"Lancer");
  const stringw absent = L"Ghost";
  RakNet::BitStream second;
  written(second, other, &absent, &renamed);
  other->drop();
  EXPECT_EQ(deliver(second), stringw());
  EXPECT_NE(filed(L"Lancer"), nullptr);
  EXPECT_EQ(filed(L"Ghost"), nullptr);
  EXPECT_EQ(filed(L"Scout Mk1"), old);
}

TEST_F(HullNetworkTest, RefusedMessagesFileNothing) {
  hull_list* scout = make(L"Scout", 1);
  RakNet::BitStream good;
  written(good, scout);
  const std::vector<uint8_t> bytes(good.GetData(), good.GetData() + good.GetNumberOfBytesUsed());
  scout->drop();

  // An unknown definition ID (the frame's, bytes 7 to 10) drops the message.
  std::vector<uint8_t> unknown = bytes;
  unknown[7] ^= 0x55;
  unknown[8] ^= 0x55;
  RakNet::BitStream unknownStream(unknown.data(), unknown.size(), true);
  EXPECT_EQ(deliver(unknownStream), stringw());
  EXPECT_EQ(red->hulls.size(), 0u);

  // A design the rules reject gives their text, and is not filed.
  layout_desc desc;
  desc.systems.push_back({def(L"Frame"), 1.0f, 0.0f, 0.0f, -1});
  desc.systems.push_back({def(L"Frame"), 1.0f, 1.0f, 0.0f, -1});
  hull_list* twoHulls = new hull_list(desc, red, true);
  RakNet::BitStream rejected;
  written(rejected, twoHulls);
  twoHulls->drop();
  EXPECT_NE(deliver(rejected), stringw());
  EXPECT_EQ(red->hulls.size(), 0u);

  // Cut anywhere, the message files nothing.
  for (size_t length = 1; length < bytes.size(); ++length) {
    RakNet::BitStream cut(bytes.data(), length, true);
    EXPECT_EQ(deliver(cut), stringw()) << "cut at " << length;
    EXPECT_EQ(red->hulls.size(), 0u) << "cut at " << length;
  }
}

TEST_F(HullNetworkTest, OnlyTheEmpiresPlayerOrTheServerGetsTheLayout) {
  const RakNet::SystemAddress redPlayer{0x0100007Fu, 4000};
  const RakNet::SystemAddress bluePlayer{0x0100007Fu, 4001};
  {
    std::lock_guard<std::mutex> guard(networkManager->playersLock);
    networkManager->players[1].address = bluePlayer;
    networkManager->players[1].emp = blue;
    networkManager->players[2].address = redPlayer;
    networkManager->players[2].emp = red;
  }
  hull_list* layout = make(L"Scout");
  RakNet::BitStream expected;
  written(expected, layout);
  const std::vector<uint8_t> bytes(expected.GetData(), expected.GetData() + expected.GetNumberOfBytesUsed());

  // Neither server nor client: nothing leaves.
  sendHullLayout(layout);
  EXPECT_TRUE(sent_.empty());

  networkManager->isServer = true;
  sendHullLayout(layout);
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].bytes, bytes);
  EXPECT_EQ(sent_[0].target, redPlayer);
  EXPECT_EQ(sent_[0].channel, 0);
  EXPECT_EQ(sent_[0].reliability, RakNet::RELIABLE_ORDERED);
  // Nobody controls the empire: nobody gets its designs.
  {
    std::lock_guard<std::mutex> guard(networkManager->playersLock);
    networkManager->players.erase(2);
  }
  sent_.clear();
  sendHullLayout(layout);
  EXPECT_TRUE(sent_.empty());

  networkManager->isServer = false;
  networkManager->isNetworked = true;
  networkManager->isConnected = true;
  sendHullLayout(layout);
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].bytes, bytes);
  EXPECT_EQ(sent_[0].target, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
  layout->drop();

  // More than 255 sub-systems do not fit the count: nothing is sent.
  hull_list* huge = make(L"Leviathan", 255, true);
  ASSERT_EQ(huge->systemCount, 256u);
  RakNet::BitStream refused;
  EXPECT_FALSE(writeHullLayoutMessage(refused, huge, nullptr, nullptr));
  EXPECT_EQ(refused.GetNumberOfBitsUsed(), 0u);
  sent_.clear();
  LogCapture log;
  sendHullLayout(huge);
  EXPECT_TRUE(sent_.empty());
  EXPECT_NE(log.take().find("Leviathan"), std::string::npos);
  huge->drop();
}

}  // namespace

}  // namespace hull_network_test
