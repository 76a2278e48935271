// The scripts' "bindFuncToKey", called from the client engine of a session
// set up as the server sets one up.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <string>

#include "script/script_engine.h"
#include "script/script_globals.h"
#include "scriptapi/script_session.h"
#include "support/log_capture.h"
#include "ui/key_bindings.h"
#include "ui/key_controls.h"

namespace key_script_binding_test {

namespace {

using irr::core::stringw;

constexpr uint8_t kF5 = 116;

const char* const kScript = R"(
bool onB(uint8 flags) { return flags == 1; }
void onVoid(uint8 flags) {}
string@ byCode(uint8 key, const string &in name) { return bindFuncToKey(key, name) ? "true" : "false"; }
void byName(const string &in key, const string &in action) { bindFuncToKey(key, action); }
string@ missingInGui() { return byCode(65, "gui::onKey"); }
string@ bareName() { return byCode(66, "onB"); }
string@ otherModule() { return byCode(67, "gui::onB"); }
string@ wrongDeclaration() { return byCode(68, "gui::onVoid"); }
string@ emptyName() { return byCode(69, ""); }
void f5ToPause() { byName("F5", "pause"); }
void f5ToNoSuchAction() { byName("F5", "no_such_action"); }
void noSuchKeyToPause() { byName("NoSuchKey", "pause"); }
void f5ToConsole() { byName("f5", "console:echo hi"); }
)";

class KeyScriptBindingTest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    savedActions = keyActionTable();
    keyActionTable().clear();
    registerBuiltInKeyActions();
    unbindAll();
    installKeyBindingScriptHooks();
    startSession({});
    ASSERT_NE(clientScriptEngine, nullptr);
    gui = build(clientScriptEngine, "gui", kScript);
    ASSERT_NE(gui, nullptr);
  }
  void TearDown() override {
    ScriptSessionTest::TearDown();
    scriptGlobalHooks.bindKeyToFunction = nullptr;
    scriptGlobalHooks.bindKeyToAction = nullptr;
    unbindAll();
    keyActionTable() = savedActions;
  }
  static void unbindAll() {
    for (int key = 0; key < KeyBindings::kKeyCount; ++key)
      keyBindings.unbind(static_cast<uint8_t>(key));
  }
  static const NativeKeyAction* pause() { return keyActionTable()[findKeyAction(L"pause")].value; }
  // Binds the key to pause, so that a call is seen to clear it or not.
  static void bindToPause(uint8_t key) { keyBindings.bindAction(key, const_cast<NativeKeyAction*>(pause())); }

  KeyActionTable savedActions;
  AngelScript::asIScriptModule* gui = nullptr;
};

TEST_F(KeyScriptBindingTest, KeyNamesBindActionsAndBadOnesBindNothing) {
  scriptapitest::call(gui, "void f5ToPause()");
  EXPECT_EQ(keyBindings.slot(kF5).kind, KeyBindingSlot::kNativeAction);
  EXPECT_EQ(keyBindings.slot(kF5).action, pause());
  // An unknown action or key binds nothing and keeps the key's binding.
  for (const char* call : {"void f5ToNoSuchAction()", "void noSuchKeyToPause()"}) {
    EXPECT_EQ(scriptapitest::call(gui, call), "finished") << call;
    EXPECT_EQ(keyBindings.slot(kF5).action, pause()) << call;
  }
  EXPECT_EQ(keyBindings.actionKeys().size(), 1u);
  scriptapitest::call(gui, "void f5ToConsole()");
  EXPECT_EQ(keyBindings.slot(kF5).kind, KeyBindingSlot::kConsoleCommand);
  EXPECT_EQ(keyBindings.slot(kF5).command, stringw(L"echo hi"));
}

TEST_F(KeyScriptBindingTest, KeyCodesBindScriptFunctionsAndClearTheKeyFirst) {
  struct Case {
    const char* call;
    uint8_t key;
    const char* result;
    bool bound;  // to a script function; otherwise unbound
  };
  const Case cases[] = {
      {"string@ missingInGui()", 65, "false", false},      // no such function
      {"string@ bareName()", 66, "true", true},            // the calling script's module
      {"string@ otherModule()", 67, "true", true},
      {"string@ wrongDeclaration()", 68, "false", false},  // not "bool onVoid(uint8)"
      {"string@ emptyName()", 69, "false", false},         // the hook's own error is logged
  };
  for (const Case& c : cases) {
    bindToPause(c.key);
    LogCapture log;
    EXPECT_EQ(scriptapitest::call(gui, c.call), c.result) << c.call;
    const KeyBindingSlot& slot = keyBindings.slot(c.key);
    EXPECT_EQ(slot.kind, c.bound ? KeyBindingSlot::kScriptFunction : KeyBindingSlot::kNone) << c.call;
    if (c.bound) {
      EXPECT_TRUE(slot.execute(KF_Pressed)) << c.call;  // runs onB
    }
    log.take();
  }
  EXPECT_TRUE(keyBindings.actionKeys().empty());
}

}  // namespace

}  // namespace key_script_binding_test
