// The galaxy transfer on a real connection, checked from a probe's side: a
// server on the tiny map grown to 10 systems sends the header, the gas
// sprites, every object of its galaxy tree under the right container and
// the progress marks, and starts the probe's clock once it confirms; a
// play-as that breaks the rules gets no answer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "core/net_encoders.h"
#include "net/galaxy_transfer.h"
#include "net_fixture.h"
#include "platform/bit_stream.h"
#include "support/network_child.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/galaxygen/net_object_records.h"

namespace galaxy_transfer_network_test {

namespace {

using netfixture::ServerFixture;
using netprobe::Got;
using netprobe::Probe;

constexpr uint8_t kRequest = 115;
constexpr uint8_t kProgress = 121;
constexpr uint8_t kGameTime = 122;
constexpr uint8_t kPlayAs = 119;
constexpr size_t kSystems = 10;

uint32_t bigEndian32(const std::vector<uint8_t>& bytes, size_t at) {
  return (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) | (uint32_t{bytes[at + 2]} << 8) |
         bytes[at + 3];
}

uint32_t floatBits(float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

bool isEndMark(const Got& got) { return got.bytes == std::vector<uint8_t>{kProgress, 0x3F, 0x80, 0x00, 0x00}; }

// Every object the transfer walks: the galaxy's children and what they
// hold, depth first (docked objects are not children).
void collectTree(generic_object* object, std::set<uint32_t>& uids) {
  for (irr::u32 i = 0; i < object->children.size(); ++i) {
    generic_object* child = object->children[i].get();
    uids.insert(child->uid);
    collectTree(child, uids);
  }
}

TEST(GalaxyTransferNetwork, AProbeReceivesTheWholeTreeInOrder) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    for (size_t i = galaxy->getSystemCount(); i < kSystems; ++i) {
      System_Desc desc;
      desc.position.set(static_cast<float>(i) * 3000.0f, 0.0f, 9000.0f);
      ASSERT_NE(makeSystem(galaxy, desc), nullptr);
    }
    ASSERT_EQ(galaxy->children.size(), kSystems);
    std::set<uint32_t> expected;
    collectTree(galaxy, expected);

    Probe probe;
    NetPlayer* player = server.attach(probe);
    ASSERT_NE(player, nullptr);
    probe.forget();
    probe.send({kRequest});
    ASSERT_TRUE(server.pollUntil([&] {
      for (const Got& got : probe.ofId(kProgress))
        if (isEndMark(got))
          return true;
      return false;
    })) << "no end mark";
    // The game messages of the transfer, in order of arrival.
    std::vector<Got> messages;
    for (const Got& got : probe.received())
      if (got.id() == ID_GALAXY_BEGIN || got.id() == ID_GALAXY_GAS_SPRITES || got.id() == kMsgObjectRecord ||
          got.id() == kProgress)
        messages.push_back(got);

    // 120 first, ending in the version; one 137 right behind it.
    ASSERT_GE(messages.size(), 3u);
    const std::vector<uint8_t>& header = messages[0].bytes;
    ASSERT_EQ(header[0], ID_GALAXY_BEGIN);
    EXPECT_EQ(header[header.size() - 2], 0x00);
    EXPECT_EQ(header[header.size() - 1], 0x07);
    EXPECT_EQ(header[17], empireList.size());
    EXPECT_EQ(messages[1].id(), ID_GALAXY_GAS_SPRITES);

    // Then segments of records, each closed by a 121: the k-th (of n)
    // carries (k / n) x 0.99; the last message is the end mark.
    std::set<uint32_t> received;
    std::vector<uint32_t> marks;
    bool segmentStart = true;
    for (size_t i = 2; i < messages.size(); ++i) {
      const Got& got = messages[i];
      if (got.id() == kProgress) {
        ASSERT_EQ(got.bytes.size(), 5u);
        marks.push_back(bigEndian32(got.bytes, 1));
        segmentStart = true;
        continue;
      }
      ASSERT_EQ(got.id(), kMsgObjectRecord) << i;
      RakNet::BitStream record(got.bytes.data(), got.bytes.size(), false);
      record.IgnoreBits(8);
      const uint32_t uid = readNetUInt(record);
      const uint32_t container = readNetUInt(record);
      if (segmentStart)
        EXPECT_EQ(container, kClientGalaxyUid) << "record " << uid;
      else
        EXPECT_TRUE(container != kClientGalaxyUid && received.count(container) == 1)
            << "record " << uid << " in " << container;
      EXPECT_TRUE(received.insert(uid).second) << "UID " << uid << " twice";
      segmentStart = false;
    }
    ASSERT_FALSE(marks.empty());
    EXPECT_EQ(marks.back(), 0x3F800000u);
    marks.pop_back();
    ASSERT_EQ(marks.size(), kSystems);
    for (uint32_t k = 0; k < marks.size(); ++k)
      EXPECT_EQ(marks[k], floatBits(galaxyTransferProgress(k, static_cast<uint32_t>(marks.size())))) << k;
    EXPECT_EQ(received, expected);

    // The confirmation: a 122 that sets the clock hard, then the periodic
    // ones that converge.
    probe.forget();
    probe.send({kProgress});
    const std::optional<Got> first = probe.waitFor(kGameTime, server.polling());
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->bytes.at(1) & 0x80, 0x80) << "set hard";
    probe.forget();
    for (int step = 0; step < 3; ++step) {
      server.timer.realTime += kUpdateIntervalMs + 1;
      server.poll();
    }
    const std::optional<Got> periodic = probe.waitFor(kGameTime, server.polling());
    ASSERT_TRUE(periodic.has_value());
    EXPECT_EQ(periodic->bytes.at(1) & 0x80, 0x00) << "converging";
  });
}

// Play-as requests that break a rule get no answer: an unknown, reserved or
// player-controlled empire, or a player who has one already.
TEST(GalaxyTransferNetwork, RefusedPlayAsRequestsAreNotAnswered) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    empire* taken = server.aiEmpire(0);
    empire* free = server.aiEmpire(1);
    empire* reserved = nullptr;
    for (empire* emp : empireList)
      if (emp->reserved)
        reserved = emp;
    ASSERT_NE(taken, nullptr);
    ASSERT_NE(free, nullptr);
    Probe holder;
    Probe asker;
    ASSERT_NE(server.attach(holder, taken), nullptr);
    ASSERT_NE(server.attach(asker), nullptr);

    struct Case {
      Probe* from;
      uint8_t id;
    };
    std::vector<Case> cases = {{&asker, 77}, {&asker, static_cast<uint8_t>(taken->ID)},
                               {&holder, static_cast<uint8_t>(free->ID)}};
    if (reserved != nullptr)
      cases.push_back({&asker, static_cast<uint8_t>(reserved->ID)});
    for (const Case& c : cases) {
      holder.forget();
      asker.forget();
      c.from->send({kPlayAs, c.id});
      // A chat line sent behind it is handled after the request: once the
      // other probe has it relayed, any answer was sent before it.
      c.from->send({113, 'x', 0});
      Probe& other = c.from == &asker ? holder : asker;
      ASSERT_TRUE(other.waitFor(113, server.polling()).has_value());
      server.poll();
      EXPECT_FALSE(c.from->has(kPlayAs)) << int{c.id};
      EXPECT_FALSE(other.has(kPlayAs)) << int{c.id};
    }

    // A sound request is answered, and every peer hears of it.
    holder.forget();
    asker.forget();
    asker.send({kPlayAs, static_cast<uint8_t>(free->ID)});
    const std::optional<Got> answer = asker.waitFor(kPlayAs, server.polling());
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->bytes.at(1), free->ID);
    EXPECT_FALSE(free->isAI());
    EXPECT_TRUE(holder.waitFor(113, server.polling()).has_value());
  });
}

}  // namespace

}  // namespace galaxy_transfer_network_test
