// What one hostile client can make a server spend, over real connections:
// each case floods the server and states its bound.
//  - 1,000 wrong remote-console passwords a minute: at most 5 answers;
//  - 100 galaxy requests from one client, and from three at once: one
//    transfer per client at a time, at most two running at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "net/chat_log.h"
#include "net/galaxy_transfer.h"
#include "net/message_ids.h"
#include "net/remote_console.h"
#include "net_fixture.h"
#include "platform/bit_stream.h"
#include "support/network_child.h"

namespace hostile_resources_test {

namespace {

using netfixture::ServerFixture;
using netprobe::bytesOf;
using netprobe::Got;
using netprobe::Probe;

constexpr unsigned kWrongPasswords = 1000;
constexpr unsigned kMaxRefusalsPerMinute = 5;
constexpr unsigned kGalaxyRequests = 100;
constexpr unsigned kMaxTransfersAtOnce = 2;

// Sends a chat line from `from` and polls until `watcher` hears it: the
// server has then handled everything `from` sent before it.
bool handledUpToHere(ServerFixture& server, Probe& from, Probe& watcher, const std::wstring& mark) {
  RakNet::BitStream chat;
  writeChatMessage(chat, irr::core::stringw(mark.c_str()));
  from.send(chat);
  return server.pollUntil([&] {
    for (const Got& got : watcher.ofId(msgid::kChat))
      if (netprobe::chatText(got).find(mark) != std::wstring::npos)
        return true;
    return false;
  });
}

size_t refusalsTo(Probe& probe) {
  size_t count = 0;
  for (const Got& got : probe.ofId(msgid::kChat))
    if (netprobe::chatText(got) == kRemoteConsoleRefusal)
      ++count;
  return count;
}

}  // namespace

TEST(net_hostile, WrongConsolePasswordsAreAnsweredAtMostFiveTimesAMinute) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    server.manager.consolePassword = L"s3cret";
    Probe guesser;
    Probe watcher;
    ASSERT_NE(server.attach(guesser), nullptr);
    ASSERT_NE(server.attach(watcher), nullptr);
    for (unsigned minute = 0; minute < 2; ++minute) {
      guesser.forget();
      for (unsigned i = 0; i < kWrongPasswords; ++i) {
        RakNet::BitStream guess;
        writeRemoteConsoleMessage(guess, irr::core::stringw(L"guess ") + irr::core::stringw(i), L"players");
        guesser.send(guess);
      }
      ASSERT_TRUE(handledUpToHere(server, guesser, watcher, L"mark " + std::to_wstring(minute)));
      // The refusals were sent before the mark's relay: reliable messages to
      // one connection arrive in order within their priority, and both go
      // at the same one.
      EXPECT_LE(refusalsTo(guesser), kMaxRefusalsPerMinute) << "minute " << minute;
      EXPECT_GE(refusalsTo(guesser), 1u) << "minute " << minute;
      EXPECT_EQ(queuedRemoteConsoleCommands(), 0u);
      server.timer.realTime += kRemoteConsoleLockoutMs + 1;
    }
  });
}

TEST(net_hostile, GalaxyRequestFloodsRunOneTransferPerClientAndTwoAtOnce) {
  for (unsigned clients : {1u, 3u}) {
    SCOPED_TRACE(std::to_string(clients) + " clients");
    privatenet::runInPrivateNetwork([clients] {
      ServerFixture server;
      std::vector<std::unique_ptr<Probe>> probes;
      for (unsigned i = 0; i < clients; ++i) {
        probes.push_back(std::make_unique<Probe>());
        ASSERT_NE(server.attach(*probes.back()), nullptr);
      }
      Probe watcher;
      ASSERT_NE(server.attach(watcher), nullptr);
      for (unsigned i = 0; i < kGalaxyRequests; ++i)
        for (auto& probe : probes)
          probe->send(std::vector<uint8_t>{msgid::kGalaxyRequest});
      unsigned mostRunning = 0;
      unsigned mostHeld = 0;
      for (unsigned i = 0; i < clients; ++i) {
        const std::wstring mark = L"mark " + std::to_wstring(i);
        RakNet::BitStream chat;
        writeChatMessage(chat, irr::core::stringw(mark.c_str()));
        probes[i]->send(chat);
        ASSERT_TRUE(server.pollUntil([&] {
          mostRunning = std::max(mostRunning, runningGalaxyTransfers());
          mostHeld = std::max(mostHeld, runningGalaxyTransfers() + waitingGalaxyTransfers());
          for (const Got& got : watcher.ofId(msgid::kChat))
            if (netprobe::chatText(got).find(mark) != std::wstring::npos)
              return true;
          return false;
        }));
      }
      // Every request is in: the transfers run out.
      ASSERT_TRUE(server.pollUntil([&] {
        mostRunning = std::max(mostRunning, runningGalaxyTransfers());
        mostHeld = std::max(mostHeld, runningGalaxyTransfers() + waitingGalaxyTransfers());
        return runningGalaxyTransfers() + waitingGalaxyTransfers() == 0;
      }));
      waitForGalaxyTransfers();
      EXPECT_LE(mostRunning, kMaxTransfersAtOnce);
      EXPECT_LE(mostHeld, clients) << "one transfer per client at a time";
      // Each client had at least one whole galaxy; none had more than the
      // requests that found no transfer of its own under way.
      for (auto& probe : probes) {
        const auto ends = [&] {
          size_t count = 0;
          for (const Got& got : probe->ofId(msgid::kGalaxyEnd))
            if (got.bytes == std::vector<uint8_t>{msgid::kGalaxyEnd, 0x3F, 0x80, 0x00, 0x00})
              ++count;
          return count;
        };
        EXPECT_TRUE(server.pollUntil([&] { return ends() >= 1; })) << "no whole galaxy";
        EXPECT_LE(ends(), kGalaxyRequests);
      }
    });
  }
}

}  // namespace hostile_resources_test
