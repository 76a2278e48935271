// A network server in the test's own process: a game session's data and a
// new game on the tiny test map with its three AI empires, the process's
// network manager hosting it on 12100 with the game loaded, and the device
// timer replaced by one the test moves. Probes (support/net_probe.h) join it
// as spectators or as players of an empire.
//
// Build one inside runInPrivateNetwork (support/network_child.h): it opens
// the game port. Everything runs on the test's thread: the test polls the
// manager (poll, pollUntil) while it waits for what probes receive.
#pragma once

#include <gtest/gtest.h>

#include <irrlicht.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

#include "app/base/console.h"
#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "app/engine_start.h"
#include "app/new_game.h"
#include "core/named_values.h"
#include "core/post_load.h"
#include "core/random.h"
#include "core/user_folders.h"
#include "empire/empire.h"
#include "gfx/gas_sprites.h"
#include "gfx/gfx_effects.h"
#include "net/chat_log.h"
#include "net/network_manager.h"
#include "platform/peer.h"
#include "support/net_probe.h"
#include "support/scratch_dir.h"
#include "support/working_folder.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"

// The test programs' session helpers.
#include "app/session_data.h"
#include "app/session_fixture.h"
#include "support/manual_timer.h"

namespace netfixture {

using netprobe::Probe;

// The engine's timer as the test sets it: real time and speed by hand.
using FakeTimer = ManualTimer;

struct ServerOptions {
  uint8_t maxPlayers = 4;
  bool gameLoaded = true;
  // Without the peer the session runs offline: nothing opens a port, and
  // what is sent reaches only the manager's observer.
  bool startPeer = true;
};

class ServerFixture {
 public:
  explicit ServerFixture(const ServerOptions& options = ServerOptions()) {
    userDataFolder = scratchDir().c_str();
    setUserFolders(userFolders);
    createUserFolders(userFolders);
    device_ = createNullDevice(640, 480, &logOnlyReceiver);
    EXPECT_NE(device_, nullptr);
    initDeviceGlobals(device_, nullptr);
    createConsole(engine.gui);
    deviceTimer_ = engine.timer;
    engine.timer = &timer;

    savedSettings_ = gameSettings;
    installTestMaps();
    beginSessionData(kTestMapsMod, "tiny");
    setGameSetting(L"AI_COUNT", 3.0f);
    seedProcessRandom(11);
    threadRandom().seed(11);
    setupNewGame(CORVANE_SOURCE_DIR "/tests/app/maps/tiny.as");
    gameRunning = true;
    gameLoaded = options.gameLoaded;
    sessionResult = 0;
    gameSpeed = 1.0;

    manager.disconnect();
    manager.maxPlayers = options.maxPlayers;
    manager.serverName = L"Dedicated Corvane Server";
    manager.autoPause = false;
    manager.welcomeMessage = true;
    manager.votesEnabled = true;
    manager.restartInterval = 0;
    manager.lastRestartNotice = 0;
    createNetworkManager();
    if (options.startPeer) {
      EXPECT_TRUE(manager.startPeer(kDefaultGamePort));
    }
  }

  ~ServerFixture() {
    manager.setSendObserver({});
    manager.disconnect();
    gameLoaded = false;
    gameRunning = false;
    gameRulesActive = false;
    clearPostObjectTreeSteps();
    manager.forgetPlayerEmpires();
    destroySessionGalaxy();
    deleteAllEmpires();
    freeNewGamePlayerEmpire();
    clearGalaxyGasSprites();
    clearActiveGfxEffects();  // the gas sprites' billboards
    clearObjectRegistry();
    endSessionData();
    gameSettings = savedSettings_;
    engine.timer = deviceTimer_;
    setConsole(nullptr);
    closeDeviceGlobals(device_);
  }

  ServerFixture(const ServerFixture&) = delete;
  ServerFixture& operator=(const ServerFixture&) = delete;

  void poll() { manager.processPackets(); }

  // Polls until `done` holds; false when it never did.
  bool pollUntil(const std::function<bool()>& done, int timeoutMs = netprobe::kSafetyMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      poll();
      if (done())
        return true;
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // The polling a probe's waitFor runs meanwhile.
  std::function<void()> polling() {
    return [this] { poll(); };
  }

  // The record of `probe` on this server, or null.
  NetPlayer* recordOf(const Probe& probe) {
    return probe.peer() == nullptr ? nullptr : manager.findPlayer(probe.peer()->GetMyGUID());
  }

  // Joins `probe` and waits until it has had its settings (142). With an
  // empire it plays that empire and has the galaxy; without, it is a
  // spectator. Its record.
  NetPlayer* attach(Probe& probe, empire* emp = nullptr) {
    EXPECT_EQ(probe.startConnect(), RakNet::CONNECT_STARTED);
    if (!probe.waitFor(142, polling()).has_value()) {
      ADD_FAILURE() << "the probe was not admitted";
      return nullptr;
    }
    NetPlayer* player = recordOf(probe);
    EXPECT_NE(player, nullptr);
    if (player != nullptr && emp != nullptr) {
      std::lock_guard<std::mutex> guard(manager.playersLock);
      player->emp = emp;
      player->hasGalaxy = 1;
      emp->playerControlled = true;
      emp->playerName = player->name;
    }
    return player;
  }

  // The listed empire `index` (the AI empires of the map).
  empire* aiEmpire(size_t index) {
    size_t seen = 0;
    for (empire* emp : empireList)
      if (!emp->reserved && emp->valid && seen++ == index)
        return emp;
    return nullptr;
  }

  NetworkManager& manager = *networkManager;
  FakeTimer timer;

 private:
  const WorkingFolder folder_{CORVANE_SOURCE_DIR "/data"};
  irr::IrrlichtDevice* device_ = nullptr;
  irr::ITimer* deviceTimer_ = nullptr;
  NamedVar<float>::Registry savedSettings_;
};

}  // namespace netfixture
