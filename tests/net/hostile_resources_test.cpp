// What one hostile client can make a server spend, over real connections:
// each case floods the server and states its bound.
//  - 10,000 distinct names through empire settings (130) and through planet
//    governor types (118 sub-kind 4): the server's heap grows by less than
//    1 MiB, and the empire files at most its cap of client settings;
//  - 10,000 designs under distinct names (127): the empire files at most
//    its cap of client designs;
//  - 1,000 wrong remote-console passwords a minute: at most 5 answers;
//  - 100 galaxy requests from one client, and from three at once: one
//    transfer per client at a time, at most two running at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/net_encoders.h"
#include "empire/empire.h"
#include "design/hull_list.h"
#include "hostile_state.h"
#include "made_messages.h"
#include "net/chat_log.h"
#include "net/empire_messages.h"
#include "net/object_requests.h"
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
using hostilestate::heapInUse;

constexpr unsigned kDistinctNames = 10000;
constexpr size_t kNamesHeapBound = 1024 * 1024;
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

}  // namespace

TEST(net_hostile, TenThousandNamesFromOneClientStayWithinTheirBound) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    empire* own = server.aiEmpire(0);
    ASSERT_NE(own, nullptr);
    Probe player;
    Probe watcher;
    ASSERT_NE(server.attach(player, own), nullptr);
    ASSERT_NE(server.attach(watcher), nullptr);
    generic_object* planet = madeMessages::findObject(galaxy, [own](generic_object* o) {
      return o->getOwner() == own && dynamic_cast<objHabitation*>(o) != nullptr;
    });
    ASSERT_NE(planet, nullptr);
    const irr::u32 settingsBefore = own->settings.size();
    // Names of 40 units, each new: through 130, then through 118 sub-kind 4.
    auto name = [](unsigned kind, unsigned i) {
      return irr::core::stringw(L"hostile name of kind ") + irr::core::stringw(kind) + L" number " +
             irr::core::stringw(i + 100000);
    };
    // A first round fills what a first message makes once (the
    // connection's buffers, the empire's first client settings).
    for (unsigned round = 0; round < 2; ++round) {
      const unsigned count = round == 0 ? 10 : kDistinctNames;
      const size_t before = heapInUse();
      for (unsigned i = 0; i < count; ++i) {
        RakNet::BitStream setting;
        setting.Write(ID_EMPIRE_SETTING);
        writeNetStringW(setting, name(round * 2, i), kMaxNetStringLength);
        setting.Write(1.0f);
        player.send(setting);
        RakNet::BitStream governor;
        governor.Write(ID_PLANET_SETTING);
        writeNetObjectRef(governor, planet);
        governor.Write(static_cast<uint8_t>(PSK_GovernorType));
        writeNetStringW(governor, name(round * 2 + 1, i), kMaxNetStringLength);
        player.send(governor);
        // Now and then wait for the server, so that the queues stay short.
        if (i % 1000 == 999) {
          ASSERT_TRUE(handledUpToHere(server, player, watcher, L"mark " + std::to_wstring(round) + L"." + std::to_wstring(i)));
        }
      }
      ASSERT_TRUE(handledUpToHere(server, player, watcher, L"end " + std::to_wstring(round)));
      watcher.forget();
      if (round == 1) {
        const size_t after = heapInUse();
        EXPECT_LT(after > before ? after - before : 0, kNamesHeapBound) << "the heap grew from " << before << " to " << after;
      }
    }
    EXPECT_LE(own->settings.size(), std::max<irr::u32>(settingsBefore, kMaxClientEmpireSettings));
    EXPECT_GT(own->settings.size(), settingsBefore) << "no setting was filed at all";
    const objHabitation* home = dynamic_cast<objHabitation*>(planet);
    EXPECT_EQ(home->getGovernorType(), nullptr) << "a governor type that names no build list was taken";
  });
}

TEST(net_hostile, TenThousandDesignsFromOneClientStayWithinTheirCap) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    empire* own = server.aiEmpire(0);
    ASSERT_NE(own, nullptr);
    Probe player;
    Probe watcher;
    ASSERT_NE(server.attach(player, own), nullptr);
    ASSERT_NE(server.attach(watcher), nullptr);
    ASSERT_GT(own->hulls.size(), 0u);
    hull_list* model = own->hulls[0].value;
    ASSERT_NE(model, nullptr);
    const irr::core::stringw modelName = model->name;
    const irr::u32 before = own->hulls.size();
    for (unsigned i = 0; i < kDistinctNames; ++i) {
      // The empire's first design under a new name each time.
      RakNet::BitStream design;
      model->name = irr::core::stringw(L"hostile design ") + irr::core::stringw(i);
      const bool written = writeHullLayoutMessage(design, model, nullptr, nullptr);
      model->name = modelName;
      ASSERT_TRUE(written);
      player.send(design);
      if (i % 1000 == 999) {
        ASSERT_TRUE(handledUpToHere(server, player, watcher, L"mark " + std::to_wstring(i)));
      }
    }
    ASSERT_TRUE(handledUpToHere(server, player, watcher, L"end"));
    EXPECT_GT(own->hulls.size(), before) << "no design was filed at all";
    EXPECT_LE(own->hulls.size(), std::max<irr::u32>(before, kMaxClientHullLayouts));
    // A design under a name the empire has is still taken.
    RakNet::BitStream again;
    ASSERT_TRUE(writeHullLayoutMessage(again, model, nullptr, nullptr));
    const irr::s32 first = NamedVar<hull_list*>::find(own->hulls, modelName);
    ASSERT_GE(first, 0);
    const hull_list* held = own->hulls[static_cast<irr::u32>(first)].value;
    player.send(again);
    ASSERT_TRUE(handledUpToHere(server, player, watcher, L"again"));
    const irr::s32 now = NamedVar<hull_list*>::find(own->hulls, modelName);
    ASSERT_GE(now, 0);
    EXPECT_NE(own->hulls[static_cast<irr::u32>(now)].value, held) << "a design under a held name was refused";
  });
}

TEST(net_hostile, WrongConsolePasswordsAreAnsweredAtMostFiveTimesAMinute) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    server.manager.consolePassword = L"s3cret";
    Probe guesser;
    Probe watcher;
    const NetPlayer* guessing = server.attach(guesser);
    ASSERT_NE(guessing, nullptr);
    ASSERT_NE(server.attach(watcher), nullptr);
    // The refusals are counted as the server sends them: the mark's relay
    // goes to the watcher, another connection, which may hear it before the
    // guesser hears its refusals.
    const RakNet::SystemAddress guesserAddress = guessing->address;
    size_t refused = 0;
    server.manager.setSendObserver([&](const RakNet::BitStream& stream, uint8_t, RakNet::PacketReliability,
                                       const RakNet::SystemAddress& target) {
      const std::vector<uint8_t> bytes = netprobe::bytesOf(stream);
      if (!bytes.empty() && bytes[0] == msgid::kChat && target == guesserAddress) {
        Got got;
        got.bytes = bytes;
        refused += netprobe::chatText(got) == kRemoteConsoleRefusal ? 1 : 0;
      }
    });
    for (unsigned minute = 0; minute < 2; ++minute) {
      refused = 0;
      for (unsigned i = 0; i < kWrongPasswords; ++i) {
        RakNet::BitStream guess;
        writeRemoteConsoleMessage(guess, irr::core::stringw(L"guess ") + irr::core::stringw(i), L"players");
        guesser.send(guess);
      }
      ASSERT_TRUE(handledUpToHere(server, guesser, watcher, L"mark " + std::to_wstring(minute)));
      EXPECT_LE(refused, kMaxRefusalsPerMinute) << "minute " << minute;
      EXPECT_GE(refused, 1u) << "minute " << minute;
      EXPECT_EQ(queuedRemoteConsoleCommands(), 0u);
      server.timer.realTime += kRemoteConsoleLockoutMs + 1;
    }
    server.manager.setSendObserver(nullptr);
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
