// A server in the test's process, joined and left by probes: the greeting
// of a new player, the player limit, players leaving, and the dispatch of
// what arrives by its first byte.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/formula.h"
#include "core/locale.h"
#include "core/named_values.h"
#include "core/net_encoders.h"
#include "core/user_folders.h"
#include "net/chat_log.h"
#include "net/message_ids.h"
#include "net/message_receiver.h"
#include "net_fixture.h"
#include "support/log_capture.h"
#include "support/network_child.h"

namespace server_join_test {

namespace {

using netfixture::ServerFixture;
using netfixture::ServerOptions;
using netprobe::chatText;
using netprobe::Got;
using netprobe::Probe;

std::string text(const RakNet::SystemAddress& address) { return address.ToString(true); }

std::wstring wide(const irr::core::stringw& text) { return std::wstring(text.c_str(), text.size()); }

bool contains(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

// The ids of the game's messages a probe received, in order.
std::vector<uint8_t> gameIds(Probe& probe) {
  std::vector<uint8_t> ids;
  for (const Got& got : probe.received())
    if (got.id() >= RakNet::kFirstUserMessageId)
      ids.push_back(got.id());
  return ids;
}

using NamedFloats = std::vector<std::pair<std::wstring, float>>;

NamedFloats tableOf(const NamedVar<float>::Registry& registry) {
  NamedFloats out;
  for (irr::u32 i = 0; i < registry.size(); ++i)
    out.emplace_back(wide(registry[i].name), registry[i].value);
  return out;
}

// Message 142 read by hand: the mod name, then two tables of named floats.
struct GameSettings {
  std::string modName;
  NamedFloats settings;
  NamedFloats constants;
};

bool readTable(RakNet::BitStream& stream, NamedFloats& out) {
  uint32_t count = 0;
  if (!stream.Read(count))
    return false;
  for (uint32_t i = 0; i < count; ++i) {
    irr::core::stringw name;
    float value = 0.0f;
    if (!readNetStringW(stream, name) || !stream.Read(value))
      return false;
    out.emplace_back(wide(name), value);
  }
  return true;
}

GameSettings readGameSettings(const Got& got) {
  RakNet::BitStream stream(got.bytes.data(), got.bytes.size(), false);
  GameSettings read;
  irr::core::stringc mod;
  uint8_t id = 0;
  EXPECT_TRUE(stream.Read(id) && readNetStringC(stream, mod) && readTable(stream, read.settings) &&
              readTable(stream, read.constants));
  EXPECT_EQ(stream.GetNumberOfUnreadBits(), 0u);
  read.modName = mod.c_str();
  return read;
}

// Counts what reaches it, with the sender it was handed.
class CountingReceiver : public MessageReceiver {
 public:
  void handle(uint8_t messageId, RakNet::BitStream& stream, NetPlayer* from) override {
    ids.push_back(messageId);
    senders.push_back(from);
    uint8_t first = 0;
    payloads.push_back(stream.Read(first) ? first : -1);
  }
  std::vector<uint8_t> ids;
  std::vector<NetPlayer*> senders;
  std::vector<int> payloads;
};

TEST(ServerJoin, ANewPlayerIsGreetedAndGetsTheServersSettings) {
  privatenet::runInPrivateNetwork([] {
    LogCapture log;
    ServerFixture server;
    setGameSetting(L"SV_TEST_VALUE", 2.5f);
    Probe first("127.0.0.1");
    NetPlayer* record = server.attach(first);
    ASSERT_NE(record, nullptr);

    // 143, the welcome, the settings: in this order, and nothing else.
    ASSERT_EQ(gameIds(first), (std::vector<uint8_t>{143, 113, 142}));
    const std::vector<Got> version = first.ofId(143);
    EXPECT_EQ(version[0].bytes, (std::vector<uint8_t>{0x8F, 0x00, 0x07}));
    std::wstring welcome = getLocalizedText(L"#DS_Welcome");
    welcome += L"Dedicated Corvane Server";
    welcome += getLocalizedText(L"#DS_Join");
    welcome += getLocalizedText(L"#DS_Help");  // votes on, auto-pause off
    EXPECT_EQ(chatText(first.ofId(113)[0]), welcome);
    const GameSettings settings = readGameSettings(first.ofId(142)[0]);
    EXPECT_EQ(settings.modName, currentModName.c_str());
    EXPECT_EQ(settings.settings, tableOf(gameSettings));
    EXPECT_EQ(settings.constants, tableOf(formulaConstants));
    EXPECT_FALSE(settings.constants.empty());

    EXPECT_TRUE(contains(log.take(), "New player connected from " + text(first.address()) + "\n"));
    EXPECT_EQ(record->name, irr::core::stringw(L"Player 2"));
    EXPECT_EQ(record->id, 51u);
    EXPECT_EQ(record->address, first.address());
    EXPECT_TRUE(server.manager.playerListChanged);

    // The second is told nothing of its own arrival; the first hears of it.
    first.forget();
    Probe second;
    NetPlayer* other = server.attach(second);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->name, irr::core::stringw(L"Player 3"));
    EXPECT_EQ(other->id, 52u);
    ASSERT_TRUE(first.waitFor(113, server.polling()).has_value());
    EXPECT_EQ(chatText(first.ofId(113)[0]), L"New player joined");
    EXPECT_EQ(gameIds(second), (std::vector<uint8_t>{143, 113, 142}));
    EXPECT_EQ(chatLogLines().front(), irr::core::stringw(L"New player joined"));
    EXPECT_EQ(server.manager.playerCount(), 2u);
  });
}

TEST(ServerJoin, AServerWithoutGreetingSendsVersionAndSettingsOnly) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    server.manager.welcomeMessage = false;
    server.manager.autoPause = true;
    server.manager.votesEnabled = false;
    Probe probe;
    ASSERT_NE(server.attach(probe), nullptr);
    EXPECT_EQ(gameIds(probe), (std::vector<uint8_t>{143, 142}));
  });
}

// One player allowed: a second is closed without a word of the game's.
TEST(ServerJoin, AFullServerClosesTheConnection) {
  privatenet::runInPrivateNetwork([] {
    LogCapture log;
    ServerOptions options;
    options.maxPlayers = 1;
    ServerFixture server(options);
    Probe admitted;
    ASSERT_NE(server.attach(admitted), nullptr);

    Probe refused("127.0.0.1");
    ASSERT_EQ(refused.startConnect(), RakNet::CONNECT_STARTED);
    ASSERT_TRUE(refused.waitFor(RakNet::ID_DISCONNECTION_NOTIFICATION, server.polling()).has_value());
    EXPECT_TRUE(contains(log.take(), "Incoming connection from " + text(refused.address()) +
                                         " rejected: Max players reached\n"));
    EXPECT_FALSE(refused.has(143));
    EXPECT_EQ(server.manager.playerCount(), 1u);
    EXPECT_EQ(server.recordOf(refused), nullptr);
  });
}

// A player who leaves is logged and announced to the others, and its empire
// goes back to the AI. One who times out keeps its empire's name (it may
// come back to it).
TEST(ServerJoin, PlayersWhoLeaveOrVanishAreAnnounced) {
  struct Case {
    bool vanish;
    const char* logLine;  // before the address
    const char* logEnd;   // after it
    const wchar_t* notice;
    bool empireReleased;
  } const cases[] = {
      {false, "Client 'Player 2' from ", " disconnected\n", L"Player 2 disconnected", true},
      {true, "Lost connection to client 'Player 2' from ", "\n", L"Player 2 timed out", false},
  };
  for (const Case& c : cases) {
    privatenet::runInPrivateNetwork([&c] {
      LogCapture log;
      ServerFixture server;
      server.manager.peer->SetTimeoutTime(1000, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
      empire* emp = server.aiEmpire(0);
      ASSERT_NE(emp, nullptr);
      Probe leaving;
      Probe staying;
      ASSERT_NE(server.attach(leaving, emp), nullptr);
      ASSERT_NE(server.attach(staying), nullptr);
      const std::string address = text(leaving.address());
      staying.forget();

      if (c.vanish)
        leaving.vanish();
      else
        leaving.disconnect();
      ASSERT_TRUE(staying.waitFor(113, server.polling()).has_value());
      EXPECT_EQ(chatText(staying.ofId(113)[0]), c.notice);
      const std::string said = log.take();
      EXPECT_TRUE(contains(said, c.logLine + address + c.logEnd)) << said;
      EXPECT_EQ(server.manager.playerCount(), 1u);
      EXPECT_EQ(emp->playerControlled, !c.empireReleased);
      EXPECT_EQ(emp->playerName.empty(), c.empireReleased);
      EXPECT_EQ(chatLogLines().front(), irr::core::stringw(c.notice));
    });
  }
}

// Before the game is loaded, the events leave the record to the sweep: a
// player who times out is then reported as disconnected, and its empire
// released, by the sweep.
TEST(ServerJoin, BeforeTheGameIsLoadedTheSweepRemovesThePlayer) {
  privatenet::runInPrivateNetwork([] {
    LogCapture log;
    ServerOptions options;
    options.gameLoaded = false;
    ServerFixture server(options);
    server.manager.peer->SetTimeoutTime(1000, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
    empire* emp = server.aiEmpire(1);
    Probe leaving;
    ASSERT_NE(server.attach(leaving, emp), nullptr);
    const std::string address = text(leaving.address());
    leaving.vanish();
    ASSERT_TRUE(server.pollUntil([&] { return server.manager.playerCount() == 0; }));
    const std::string said = log.take();
    EXPECT_TRUE(contains(said, "Client 'Player 2' from " + address + " disconnected\n")) << said;
    EXPECT_FALSE(contains(said, "Lost connection to client")) << said;
    EXPECT_FALSE(emp->playerControlled);
    EXPECT_EQ(chatLogLines().front(), irr::core::stringw(L"Player 2 disconnected"));
  });
}

// Ids the server has no use for are dropped; a receiver's id goes to the
// receiver alone, with the sender's record; a game message from a peer
// without a record changes nothing and makes no record.
TEST(ServerDispatch, MessagesGoWhereTheirFirstByteSays) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    CountingReceiver receiver;
    server.manager.registerReceiver(150, &receiver);
    Probe probe;
    NetPlayer* record = server.attach(probe);
    ASSERT_NE(record, nullptr);
    probe.forget();
    const uint32_t chatId = lastChatId();

    // Ignored on a server: no handler (140, 200), the master server's list
    // that nobody asked for (212), a client's version, settings and restart.
    for (uint8_t id : {140, 200, 212, 143, 142, 145, 141, 144})
      probe.send(std::vector<uint8_t>{id, 0, 7});
    probe.send(std::vector<uint8_t>{150, 9});
    ASSERT_TRUE(server.pollUntil([&] { return !receiver.ids.empty(); }));
    EXPECT_EQ(receiver.ids, std::vector<uint8_t>{150});
    EXPECT_EQ(receiver.senders, std::vector<NetPlayer*>{record});
    EXPECT_EQ(receiver.payloads, std::vector<int>{9});
    EXPECT_TRUE(gameRunning);
    EXPECT_EQ(sessionResult, 0);
    EXPECT_TRUE(server.manager.isServer);
    EXPECT_TRUE(server.manager.peerActive());

    // Its record gone (as after a kick), the same peer's game messages make
    // none; the receiver hears it as nobody.
    {
      std::lock_guard<std::mutex> guard(server.manager.playersLock);
      server.manager.players.clear();
    }
    for (uint8_t id = msgid::kFirstGameMessage; id <= msgid::kLastGameMessage; ++id)
      if (id != 129)
        probe.send(std::vector<uint8_t>{id, 'h', 0});
    probe.send(std::vector<uint8_t>{150, 4});
    ASSERT_TRUE(server.pollUntil([&] { return receiver.ids.size() == 2; }));
    EXPECT_EQ(receiver.senders[1], nullptr);
    EXPECT_EQ(server.manager.playerCount(), 0u);
    EXPECT_EQ(lastChatId(), chatId);
    // Nothing came back for any of it.
    server.pollUntil([] { return false; }, 200);
    EXPECT_TRUE(probe.received().empty());
    server.manager.registerReceiver(150, nullptr);
  });
}

// Watching is a client's: a server or an idle process does nothing, and a
// client holds one reference per object however often it is watched.
TEST(ServerDispatch, WatchingAnObjectTakesOneReferenceOnAClientOnly) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    NetworkManager& manager = server.manager;
    ASSERT_NE(galaxy, nullptr);
    const int32_t references = galaxy->refCount.load();
    manager.watchObject(galaxy);  // a server
    EXPECT_TRUE(manager.watchedObjects.empty());
    manager.disconnect();
    manager.watchObject(galaxy);  // idle
    EXPECT_TRUE(manager.watchedObjects.empty());

    manager.isNetworked = true;  // a client
    manager.watchObject(galaxy);
    manager.watchObject(galaxy);
    manager.watchObject(nullptr);
    EXPECT_EQ(manager.watchedObjects.size(), 1u);
    EXPECT_EQ(galaxy->refCount.load(), references + 1);
    manager.isNetworked = false;
    manager.watchedObjects.clear();
    galaxy->drop();
  });
}

// A handler that stops the peer (as a console line run from the network
// may) ends the receive loop at once: nothing more is taken from the old
// peer, also when a new one has started meanwhile.
TEST(ServerDispatch, AHandlerThatStopsThePeerEndsTheLoop) {
  class Stopper : public MessageReceiver {
   public:
    explicit Stopper(bool hostAgain) : hostAgain_(hostAgain) {}
    void handle(uint8_t, RakNet::BitStream&, NetPlayer*) override {
      ++calls;
      networkManager->disconnect();
      if (hostAgain_)
        networkManager->host(13000);
    }

    int calls = 0;

   private:
    bool hostAgain_;
  };
  for (bool hostAgain : {false, true}) {
    privatenet::runInPrivateNetwork([hostAgain] {
      ServerFixture server;
      Stopper stopper(hostAgain);
      CountingReceiver after;
      server.manager.registerReceiver(150, &stopper);
      server.manager.registerReceiver(151, &after);
      Probe probe;
      ASSERT_NE(server.attach(probe), nullptr);
      // Both wait in the peer before the poll that takes the first (should
      // the second come later, it would find the connection gone anyway).
      probe.send(std::vector<uint8_t>{150});
      probe.send(std::vector<uint8_t>{151});
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      ASSERT_TRUE(server.pollUntil([&] { return stopper.calls > 0; }));
      server.pollUntil([] { return false; }, 200);
      EXPECT_EQ(stopper.calls, 1);
      EXPECT_TRUE(after.ids.empty());
      EXPECT_EQ(server.manager.peerActive(), hostAgain);
      EXPECT_EQ(server.manager.playerCount(), 0u);
      server.manager.registerReceiver(150, nullptr);
      server.manager.registerReceiver(151, nullptr);
    });
  }
}

// Other threads read the players (effect graphics, hull layouts) and watch
// objects while the polling thread adds and removes players: the lock keeps
// every walk apart from every change.
TEST(ServerDispatch, PlayersAreReadSafelyWhilePlayersComeAndGo) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    std::atomic<bool> done{false};
    std::atomic<size_t> reads{0};
    std::thread reader([&] {
      while (!done) {
        std::vector<RakNet::SystemAddress> addresses = server.manager.inGamePlayerAddresses();
        {
          std::lock_guard<std::mutex> guard(server.manager.playersLock);
          for (const auto& entry : server.manager.players)
            addresses.push_back(entry.second.address);
        }
        reads += addresses.size() + server.manager.playerCount();
      }
    });
    for (int round = 0; round < 3; ++round) {
      Probe first;
      Probe second;
      ASSERT_NE(server.attach(first), nullptr);
      ASSERT_NE(server.attach(second, server.aiEmpire(0)), nullptr);
      first.disconnect();
      second.disconnect();
      ASSERT_TRUE(server.pollUntil([&] { return server.manager.playerCount() == 0; }));
    }
    done = true;
    reader.join();
    EXPECT_GT(reads.load(), 0u);
  });
}

}  // namespace

}  // namespace server_join_test
