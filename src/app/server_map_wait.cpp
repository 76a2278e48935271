#include "app/server_map_wait.h"

#include <IGUIButton.h>
#include <IGUIEnvironment.h>
#include <IGUIStaticText.h>
#include <IVideoDriver.h>
#include <IrrlichtDevice.h>

#include <algorithm>
#include <stdexcept>

#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "app/new_game.h"
#include "core/locale.h"
#include "core/log.h"
#include "gui/base/gui_callbacks.h"
#include "net/galaxy_join.h"
#include "net/network_manager.h"
#include "platform/thread.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"

namespace {

// The progress bar: opaque green, 8 to 24 pixels above the screen's bottom.
constexpr irr::u32 kProgressColor = 0xFF00FF00;
constexpr irr::s32 kBarTop = 24;
constexpr irr::s32 kBarBottom = 8;

// The galaxy is gone for good or the game is left: the wait ends.
void endWait() {
  gameRunning = false;
  menuNextScreen = kMenuScreenAfterMapWait;
}

bool stillConnected() {
  return networkManager->peerActive() && networkManager->isConnected && networkManager->isNetworked;
}

void drawWait(irr::s32 width, irr::s32 height) {
  irr::video::IVideoDriver* driver = engine.driver;
  if (driver == nullptr)
    return;
  driver->beginScene(true, true, irr::video::SColor(255, 0, 0, 0));
  if (engine.gui != nullptr)
    engine.gui->drawAll();
  const auto right = static_cast<irr::s32>(galaxyProgress.load() * static_cast<float>(width - 1));
  driver->draw2DRectangle(irr::video::SColor(kProgressColor),
                          irr::core::rect<irr::s32>(0, height - kBarTop, right, height - kBarBottom));
  driver->endScene();
}

}  // namespace

bool cancelMapWait(const irr::SEvent& event) {
  if (event.EventType != irr::EET_GUI_EVENT || event.GUIEvent.EventType != irr::gui::EGET_BUTTON_CLICKED)
    return false;
  endWait();
  networkManager->disconnect();
  return true;
}

bool waitForServerMap() {
  // 1. The client's objects take the server's UIDs: the galaxy is UID 1.
  nextUid = 1;
  uidHighWater = std::max<uint32_t>(uidHighWater.load(), 1);
  objGalaxy* made = createGalaxy();
  made->grab();
  setSpectatorMaker(createSessionSpectator);

  // 2.
  galaxyProgress = 0.0f;
  try {
    requestGalaxy();
  } catch (const std::runtime_error&) {
    endWait();
  }

  // 3.
  irr::s32 width = 0;
  irr::s32 height = 0;
  if (engine.driver != nullptr) {
    width = static_cast<irr::s32>(engine.driver->getScreenSize().Width);
    height = static_cast<irr::s32>(engine.driver->getScreenSize().Height);
  }
  irr::gui::IGUIStaticText* text = nullptr;
  irr::gui::IGUIButton* button = nullptr;
  if (engine.gui != nullptr) {
    text = engine.gui->addStaticText(getLocalizedText(L"#mp_map_wait"),
                                     irr::core::rect<irr::s32>(8, height - 50, 158, height - 34));
    button = engine.gui->addButton(irr::core::rect<irr::s32>(width - 100, height - 56, width - 10, height - 32),
                                   nullptr, kMapWaitCancelButtonId, getLocalizedText(L"#mp_cancel_load"),
                                   getLocalizedText(L"#mp_cancel_load_tt"));
  }
  bindGuiCallbackFunction(cancelMapWait, kMapWaitCancelButtonId);

  // 5. The peer stays active after the server goes (its goodbye or a lost
  // connection only clears the connected flag): either ends the wait.
  while ((engine.device == nullptr || engine.device->run()) && gameRunning && galaxyProgress.load() < 1.0f) {
    networkManager->processPackets();
    if (!stillConnected()) {
      endWait();
      break;
    }
    // A short rest rather than none: the transfer's own threads share the
    // machine with this loop.
    plat::sleepMs(1);
    drawWait(width, height);
  }
  // A transfer that ended in a refusal or a lost connection leaves no game.
  if (gameRunning && !stillConnected())
    endWait();

  // 6.
  removeGuiCallback(kMapWaitCancelButtonId);
  if (button != nullptr)
    button->remove();
  if (text != nullptr)
    text->remove();

  if (!gameRunning) {
    made->destroyNow(true);
    made->drop();
    return false;
  }
  // 7. The server placed the systems: nothing is moved apart here.
  createEnvironment(made, false);
  galaxy = made;
  try {
    sendGalaxyReceived();
  } catch (const std::runtime_error&) {
    logError("The server left before the galaxy was confirmed\n");
  }
  return true;
}
