// A network client's galaxy wait on a real connection: a probe of our own
// peer layer plays the server in the same process, answers the galaxy
// request with a header and part of the galaxy, and then closes, names a
// galaxy version this build cannot read, or stays silent while the player
// clicks the cancel button. Each way the wait ends, the game is left, and
// the wait's button and text are gone.
#include <gtest/gtest.h>

#include <irrlicht.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/base/console.h"
#include "app/base/engine.h"
#include "app/base/event_handler.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "app/engine_start.h"
#include "app/server_map_wait.h"
#include "core/locale.h"
#include "core/user_folders.h"
#include "empire/empire.h"
#include "net/diplomacy_messages.h"
#include "net/galaxy_transfer.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "support/log_capture.h"
#include "support/net_probe.h"
#include "support/network_child.h"
#include "support/scratch_dir.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"

namespace server_map_wait_network_test {

namespace {

using netprobe::Probe;

constexpr char kServerAddress[] = "127.0.0.9";
constexpr uint8_t kRequest = 115;
constexpr uint8_t kProgress = 121;

// A header with no empires and the given galaxy version.
std::vector<uint8_t> header(uint16_t version) {
  RakNet::BitStream stream;
  stream.Write(ID_GALAXY_BEGIN);
  stream.Write(12.5);
  stream.Write(1.0);
  stream.Write(static_cast<uint8_t>(0));
  stream.Write(version);
  return netprobe::bytesOf(stream);
}

std::vector<uint8_t> progress(float value) {
  RakNet::BitStream stream;
  stream.Write(kProgress);
  stream.Write(value);
  return netprobe::bytesOf(stream);
}

// The player's hand: drawn with the rest of the GUI on each pass of the
// wait's loop (the main thread), and once armed it presses and releases the
// left mouse button over the cancel button. The click takes the engine's
// whole way: the device's receiver, the GUI, the button, the callback map.
class Player : public irr::gui::IGUIElement {
 public:
  explicit Player(irr::gui::IGUIEnvironment* gui)
      : IGUIElement(irr::gui::EGUIET_ELEMENT, gui, gui->getRootGUIElement(), -1, irr::core::rect<irr::s32>(0, 0, 1, 1)) {
  }
  void draw() override {
    if (!armed || clicked)
      return;
    irr::gui::IGUIElement* button = Environment->getRootGUIElement()->getElementFromId(kMapWaitCancelButtonId, true);
    if (button == nullptr)
      return;
    clicked = true;
    const irr::core::position2di centre = button->getAbsolutePosition().getCenter();
    for (irr::EMOUSE_INPUT_EVENT input : {irr::EMIE_MOUSE_MOVED, irr::EMIE_LMOUSE_PRESSED_DOWN, irr::EMIE_LMOUSE_LEFT_UP}) {
      irr::SEvent event{};
      event.EventType = irr::EET_MOUSE_INPUT_EVENT;
      event.MouseInput.Event = input;
      event.MouseInput.X = centre.X;
      event.MouseInput.Y = centre.Y;
      event.MouseInput.ButtonStates = input == irr::EMIE_LMOUSE_PRESSED_DOWN ? irr::EMBSM_LEFT : 0;
      engine.device->postEventFromUser(event);
    }
  }
  std::atomic<bool> armed{false};
  bool clicked = false;
};

// Whether some element under the GUI's root shows `text`.
bool showsText(irr::gui::IGUIElement* element, const wchar_t* text) {
  for (irr::gui::IGUIElement* child : element->getChildren())
    if (irr::core::stringw(child->getText()) == text || showsText(child, text))
      return true;
  return false;
}

TEST(ServerMapWaitNetwork, AServerThatLeavesOrAnUnreadableVersionOrACancelClickEndsTheWait) {
  enum class Then { Close, Nothing, Click };
  struct Case {
    const char* name;
    uint16_t version;
    Then then;
    const char* logged;
    int nextScreen;  // the menu's screen after the wait
  };
  for (const Case& c : {Case{"server closes mid-transfer", kGalaxyVersion, Then::Close, "", kMenuScreenAfterMapWait},
                        Case{"version 8", 8, Then::Nothing,
                             "The server you attempted to join uses an incompatible version of the game.\n", 0},
                        Case{"cancel clicked", kGalaxyVersion, Then::Click, "", kMenuScreenAfterMapWait}}) {
    SCOPED_TRACE(c.name);
    privatenet::runInPrivateNetwork([&c] {
      userDataFolder = scratchDir().c_str();
      setUserFolders(userFolders);
      irr::IrrlichtDevice* device = createNullDevice(640, 480, &logOnlyReceiver);
      ASSERT_NE(device, nullptr);
      initDeviceGlobals(device, nullptr);
      registerEventHandlers();
      device->setEventReceiver(&eventHandler);
      createConsole(engine.gui);
      // The client's receivers, as the process's start-up enters them.
      NetworkManager& manager = *createNetworkManager();

      Probe server{kServerAddress};
      ASSERT_TRUE(server.host(kDefaultGamePort));
      ASSERT_TRUE(manager.connect(kServerAddress, kDefaultGamePort));
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(netprobe::kSafetyMs);
      while (!(manager.isConnected && server.has(RakNet::ID_NEW_INCOMING_CONNECTION)) &&
             std::chrono::steady_clock::now() < deadline) {
        manager.processPackets();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      ASSERT_TRUE(manager.isConnected);
      gameRunning = true;
      menuNextScreen = 0;
      auto* player = new Player(engine.gui);
      player->drop();  // the GUI's root holds it

      // The server's side runs beside the wait: the header and a quarter of
      // the galaxy, then it closes, stays silent or waits for the player.
      std::atomic<bool> answered{false};
      std::atomic<bool> waitEnded{false};
      std::atomic<bool> clientLeft{false};
      std::thread serverSide([&] {
        if (!server.waitFor(kRequest).has_value()) {
          // Never asked: the wait is ended from here, so that the test
          // fails instead of hanging.
          server.disconnect();
          return;
        }
        server.send(header(c.version));
        server.send(progress(0.25f));
        answered = true;
        if (c.then == Then::Close)
          server.disconnect();
        if (c.then == Then::Click) {
          player->armed = true;
          clientLeft = server.waitFor(RakNet::ID_DISCONNECTION_NOTIFICATION).has_value();
        }
        // Only a safety net: a wait that never ends is ended from here, so
        // that the test fails instead of hanging.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(netprobe::kSafetyMs);
        while (!waitEnded && std::chrono::steady_clock::now() < giveUp)
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!waitEnded)
          server.disconnect();
      });
      LogCapture log;
      EXPECT_FALSE(waitForServerMap());
      waitEnded = true;
      serverSide.join();
      EXPECT_TRUE(answered.load()) << "the galaxy was never asked for";
      EXPECT_FALSE(gameRunning.load());
      EXPECT_EQ(menuNextScreen.load(), c.nextScreen);
      EXPECT_EQ(galaxy, nullptr);
      irr::gui::IGUIElement* root = engine.gui->getRootGUIElement();
      EXPECT_EQ(root->getElementFromId(kMapWaitCancelButtonId, true), nullptr);
      EXPECT_FALSE(showsText(root, getLocalizedText(L"#mp_map_wait")));
      const std::string logged = log.take();
      EXPECT_NE(logged.find(c.logged), std::string::npos) << logged;
      if (c.then == Then::Click) {
        EXPECT_TRUE(player->clicked);
        // The click disconnected: the server sees the client go.
        EXPECT_FALSE(manager.peerActive());
        EXPECT_TRUE(clientLeft.load());
      }
      if (c.version != kGalaxyVersion) {
        EXPECT_TRUE(showsText(root, L"The server you attempted to join uses an incompatible version of the game."));
      }

      player->remove();
      manager.disconnect();
      deleteAllEmpires();
      activeEmpire = nullptr;
      playingEmpire = nullptr;
      pendingPlayerEmpire = nullptr;
      clearObjectRegistry();
      setConsole(nullptr);
      device->setEventReceiver(nullptr);
      eventHandler.clear();
      closeDeviceGlobals(device);
    });
  }
}

}  // namespace

}  // namespace server_map_wait_network_test
