// A client fed by a hostile server, over a real connection: the client's
// session holds the tiny map, and the "server" is a probe that sends 10,000
// messages of the ids a server sends (113 to 145 and the master's 212):
// random bodies, every truncation of the well-formed messages the writers
// make (tests/net/made_messages.h), bit flips of them and counts at their
// maximum. The client must crash on none, keep its connection and leak
// nothing (the child's leak check when it ends), and read past no message
// (the sanitizers).
//
// The protocol version (143) is sent only well-formed, as the mark that the
// client has read everything before it: another value ends the session by
// the rules, as a restart (145) does, so both are left out of the hostile
// bodies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "made_messages.h"
#include "net/message_ids.h"
#include "net/network_manager.h"
#include "net_fixture.h"
#include "platform/bit_stream.h"
#include "support/network_child.h"

namespace hostile_server_test {

namespace {

using netfixture::ServerFixture;
using netprobe::Probe;
using Bytes = std::vector<uint8_t>;

constexpr size_t kInputs = 10000;
constexpr size_t kRandomBodyLimit = 2000;

bool leftOut(unsigned id) { return id == msgid::kProtocolVersion || id == msgid::kSessionRestart; }

// The hostile messages, about the same number for every id.
std::vector<Bytes> hostileMessages(const std::map<uint8_t, std::vector<Bytes>>& made, std::mt19937& rng) {
  std::vector<unsigned> ids;
  for (unsigned id = msgid::kFirstGameMessage; id <= msgid::kSessionRestart; ++id)
    if (!leftOut(id))
      ids.push_back(id);
  ids.push_back(msgid::kMasterServerList);
  const size_t perId = kInputs / ids.size() + 1;
  std::vector<Bytes> out;
  for (unsigned id : ids) {
    std::vector<Bytes> bodies;
    const auto found = made.find(static_cast<uint8_t>(id));
    if (found != made.end())
      for (const Bytes& message : found->second) {
        for (size_t cut = 1; cut < message.size() && bodies.size() < perId / 2; ++cut)
          bodies.emplace_back(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(cut));
        for (size_t at = 1; at < message.size() && bodies.size() < perId * 3 / 4; ++at)
          for (size_t width : {1u, 2u, 4u}) {
            Bytes counted = message;
            counted.resize(std::max(counted.size(), at + width));
            std::fill(counted.begin() + static_cast<std::ptrdiff_t>(at),
                      counted.begin() + static_cast<std::ptrdiff_t>(at + width), 0xFF);
            bodies.push_back(counted);
          }
      }
    while (bodies.size() < perId) {
      if (found != made.end() && rng() % 2 == 0) {
        Bytes flipped = found->second[rng() % found->second.size()];
        if (flipped.size() > 1) {
          const size_t bit = 8 + rng() % ((flipped.size() - 1) * 8);
          flipped[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        }
        bodies.push_back(flipped);
        continue;
      }
      Bytes body(1 + rng() % (rng() % 8 == 0 ? kRandomBodyLimit : 64));
      body[0] = static_cast<uint8_t>(id);
      for (size_t k = 1; k < body.size(); ++k)
        body[k] = static_cast<uint8_t>(rng());
      bodies.push_back(body);
    }
    out.insert(out.end(), bodies.begin(), bodies.end());
  }
  return out;
}

}  // namespace

TEST(net_hostile, AClientFedByAHostileServerKeepsGoing) {
  privatenet::runInPrivateNetwork(
      [] {
        ServerFixture session{[] {
          netfixture::ServerOptions options;
          options.startPeer = false;
          return options;
        }()};
        NetworkManager& manager = session.manager;
        empire* own = session.aiEmpire(0);
        empire* other = session.aiEmpire(1);
        ASSERT_NE(own, nullptr);
        ASSERT_NE(other, nullptr);
        std::map<uint8_t, std::vector<Bytes>> made;
        for (const madeMessages::Made& message : madeMessages::makeAll(manager, own, other))
          if (!message.toServer)
            made[message.id].push_back(message.bytes);

        Probe server;
        ASSERT_TRUE(server.host());
        manager.isServer = false;
        ASSERT_TRUE(manager.connect(server.address().ToString(false).c_str(), kDefaultGamePort));
        ASSERT_TRUE(session.pollUntil([&] { return manager.isConnected.load(); }));
        ASSERT_TRUE(session.pollUntil([&] { return server.has(RakNet::ID_NEW_INCOMING_CONNECTION); }));

        std::mt19937 rng(145);
        const std::vector<Bytes> messages = hostileMessages(made, rng);
        ASSERT_GE(messages.size(), kInputs);
        for (size_t first = 0; first < messages.size(); first += 500) {
          SCOPED_TRACE("from message " + std::to_string(first));
          for (size_t i = first; i < std::min(messages.size(), first + 500); ++i)
            server.send(messages[i], RakNet::RELIABLE_ORDERED);
          // The mark: once the client has read it, it has read the rest.
          manager.peerVersion = 0;
          RakNet::BitStream version;
          version.Write(msgid::kProtocolVersion);
          version.Write(kProtocolVersion);
          server.send(version, RakNet::RELIABLE_ORDERED);
          ASSERT_TRUE(session.pollUntil([&] { return manager.peerVersion == kProtocolVersion; }))
              << "the client stopped reading its server";
          ASSERT_TRUE(manager.isConnected.load());
        }
      },
      900);
}

}  // namespace hostile_server_test
