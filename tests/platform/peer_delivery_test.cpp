// Delivery between two connected peers: reliabilities, ordering channels,
// priorities, forged connection events and sending from many threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/bit_stream.h"
#include "platform/peer.h"
#include "support/network_child.h"
#include "support/peer_harness.h"

namespace peer_delivery_test {

using namespace peerharness;
using namespace RakNet;
using privatenet::runInPrivateNetwork;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kTestId = 200;
constexpr uint8_t kMarkerId = 201;

// A message of `size` bytes (at least 5): the id, a 32-bit number, filler
// that depends on both.
Bytes numbered(uint8_t id, uint32_t number, std::size_t size = 5) {
  Bytes bytes(std::max<std::size_t>(size, 5));
  bytes[0] = id;
  bytes[1] = static_cast<uint8_t>(number >> 24);
  bytes[2] = static_cast<uint8_t>(number >> 16);
  bytes[3] = static_cast<uint8_t>(number >> 8);
  bytes[4] = static_cast<uint8_t>(number);
  for (std::size_t i = 5; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(number * 31 + i);
  return bytes;
}

uint32_t numberOf(const Got& got) {
  return static_cast<uint32_t>(got.bytes[1]) << 24 | static_cast<uint32_t>(got.bytes[2]) << 16 |
         static_cast<uint32_t>(got.bytes[3]) << 8 | got.bytes[4];
}

std::size_t countOf(const std::vector<Got>& got, uint8_t id) {
  return static_cast<std::size_t>(std::count_if(got.begin(), got.end(), [&](const Got& g) { return g.id() == id; }));
}

struct DeliveryCase {
  const char* name;
  std::function<void(RakPeerInterface& sender, const SystemAddress& to)> send;
  // Messages are taken until this holds.
  std::function<bool(const std::vector<Got>& got)> complete;
  std::function<void(const std::vector<Got>& got)> check;
};

TEST(PeerDeliveryTest, MessagesArriveAsTheirReliabilityPromises) {
  const uint8_t kChannels[] = {0, 4, 10, 100};
  const PacketReliability kReliable[] = {RELIABLE, RELIABLE_ORDERED, RELIABLE_SEQUENCED};
  const DeliveryCase cases[] = {
      {"10,000 reliable ordered on channel 4",
       [](RakPeerInterface& sender, const SystemAddress& to) {
         for (uint32_t i = 0; i < 10000; ++i)
           ASSERT_EQ(send(sender, numbered(kTestId, i, 8), to, RELIABLE_ORDERED, 4), 1u);
       },
       [](const std::vector<Got>& got) { return got.size() >= 10000; },
       [](const std::vector<Got>& got) {
         ASSERT_EQ(got.size(), 10000u);
         for (uint32_t i = 0; i < got.size(); ++i) {
           ASSERT_EQ(got[i].bytes, numbered(kTestId, i, 8)) << i;
         }
       }},
      {"reliable kinds over channels 0, 4, 10 and 100 keep the send order",
       [&](RakPeerInterface& sender, const SystemAddress& to) {
         for (uint32_t i = 0; i < 600; ++i)
           ASSERT_EQ(send(sender, numbered(kTestId, i, 5 + i % 40), to, kReliable[i % 3], kChannels[i % 4]), 1u);
       },
       [](const std::vector<Got>& got) { return got.size() >= 600; },
       [](const std::vector<Got>& got) {
         ASSERT_EQ(got.size(), 600u);
         for (uint32_t i = 0; i < got.size(); ++i) {
           ASSERT_EQ(got[i].bytes, numbered(kTestId, i, 5 + i % 40)) << i;
         }
       }},
      {"unreliable sequenced on channel 2 never older after newer",
       [](RakPeerInterface& sender, const SystemAddress& to) {
         // Small ones and update batches bigger than a datagram.
         for (uint32_t i = 0; i < 3000; ++i)
           ASSERT_EQ(send(sender, numbered(kTestId, i, i % 2 == 0 ? 60 : 1650), to, UNRELIABLE_SEQUENCED, 2), 1u);
         ASSERT_EQ(send(sender, numbered(kMarkerId, 0), to, RELIABLE, 0), 1u);
       },
       [](const std::vector<Got>& got) { return countOf(got, kMarkerId) == 1; },
       [](const std::vector<Got>& got) {
         uint32_t last = 0;
         bool first = true;
         std::size_t arrived = 0;
         for (const Got& g : got) {
           if (g.id() != kTestId)
             continue;
           const uint32_t number = numberOf(g);
           ASSERT_EQ(g.bytes, numbered(kTestId, number, number % 2 == 0 ? 60 : 1650));
           if (!first) {
             ASSERT_GT(number, last);
           }
           first = false;
           last = number;
           ++arrived;
         }
         std::cout << arrived << " of 3000 unreliable sequenced messages arrived before the marker\n";
       }},
      {"a 300 KB reliable message arrives whole",
       [](RakPeerInterface& sender, const SystemAddress& to) {
         ASSERT_EQ(send(sender, numbered(kTestId, 7, 300 * 1024), to, RELIABLE_ORDERED, 4), 1u);
         ASSERT_EQ(send(sender, numbered(kMarkerId, 0), to, RELIABLE, 0), 1u);
       },
       [](const std::vector<Got>& got) { return countOf(got, kMarkerId) == 1; },
       [](const std::vector<Got>& got) {
         ASSERT_EQ(got.size(), 2u);
         EXPECT_EQ(got[0].bytes, numbered(kTestId, 7, 300 * 1024));
       }},
      {"with the service held, higher priorities leave first",
       [](RakPeerInterface& sender, const SystemAddress& to) {
         sender.HoldService(true);
         ASSERT_EQ(send(sender, numbered(kTestId, 0), to, RELIABLE_ORDERED, 0, LOW_PRIORITY), 1u);
         ASSERT_EQ(send(sender, numbered(kTestId, 1), to, RELIABLE_ORDERED, 0, HIGH_PRIORITY), 1u);
         ASSERT_EQ(send(sender, numbered(kTestId, 2), to, RELIABLE_ORDERED, 0, MEDIUM_PRIORITY), 1u);
         ASSERT_EQ(send(sender, numbered(kTestId, 3), to, RELIABLE_ORDERED, 0, IMMEDIATE_PRIORITY), 1u);
         ASSERT_EQ(send(sender, numbered(kTestId, 4), to, RELIABLE_ORDERED, 0, LOW_PRIORITY), 1u);
         ASSERT_EQ(send(sender, numbered(kTestId, 5), to, RELIABLE_ORDERED, 0, HIGH_PRIORITY), 1u);
         sender.HoldService(false);
       },
       [](const std::vector<Got>& got) { return got.size() >= 6; },
       [](const std::vector<Got>& got) {
         std::vector<uint32_t> order;
         for (const Got& g : got)
           order.push_back(numberOf(g));
         EXPECT_EQ(order, (std::vector<uint32_t>{3, 1, 5, 2, 0, 4}));
       }},
  };
  runInPrivateNetwork([&] {
    for (const DeliveryCase& c : cases) {
      SCOPED_TRACE(c.name);
      PeerPtr server = startServer();
      PeerPtr client = startClient();
      connectPair(*server, *client);
      c.send(*server, server->GetSystemAddressFromIndex(0));
      std::vector<Got> got;
      while (!c.complete(got)) {
        std::optional<Got> one = next(*client);
        ASSERT_TRUE(one.has_value()) << got.size() << " messages arrived";
        got.push_back(*one);
      }
      c.check(got);
    }
  });
}

TEST(PeerDeliveryTest, BroadcastReachesEveryConnectionButTheOneNamed) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PeerPtr clients[3] = {startClient(), startClient(), startClient()};
    for (PeerPtr& client : clients)
      connectPair(*server, *client);
    const SystemAddress left = server->GetSystemAddressFromIndex(1);
    const Bytes message = numbered(kTestId, 42);
    EXPECT_EQ(server->Send(reinterpret_cast<const char*>(message.data()), 5, MEDIUM_PRIORITY, RELIABLE, 0, left, true),
              2u);
    EXPECT_EQ(server->Send(reinterpret_cast<const char*>(message.data()), 5, MEDIUM_PRIORITY, RELIABLE, 0,
                           UNASSIGNED_SYSTEM_ADDRESS, true),
              3u);
    // Through a bit stream, as the game sends.
    BitStream stream;
    stream.Write(static_cast<uint8_t>(kMarkerId));
    stream.Write(static_cast<uint32_t>(7));
    EXPECT_EQ(server->Send(&stream, MEDIUM_PRIORITY, RELIABLE, 0, UNASSIGNED_SYSTEM_ADDRESS, true), 3u);
    for (int i = 0; i < 3; ++i) {
      std::vector<Got> before;
      ASSERT_TRUE(waitFor(*clients[i], kMarkerId, &before).has_value()) << i;
      EXPECT_EQ(before.size(), i == 1 ? 1u : 2u) << i;
    }
    // Bad arguments queue nothing.
    EXPECT_EQ(send(*server, message, server->GetSystemAddressFromIndex(0), RELIABLE, 12), 0u);
    EXPECT_EQ(send(*server, message, server->GetSystemAddressFromIndex(0), RELIABLE, 255), 0u);
    EXPECT_EQ(send(*server, message, server->GetSystemAddressFromIndex(0), static_cast<PacketReliability>(5)), 0u);
    EXPECT_EQ(send(*server, message, server->GetSystemAddressFromIndex(0), RELIABLE, 0, static_cast<PacketPriority>(4)),
              0u);
    EXPECT_EQ(send(*server, message, loopback(1)), 0u);
    EXPECT_EQ(server->Send(static_cast<const BitStream*>(nullptr), MEDIUM_PRIORITY, RELIABLE, 0, left, false), 0u);
    EXPECT_EQ(server->Send(nullptr, 3, MEDIUM_PRIORITY, RELIABLE, 0, left, false), 0u);
  });
}

// Only the layer produces ids below 32: a client cannot fake a connection
// event on the server, and nothing after such a message is lost.
TEST(PeerDeliveryTest, ForgedEventsAreDroppedAndWhatFollowsArrives) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PeerPtr client = startClient();
    connectPair(*server, *client);
    const SystemAddress to = loopback(kServerPort);
    for (uint8_t id : {ID_NEW_INCOMING_CONNECTION, ID_DISCONNECTION_NOTIFICATION, ID_CONNECTION_LOST})
      ASSERT_EQ(send(*client, Bytes{id}, to, RELIABLE_ORDERED, 0), 1u);
    for (unsigned id = 0; id < 32; ++id)
      ASSERT_EQ(send(*client, Bytes{static_cast<uint8_t>(id), 1, 2, 3}, to, RELIABLE, id % 12), 1u);
    ASSERT_EQ(send(*client, Bytes{}, to, RELIABLE, 0), 1u);
    ASSERT_EQ(send(*client, Bytes{113, 'h', 0, 'i', 0}, to, RELIABLE, 100), 1u);

    const std::optional<Got> first = next(*server);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->bytes, (Bytes{113, 'h', 0, 'i', 0}));
    EXPECT_EQ(first->guid, client->GetMyGUID());
    EXPECT_EQ(server->GetDropCount(DropReason::ReservedId), 35u);
    EXPECT_EQ(server->GetDropCount(DropReason::EmptyMessage), 1u);
    EXPECT_EQ(server->NumberOfConnections(), 1u);
    EXPECT_EQ(server->GetConnectionState(client->GetMyGUID()), CONNECTION_OPEN);
    EXPECT_TRUE(drain(*server).empty());
  });
}

// Four threads send over one connection while a fifth takes what arrives.
TEST(PeerDeliveryTest, ManySendingThreadsLoseNothing) {
  runInPrivateNetwork([] {
    constexpr int kThreads = 4;
    constexpr uint32_t kEach = 5000;
    PeerPtr server = startServer();
    PeerPtr client = startClient();
    connectPair(*server, *client);
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t)
      senders.emplace_back([&, t] {
        for (uint32_t i = 0; i < kEach; ++i)
          send(*client, numbered(static_cast<uint8_t>(kTestId + t), i, 6 + i % 20), loopback(kServerPort),
               i % 2 == 0 ? RELIABLE_ORDERED : RELIABLE, static_cast<uint8_t>(t));
      });
    uint32_t nextOf[kThreads] = {};
    uint32_t received = 0;
    while (received < kThreads * kEach) {
      std::optional<Got> got = next(*server);
      ASSERT_TRUE(got.has_value()) << received << " arrived";
      const int t = got->id() - kTestId;
      ASSERT_TRUE(t >= 0 && t < kThreads) << int(got->id());
      // Each thread's messages keep their order.
      ASSERT_EQ(got->bytes, numbered(got->id(), nextOf[t], 6 + nextOf[t] % 20));
      ++nextOf[t];
      ++received;
    }
    for (std::thread& sender : senders)
      sender.join();
    EXPECT_TRUE(drain(*server).empty());
  });
}

}  // namespace peer_delivery_test
