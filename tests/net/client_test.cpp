// The manager as a client, joined to a probe that acts as its server and
// sends it messages built by hand: the version check, the game settings,
// the session restart, and how the connection ends.
#include <gtest/gtest.h>

#include <irrlicht.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/base/console.h"
#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "app/engine_start.h"
#include "core/formula.h"
#include "core/named_values.h"
#include "core/net_encoders.h"
#include "core/user_folders.h"
#include "net/message_receiver.h"
#include "net/network_manager.h"
#include "support/log_capture.h"
#include "support/net_probe.h"
#include "support/network_child.h"
#include "support/scratch_dir.h"

namespace client_test {

namespace {

using netprobe::Probe;

constexpr char kServerAddress[] = "127.0.0.9";

bool contains(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

// Counts the messages it is handed.
class Marker : public MessageReceiver {
 public:
  void handle(uint8_t, RakNet::BitStream&, NetPlayer* from) override {
    ++count;
    sawSender = sawSender || from != nullptr;
  }
  int count = 0;
  bool sawSender = false;
};

// A process with an engine device and a console whose game is loaded and
// runs, and a probe server on 127.0.0.9:12100 it can join.
class ClientFixture {
 public:
  ClientFixture() {
    userDataFolder = scratchDir().c_str();
    setUserFolders(userFolders);
    device_ = createNullDevice(640, 480, &logOnlyReceiver);
    initDeviceGlobals(device_, nullptr);
    createConsole(engine.gui);
    savedSettings_ = gameSettings;
    savedConstants_ = formulaConstants;
    savedMod_ = currentModName;
    manager.registerReceiver(kMarkerId, &marker);
    EXPECT_TRUE(server.host(kDefaultGamePort));
  }
  ~ClientFixture() {
    manager.registerReceiver(kMarkerId, nullptr);
    manager.disconnect();
    gameSettings = savedSettings_;
    formulaConstants = savedConstants_;
    currentModName = savedMod_;
    gameLoaded = false;
    setConsole(nullptr);
    closeDeviceGlobals(device_);
  }

  bool pollUntil(const std::function<bool()>& done, int timeoutMs = netprobe::kSafetyMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      manager.processPackets();
      server.pump();
      if (done())
        return true;
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // Connects the manager to the probe server, with a running session.
  void join() {
    gameLoaded = true;
    gameRunning = true;
    sessionStarted = true;
    sessionResult = 0;
    galaxyProgress = 0.0f;
    server.forget();
    ASSERT_TRUE(manager.connect(kServerAddress, kDefaultGamePort));
    ASSERT_TRUE(pollUntil([&] { return manager.isConnected && server.has(RakNet::ID_NEW_INCOMING_CONNECTION); }));
  }

  // Sends `bytes`, then a marker, and polls until the marker came (or the
  // client has left). True when it came.
  bool deliver(const std::vector<uint8_t>& bytes) {
    const int before = marker.count;
    server.send(bytes, RakNet::RELIABLE);
    server.send(std::vector<uint8_t>{kMarkerId}, RakNet::RELIABLE);
    pollUntil([&] { return marker.count > before || !manager.peerActive(); });
    // What a stopped peer might still have handed on would show now.
    manager.processPackets();
    return marker.count > before;
  }

  static constexpr uint8_t kMarkerId = 150;
  NetworkManager& manager = *networkManager;
  Marker marker;
  Probe server{kServerAddress};

 private:
  irr::IrrlichtDevice* device_ = nullptr;
  NamedVar<float>::Registry savedSettings_;
  NamedVar<float>::Registry savedConstants_;
  irr::core::stringc savedMod_;
};

std::vector<uint8_t> bytesOf(const RakNet::BitStream& stream) { return netprobe::bytesOf(stream); }

struct Named {
  const wchar_t* name;
  float value;
};

// Message 142: the mod name, then the two tables.
std::vector<uint8_t> gameSettingsMessage(const char* modName, const std::vector<Named>& settings,
                                         const std::vector<Named>& constants) {
  RakNet::BitStream stream;
  stream.Write(static_cast<uint8_t>(142));
  writeNetStringC(stream, modName);
  for (const std::vector<Named>* table : {&settings, &constants}) {
    stream.Write(static_cast<uint32_t>(table->size()));
    for (const Named& entry : *table) {
      writeNetStringW(stream, entry.name, 255);
      stream.Write(entry.value);
    }
  }
  return bytesOf(stream);
}

float settingOr(const NamedVar<float>::Registry& registry, const wchar_t* name, float fallback) {
  const irr::s32 index = NamedVar<float>::find(const_cast<NamedVar<float>::Registry&>(registry), name);
  return index < 0 ? fallback : registry[static_cast<irr::u32>(index)].value;
}

TEST(ClientVersion, AcceptsSixAndSevenAndLeavesOnAnythingElse) {
  struct Case {
    std::vector<uint8_t> message;
    bool accepted;
    uint32_t version;
  } const cases[] = {
      {{143, 0x00, 0x06}, true, 6},
      {{143, 0x00, 0x07}, true, 7},
      {{143, 0x00, 0x08}, false, 0},
      {{143, 0x07, 0x00}, false, 0},  // most significant byte first: 1792
      {{143, 0x07}, false, 0},        // cut short
      {{143}, false, 0},
  };
  privatenet::runInPrivateNetwork([&cases] {
    ClientFixture client;
    for (const Case& c : cases) {
      SCOPED_TRACE(c.message.size() * 1000 + (c.message.size() > 2 ? c.message[2] : 0));
      client.join();
      LogCapture log;
      client.manager.peerVersion = 0;
      const bool markerCame = client.deliver(c.message);
      const std::string said = log.take();
      const bool incompatible =
          contains(said, "The server you attempted to join uses an incompatible version of the game.\n");
      EXPECT_EQ(incompatible, !c.accepted) << said;
      EXPECT_EQ(client.manager.peerActive(), c.accepted);
      EXPECT_EQ(gameRunning.load(), c.accepted);
      // The refusing poll ends with the version: what came after it stays
      // unread.
      EXPECT_EQ(markerCame, c.accepted);
      if (c.accepted) {
        EXPECT_EQ(client.manager.peerVersion, c.version);
      } else {
        EXPECT_FALSE(client.manager.isNetworked);
        EXPECT_EQ(galaxyProgress.load(), 1.0f);
        ASSERT_TRUE(client.server.waitFor(RakNet::ID_DISCONNECTION_NOTIFICATION).has_value());
      }
      client.manager.disconnect();
    }
  });
}

// A mod name that is no plain folder name is refused whole: nothing of the
// message is applied and the client leaves.
TEST(ClientSettings, RefusesAModNameThatLeavesTheModsFolder) {
  privatenet::runInPrivateNetwork([] {
    ClientFixture client;
    for (const char* name : {"../x", "..", "a/b", "a\\b", "x..y", ""}) {
      SCOPED_TRACE(name);
      client.join();
      LogCapture log;
      const irr::core::stringc modBefore = currentModName;
      client.deliver(gameSettingsMessage(name, {{L"SV_PROBE_SETTING", 4.0f}}, {{L"PROBE_CONSTANT", 2.0f}}));
      EXPECT_TRUE(contains(log.take(), "Refused the server's mod name"));
      EXPECT_EQ(currentModName, modBefore);
      EXPECT_EQ(settingOr(gameSettings, L"SV_PROBE_SETTING", -1.0f), -1.0f);
      EXPECT_EQ(settingOr(formulaConstants, L"PROBE_CONSTANT", -1.0f), -1.0f);
      EXPECT_TRUE(gameRunning);
      EXPECT_EQ(sessionResult, 0);
      EXPECT_FALSE(client.manager.peerActive());
    }
  });
}

// Counts that the message cannot hold, or entries cut short, change nothing;
// the client stays.
TEST(ClientSettings, ShortOrLyingMessagesChangeNothing) {
  privatenet::runInPrivateNetwork([] {
    ClientFixture client;
    client.join();
    std::vector<std::vector<uint8_t>> messages;
    {
      RakNet::BitStream lying;  // four billion settings, none there
      lying.Write(static_cast<uint8_t>(142));
      writeNetStringC(lying, "probe");
      lying.Write(0xFFFFFFFFu);
      messages.push_back(bytesOf(lying));
    }
    std::vector<uint8_t> whole = gameSettingsMessage("probe", {{L"SV_PROBE_SETTING", 4.0f}, {L"SV_OTHER", 1.0f}},
                                                     {{L"PROBE_CONSTANT", 2.0f}});
    for (size_t cut = 1; cut < whole.size(); cut += 3)
      messages.emplace_back(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
    const irr::core::stringc modBefore = currentModName;
    for (const std::vector<uint8_t>& message : messages) {
      ASSERT_TRUE(client.deliver(message));
      EXPECT_EQ(currentModName, modBefore);
      EXPECT_EQ(settingOr(gameSettings, L"SV_PROBE_SETTING", -1.0f), -1.0f);
      EXPECT_EQ(settingOr(formulaConstants, L"PROBE_CONSTANT", -1.0f), -1.0f);
      EXPECT_TRUE(gameRunning);
    }
    EXPECT_TRUE(client.manager.isConnected);
  });
}

// The server's settings: its mod, its values (found or added by name), and
// the session ends for a restart that plays the server's game.
TEST(ClientSettings, AValidMessageEndsTheSessionWithTheServersValues) {
  privatenet::runInPrivateNetwork([] {
    ClientFixture client;
    for (const char* mod : {"probe mod", "/"}) {
      SCOPED_TRACE(mod);
      client.join();
      setGameSetting(L"AI_COUNT", 3.0f);
      ASSERT_TRUE(client.deliver(gameSettingsMessage(mod, {{L"AI_COUNT", 7.0f}, {L"SV_PROBE_SETTING", 4.5f}},
                                                     {{L"PROBE_CONSTANT", -2.25f}})));
      EXPECT_EQ(currentModName, irr::core::stringc(mod));
      EXPECT_EQ(settingOr(gameSettings, L"AI_COUNT", -1.0f), 7.0f);
      EXPECT_EQ(settingOr(gameSettings, L"SV_PROBE_SETTING", -1.0f), 4.5f);
      EXPECT_EQ(settingOr(formulaConstants, L"PROBE_CONSTANT", -1.0f), -2.25f);
      EXPECT_FALSE(gameRunning);
      EXPECT_EQ(sessionResult, kSessionRestart);
      EXPECT_TRUE(client.manager.isConnected);  // the next session plays on with the server
      client.manager.disconnect();
    }
  });
}

// 145 ends the session for a restart; a receiver entered for it takes it
// instead, and only it.
TEST(ClientSession, RestartEndsTheSessionUnlessAReceiverTakesIt) {
  privatenet::runInPrivateNetwork([] {
    ClientFixture client;
    client.join();
    Marker taker;
    client.manager.registerReceiver(145, &taker);
    ASSERT_TRUE(client.deliver({145}));
    EXPECT_EQ(taker.count, 1);
    EXPECT_FALSE(taker.sawSender);  // a client's messages come from no player
    EXPECT_TRUE(gameRunning);
    EXPECT_TRUE(sessionStarted);

    client.manager.registerReceiver(145, nullptr);
    ASSERT_TRUE(client.deliver({145}));
    EXPECT_FALSE(gameRunning);
    EXPECT_FALSE(sessionStarted);
    EXPECT_EQ(sessionResult, kSessionRestart);
  });
}

// How a client's connection ends or fails, with what it logs and shows.
TEST(ClientConnection, EndsAndRefusalsAreReported) {
  struct Case {
    const char* what;
    const char* expected;  // in the log
    bool connects;
  } const cases[] = {
      {"closed", "Server shutting down\nReason: Server shutting down\n", true},
      {"lost", "Lost connection to server\nReason: Connection to server timed out\n", true},
      {"password", "Reason: Bad password\n", false},
      {"full", "Reason: Server has no open slots\n", false},
      {"banned", "You have been banned from 127.0.0.9:12100\n", false},
  };
  for (const Case& c : cases) {
    privatenet::runInPrivateNetwork([&c] {
      SCOPED_TRACE(c.what);
      ClientFixture client;
      const std::string what = c.what;
      if (what == "password")
        client.server.host(kDefaultGamePort, 4, "not-the-password");
      if (what == "full")
        client.server.host(kDefaultGamePort, 0);
      if (what == "banned") {
        ASSERT_TRUE(client.server.peer()->AddToBanList("127.0.0.1", 0));
      }
      LogCapture log;
      std::string said;
      const auto saw = [&](const std::string& text) {
        said += log.take();
        return contains(said, text);
      };
      if (c.connects) {
        client.join();
        EXPECT_TRUE(saw(std::string("Successfully connected to ") + kServerAddress + ":12100\n"));
        if (what == "closed") {
          client.server.disconnect();
        } else {
          client.manager.peer->SetTimeoutTime(1000, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
          client.server.vanish();
        }
        ASSERT_TRUE(client.pollUntil([&] { return !client.manager.isNetworked; }));
      } else {
        ASSERT_TRUE(client.manager.connect(kServerAddress, kDefaultGamePort));
        ASSERT_TRUE(client.pollUntil([&] { return saw(c.expected); }));
      }
      EXPECT_TRUE(saw(c.expected)) << said;
      EXPECT_FALSE(client.manager.isConnected);
      if (what == "banned") {
        EXPECT_FALSE(client.manager.isNetworked);
      }
      if (what == "password") {
        EXPECT_FALSE(client.manager.isNetworked);
        const std::deque<irr::core::stringw> lines = console()->lines();
        EXPECT_NE(std::find(lines.begin(), lines.end(), irr::core::stringw(L"Bad password")), lines.end());
      }
    });
  }
}

}  // namespace

}  // namespace client_test
