#include "ui/key_bindings.h"

#include <angelscript.h>
#include <gtest/gtest.h>
#include <irrlicht.h>

#include <string>
#include <vector>

#include "app/base/console.h"
#include "core/threads.h"
#include "script/script_engine.h"
#include "support/log_capture.h"
#include "support/null_device.h"

namespace key_bindings_test {

namespace {

using irr::core::stringw;

constexpr uint8_t kF5 = 116;
constexpr uint8_t kF6 = 117;
constexpr uint8_t kA = 65;
constexpr uint8_t kB = 66;

std::vector<std::wstring> probeArgs;
int probeRuns = 0;
void probeCommand(const ConsoleArgs& args) {
  probeArgs.clear();
  for (irr::u32 i = 0; i < args.size(); ++i)
    probeArgs.emplace_back(args[i].c_str());
  ++probeRuns;
}

std::vector<uint8_t> fireFlags;
bool fire(uint8_t flags) {
  fireFlags.push_back(flags);
  return (flags & KF_Pressed) != 0;
}
bool jump(uint8_t) { return true; }

std::vector<uint8_t> keysOf(const KeyBindings& table, const NativeKeyAction* action) {
  std::vector<uint8_t> keys;
  auto range = table.actionKeys().equal_range(action);
  for (auto entry = range.first; entry != range.second; ++entry)
    keys.push_back(entry->second);
  return keys;
}

TEST(KeyNames, NamesGiveTheirKeyCodes) {
  struct Case {
    const wchar_t* name;
    int code;  // 0: not a key name
  };
  const Case cases[] = {
      {L"a", 65},        {L"A", 65},        {L"5", 53},       {L"~", 192},     {L"!", 33},        {L"F1", 112},
      {L"f24", 135},     {L"F05", 116},     {L"F25", 0},      {L"F0", 0},      {L"f", 70},        {L"F100", 0},
      {L"pgup", 33},     {L"PgUp", 33},     {L"PGUP", 33},    {L"pgdn", 34},   {L"KP_7", 103},    {L"kp_0", 96},
      {L"KP_12", 0},     {L"KP_Enter", 13}, {L"kp_add", 107}, {L"KP_", 0},     {L"0x41", 65},     {L"0XfF", 255},
      {L"0x00", 0},      {L"0xZZ", 0},      {L"0x4", 0},      {L"0x411", 0},   {L"delete", 46},   {L"decimal", 110},
      {L"Down", 40},     {L"end", 35},      {L"home", 36},    {L"insert", 45}, {L"left", 37},     {L"right", 39},
      {L"up", 38},       {L"space", 32},    {L"tab", 9},      {L"pause", 19},  {L"play", 250},    {L"", 0},
      {L"\u0100", 0},    {L"\u00e9", 0xe9}, {L"up ", 0},       {L"escape", 0},
      // The display names written into controls.cfg.
      {L"Backspace", 8}, {L"Page Up", 33},  {L"page down", 34}, {L"PageUp", 0},  {L"#188", 188},   {L"#1", 1},
      {L"#255", 255},    {L"#256", 0},      {L"#0", 0},         {L"#", 35},      {L"#1x", 0},      {L"#-5", 0},
      {L"#0255", 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(keyCodeFromName(c.name), c.code) << "\"" << stringw(c.name).c_str() << "\"";
}

class KeyBindingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device = createTestDevice();
    ASSERT_NE(device, nullptr);
    target = createConsole(device->getGUIEnvironment());
    Console::registerCommand(L"key_probe", probeCommand, L"");
    probeArgs.clear();
    probeRuns = 0;
    fireFlags.clear();
    savedActions = keyActionTable();
    keyActionTable().clear();
  }
  void TearDown() override {
    keyActionTable() = savedActions;
    setConsole(nullptr);
    device->drop();
  }

  irr::IrrlichtDevice* device = nullptr;
  Console* target = nullptr;
  KeyActionTable savedActions;
  KeyBindings table;
};

TEST_F(KeyBindingsTest, ConsoleBindingRunsItsLineOnEachPressOnly) {
  ASSERT_TRUE(table.bindByName(L"f5", L"console:  key_probe \"a b\" c \t"));
  const KeyBindingSlot& slot = table.slot(kF5);
  EXPECT_EQ(slot.kind, KeyBindingSlot::kConsoleCommand);
  EXPECT_EQ(slot.command, stringw(L"key_probe \"a b\" c"));
  EXPECT_TRUE(table.actionKeys().empty());  // console bindings are not indexed

  EXPECT_FALSE(slot.execute(0));  // release
  EXPECT_FALSE(slot.execute(KF_Shift));
  EXPECT_EQ(probeRuns, 0);
  EXPECT_TRUE(slot.execute(KF_Pressed | KF_Shift));
  EXPECT_EQ(probeRuns, 1);
  EXPECT_EQ(probeArgs, (std::vector<std::wstring>{L"key_probe", L"a b", L"c"}));
  EXPECT_EQ(target->lines().back(), stringw(L"> key_probe \"a b\" c"));  // echoed

  table.unbind(kF5);
  EXPECT_EQ(slot.kind, KeyBindingSlot::kNone);
  EXPECT_TRUE(slot.command.empty());
  EXPECT_FALSE(slot.execute(KF_Pressed));
  EXPECT_EQ(probeRuns, 1);
}

TEST_F(KeyBindingsTest, UnknownKeysActionsAndPrefixesKeepTheBinding) {
  ASSERT_TRUE(table.bindByName(L"F5", L"console:key_probe"));
  const wchar_t* const refused[][2] = {
      {L"F5", L"no_such_action"}, {L"F5", L"Console:key_probe x"},
      {L"F5", L"SCRIPT:a::b"},    {L"F5", L""},
      {L"F99", L"console:x"},     {L"", L"console:x"},
  };
  for (const auto& c : refused) {
    EXPECT_FALSE(table.bindByName(c[0], c[1])) << stringw(c[1]).c_str();
    EXPECT_EQ(table.slot(kF5).kind, KeyBindingSlot::kConsoleCommand);
    EXPECT_EQ(table.slot(kF5).command, stringw(L"key_probe"));
  }
}

TEST_F(KeyBindingsTest, NativeActionsGetPressAndReleaseAndIndexTheirKeys) {
  NativeKeyAction* fireAction = registerNativeKeyAction(L"test_fire", fire, 5);
  NativeKeyAction* jumpAction = registerNativeKeyAction(L"test_jump", jump, 0);
  EXPECT_TRUE(fireAction->maskFlags[0] && !fireAction->maskFlags[1] && fireAction->maskFlags[2]);
  EXPECT_EQ(findKeyAction(L"test_fire"), 0);
  EXPECT_EQ(findKeyAction(L"test_jump"), 1);
  EXPECT_EQ(findKeyAction(L"Test_fire"), -1);  // names are case-sensitive

  ASSERT_TRUE(table.bindByName(L"a", L"test_fire"));
  ASSERT_TRUE(table.bindByName(L"B", L"test_fire"));
  ASSERT_TRUE(table.bindByName(L"b", L"test_fire"));  // once in the index
  EXPECT_EQ(table.slot(kA).kind, KeyBindingSlot::kNativeAction);
  EXPECT_EQ(keysOf(table, fireAction), (std::vector<uint8_t>{kA, kB}));

  EXPECT_TRUE(table.slot(kA).execute(KF_Pressed | KF_Control));
  EXPECT_FALSE(table.slot(kA).execute(0));
  EXPECT_EQ(fireFlags, (std::vector<uint8_t>{KF_Pressed | KF_Control, 0}));

  // Rebinding a key takes it off its former action only.
  ASSERT_TRUE(table.bindByName(L"b", L"test_jump"));
  EXPECT_EQ(keysOf(table, fireAction), (std::vector<uint8_t>{kA}));
  EXPECT_EQ(keysOf(table, jumpAction), (std::vector<uint8_t>{kB}));
  EXPECT_FALSE(table.bindByName(L"a", L"Test_fire"));
  EXPECT_EQ(table.slot(kA).action, fireAction);

  // Re-registering a name replaces the action; keys bound before keep the old one.
  NativeKeyAction* newer = registerNativeKeyAction(L"test_fire", jump, 0);
  EXPECT_EQ(keyActionTable().size(), 2u);
  EXPECT_EQ(table.slot(kA).action, fireAction);

  ASSERT_TRUE(table.bindByName(L"a", L"console:key_probe"));
  EXPECT_TRUE(keysOf(table, fireAction).empty());
  ASSERT_TRUE(table.bindByName(L"a", L"test_fire"));
  EXPECT_EQ(table.slot(kA).action, newer);
  table.bindAction(kA, nullptr);
  EXPECT_EQ(table.slot(kA).kind, KeyBindingSlot::kNone);
  EXPECT_TRUE(keysOf(table, newer).empty());
}

void rebindF6(const ConsoleArgs&) { keyBindings.bindByName(L"F6", L"console:key_probe after the rebinding"); }

TEST_F(KeyBindingsTest, ACommandMayRebindItsOwnKey) {
  Console::registerCommand(L"key_rebind", rebindF6, L"");
  ASSERT_TRUE(keyBindings.bindByName(L"F6", L"console:key_rebind with a line long enough to live on the heap"));
  EXPECT_TRUE(keyBindings.slot(kF6).execute(KF_Pressed));
  EXPECT_EQ(keyBindings.slot(kF6).command, stringw(L"key_probe after the rebinding"));
  keyBindings.unbind(kF6);
}

class ScriptKeyBindingsTest : public KeyBindingsTest {
 protected:
  void TearDown() override {
    freeThreadLocals();
    releaseScriptEngines();
    KeyBindingsTest::TearDown();
  }
  // Fresh engines with the client module "keys" built from `code`.
  void startEngines(const char* code) {
    LogCapture log;
    ASSERT_TRUE(createScriptEngines());
    AngelScript::asIScriptModule* module = clientScriptEngine->GetModule("keys", AngelScript::asGM_ALWAYS_CREATE);
    module->AddScriptSection("keys.as", code);
    ASSERT_GE(module->Build(), 0) << log.take();
  }
};

TEST_F(ScriptKeyBindingsTest, ScriptBindingsCallTheClientFunctionByName) {
  startEngines("bool onKey(uint8 flags) { return flags == 3; }\nvoid other(uint8 flags) {}\n");
  ASSERT_TRUE(table.bindByName(L"g", L"script: keys::onKey "));
  const KeyBindingSlot& slot = table.slot('G');
  EXPECT_EQ(slot.kind, KeyBindingSlot::kScriptFunction);
  EXPECT_TRUE(slot.execute(KF_Pressed | KF_Control));
  EXPECT_FALSE(slot.execute(KF_Pressed));

  // A missing function or a text naming none binds nothing, after "script:"
  // unbound the key.
  for (const wchar_t* text : {L"script:keys::other", L"script:keys::missing", L"script:onKey", L"script:"}) {
    ASSERT_TRUE(table.bindByName(L"g", L"script:keys::onKey"));
    EXPECT_FALSE(table.bindByName(L"g", text)) << stringw(text).c_str();
    EXPECT_EQ(slot.kind, KeyBindingSlot::kNone);
  }
  EXPECT_FALSE(table.bindScriptToKey('G', L"keys::missing"));

  // Across sessions the binding finds the function again by name.
  ASSERT_TRUE(table.bindByName(L"g", L"script:keys::onKey"));
  releaseScriptEngines();
  EXPECT_FALSE(slot.execute(3));
  startEngines("void filler(uint8 f) {}\nbool onKey(uint8 flags) { return flags == 0; }\n");
  EXPECT_TRUE(slot.execute(0));
  EXPECT_FALSE(slot.execute(3));
}

}  // namespace

}  // namespace key_bindings_test
