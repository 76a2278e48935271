// A network client's galaxy wait and the console's play_as, without a
// server: a wait that has no connection ends as a cancel does and leaves
// nothing behind; the cancel button's click ends the wait; play_as refuses
// names of no valid empire and a hosting process.
#include <gtest/gtest.h>

#include <irrlicht.h>

#include <string>
#include <vector>

#include "app/base/console.h"
#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "app/console_commands.h"
#include "app/engine_start.h"
#include "app/server_map_wait.h"
#include "empire/empire.h"
#include "gui/base/gui_callbacks.h"
#include "net/network_manager.h"
#include "support/null_device.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"

namespace server_map_wait_test {

namespace {

using irr::core::stringw;

class ServerMapWaitTest : public testing::Test {
 protected:
  void SetUp() override {
    savedTable_ = Console::commands();
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    setEngineDevice(device_);
    console_ = createConsole(device_->getGUIEnvironment());
    registerConsoleCommands();
    networkManager->disconnect();
    gameRunning = true;
    menuNextScreen = 0;
  }
  void TearDown() override {
    networkManager->isHosting = false;
    gameRunning = false;
    menuNextScreen = 0;
    deleteAllEmpires();
    setConsole(nullptr);
    setEngineDevice(nullptr);
    device_->drop();
    const_cast<ConsoleCommandTable&>(Console::commands()) = savedTable_;
  }

  static irr::SEvent buttonClick(irr::gui::EGUI_EVENT_TYPE type = irr::gui::EGET_BUTTON_CLICKED) {
    irr::SEvent event{};
    event.EventType = irr::EET_GUI_EVENT;
    event.GUIEvent.EventType = type;
    event.GUIEvent.Caller = nullptr;
    event.GUIEvent.Element = nullptr;
    return event;
  }

  std::vector<std::wstring> run(const wchar_t* line) {
    console_->clear();
    console_->execute(line, false);
    std::vector<std::wstring> out;
    for (const stringw& printed : console_->lines())
      if (!printed.empty())
        out.emplace_back(printed.c_str());
    return out;
  }

  irr::IrrlichtDevice* device_ = nullptr;
  Console* console_ = nullptr;
  ConsoleCommandTable savedTable_;
};

TEST_F(ServerMapWaitTest, AWaitWithoutAServerEndsAsACancelAndLeavesNothing) {
  EXPECT_FALSE(waitForServerMap());
  EXPECT_FALSE(gameRunning.load());
  EXPECT_EQ(menuNextScreen.load(), kMenuScreenAfterMapWait);
  EXPECT_EQ(galaxy, nullptr);
  EXPECT_EQ(device_->getGUIEnvironment()->getRootGUIElement()->getElementFromId(kMapWaitCancelButtonId, true),
            nullptr);
  clearObjectRegistry();
}

TEST_F(ServerMapWaitTest, TheCancelButtonsClickEndsTheWait) {
  EXPECT_FALSE(cancelMapWait(buttonClick(irr::gui::EGET_ELEMENT_HOVERED)));
  EXPECT_TRUE(gameRunning.load());
  EXPECT_TRUE(cancelMapWait(buttonClick()));
  EXPECT_FALSE(gameRunning.load());
  EXPECT_EQ(menuNextScreen.load(), kMenuScreenAfterMapWait);
  EXPECT_FALSE(networkManager->peerActive());
}

TEST_F(ServerMapWaitTest, PlayAsRefusesUnknownNamesAndTheHost) {
  auto* emp = new empire();
  emp->name = L"Zorgons";
  ASSERT_EQ(registerEmpire(emp, true), emp);
  const std::wstring invalid = L"Specified invalid empire. Note: Names are case-sensitive.";
  EXPECT_EQ(run(L"play_as Nobody").back(), invalid);
  EXPECT_EQ(run(L"play_as zorgons").back(), invalid);
  networkManager->isHosting = true;
  EXPECT_EQ(run(L"play_as Zorgons").back(), L"The server may not become, or change, its empire");
  networkManager->isHosting = false;
  // A client that is not connected sends nothing, and prints nothing more.
  EXPECT_TRUE(run(L"play_as Zorgons").empty());
}

}  // namespace

}  // namespace server_map_wait_test
