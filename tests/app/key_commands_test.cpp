#include "app/key_commands.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <string>
#include <vector>

#include "support/null_device.h"
#include "ui/key_bindings.h"

namespace key_commands_test {

namespace {

using irr::core::stringw;

const wchar_t kBindHelp[] =
    L"bind key command - Binds the specified action or console command to the specified key. The command should be "
    L"provided as if typed in the console normally.";
const wchar_t kDumpActionsHelp[] = L"dump_actions - Lists out all built-in actions that may be bound to keys via bind";

bool noAction(uint8_t) { return false; }

class KeyCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device = createTestDevice();
    ASSERT_NE(device, nullptr);
    target = createConsole(device->getGUIEnvironment());
    Console::registerCommand(L"bind", bindCommand, kBindHelp);
    Console::registerCommand(L"dump_actions", dumpActionsCommand, kDumpActionsHelp);
    savedActions = keyActionTable();
    keyActionTable().clear();
    for (int key = 0; key < KeyBindings::kKeyCount; ++key)
      keyBindings.unbind(static_cast<uint8_t>(key));
  }
  void TearDown() override {
    for (int key = 0; key < KeyBindings::kKeyCount; ++key)
      keyBindings.unbind(static_cast<uint8_t>(key));
    keyActionTable() = savedActions;
    setConsole(nullptr);
    device->drop();
  }

  // Runs `line` and returns what it printed.
  std::vector<std::wstring> run(const wchar_t* line) {
    target->clear();
    target->execute(line, false);
    std::vector<std::wstring> out;
    for (const stringw& printed : target->lines())
      out.emplace_back(printed.c_str());
    return out;
  }

  irr::IrrlichtDevice* device = nullptr;
  Console* target = nullptr;
  KeyActionTable savedActions;
};

TEST_F(KeyCommandsTest, BindJoinsTheCommandAndQuotesPiecesWithBlanks) {
  struct Case {
    const wchar_t* line;
    uint8_t key;
    const wchar_t* command;
  };
  const Case cases[] = {
      {L"bind F5 say \"hi there\"", 116, L"say \"hi there\""},
      {L"BIND f6 echo  a   b", 117, L"echo a b"},
      {L"bind 0x41 \"say\" \"x\" \"y z\" w", 65, L"say x \"y z\" w"},
      {L"bind ~ \"toggle_gui\"", 192, L"toggle_gui"},
      {L"bind F7", 118, L""},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(run(c.line).empty()) << stringw(c.line).c_str();
    const KeyBindingSlot& slot = keyBindings.slot(c.key);
    EXPECT_EQ(slot.kind, KeyBindingSlot::kConsoleCommand) << stringw(c.line).c_str();
    EXPECT_EQ(slot.command, stringw(c.command)) << stringw(c.line).c_str();
  }
}

TEST_F(KeyCommandsTest, BindPrefersABuiltInActionOfThatName) {
  NativeKeyAction* action = registerNativeKeyAction(L"test_fire", noAction, 1);
  run(L"bind x test_fire");
  EXPECT_EQ(keyBindings.slot('X').kind, KeyBindingSlot::kNativeAction);
  EXPECT_EQ(keyBindings.slot('X').action, action);

  // Anything else on the line makes it a console command again.
  run(L"bind x test_fire now");
  EXPECT_EQ(keyBindings.slot('X').kind, KeyBindingSlot::kConsoleCommand);
  EXPECT_EQ(keyBindings.slot('X').command, stringw(L"test_fire now"));
  run(L"bind y Test_Fire");
  EXPECT_EQ(keyBindings.slot('Y').command, stringw(L"Test_Fire"));
}

TEST_F(KeyCommandsTest, BindRefusesAnUnknownKeyAndPrintsHelpAlone) {
  run(L"bind F5 echo kept");
  EXPECT_EQ(run(L"bind F25 echo hi"), (std::vector<std::wstring>{L"Unknown key \"F25\""}));
  EXPECT_EQ(run(L"bind Escape echo hi"), (std::vector<std::wstring>{L"Unknown key \"Escape\""}));
  EXPECT_EQ(keyBindings.slot(116).command, stringw(L"echo kept"));
  // Display names are key names too.
  EXPECT_TRUE(run(L"bind Backspace echo hi").empty());
  EXPECT_EQ(keyBindings.slot(8).command, stringw(L"echo hi"));
  EXPECT_EQ(run(L"bind"), (std::vector<std::wstring>{kBindHelp}));
}

TEST_F(KeyCommandsTest, DumpActionsListsTheActionTable) {
  EXPECT_TRUE(run(L"dump_actions").empty());
  registerNativeKeyAction(L"zoom_test", noAction, 1);
  registerNativeKeyAction(L"aim_test", noAction, 1);
  EXPECT_EQ(run(L"dump_actions"), (std::vector<std::wstring>{L"aim_test", L"zoom_test"}));
  EXPECT_EQ(run(L"dump_actions now"), (std::vector<std::wstring>{kDumpActionsHelp}));
}

}  // namespace

}  // namespace key_commands_test
