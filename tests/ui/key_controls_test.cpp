// controls.cfg and the key display names: what start-up binds, what the
// file keeps across a save and a reload, and what a faulty file does.
#include "ui/key_controls.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/user_folders.h"
#include "support/log_capture.h"
#include "support/odd_files.h"
#include "support/scratch_dir.h"
#include "ui/key_bindings.h"

namespace key_controls_test {

namespace {

namespace fs = std::filesystem;
using irr::core::stringw;

const std::set<std::string> kDefaultLines = {
    "screenshot: F11",         "console: ~",
    "pause: Pause",            "unit_explore: X",
    "unit_defend: D",          "unit_colonize: C",
    "make_fleet: F",           "select_nearest_fleet: S",
    "join_nearest_fleet: J",   "deselect_all: V",
    "zoom_to_object: Z",       "cancel_orders: B",
    "camera_world_forward: Up", "camera_world_backward: Down",
    "camera_world_left: Left", "camera_world_right: Right",
    "next_subselection: Tab",  "repeat_mode: R",
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// The file's lines, each ended by a single line feed (a last line without
// one is reported as "<unterminated>").
std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', at)) {
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  if (at < text.size())
    lines.push_back("<unterminated>" + text.substr(at));
  return lines;
}

// The same text in UTF-16 little-endian with a byte-order mark.
std::string utf16WithMark(const std::string& text) {
  std::string bytes = "\xFF\xFE";
  for (char c : text) {
    bytes.push_back(c);
    bytes.push_back('\0');
  }
  return bytes;
}

// Every (key, action name) pair a table binds to a built-in action.
std::set<std::pair<int, std::string>> nativeBindings(const KeyBindings& table) {
  std::set<std::pair<int, std::string>> found;
  for (int key = 0; key < KeyBindings::kKeyCount; ++key) {
    const KeyBindingSlot& slot = table.slot(static_cast<uint8_t>(key));
    if (slot.kind != KeyBindingSlot::kNativeAction)
      continue;
    const stringw* name = keyActionName(slot.action);
    found.emplace(key, name != nullptr ? wideToStdString(name->c_str()) : "<unnamed>");
  }
  return found;
}

const NativeKeyAction* actionNamed(const wchar_t* name) {
  const irr::s32 index = findKeyAction(name);
  return index >= 0 ? keyActionTable()[static_cast<irr::u32>(index)].value : nullptr;
}

TEST(KeyDisplayNames, NamesReadBackToTheirCodes) {
  struct Case {
    int code;
    const wchar_t* name;
  };
  const Case cases[] = {
      {8, L"Backspace"}, {33, L"Page Up"}, {34, L"Page Down"}, {112, L"F1"}, {135, L"F24"}, {192, L"~"},
      {65, L"A"},        {48, L"0"},       {188, L"#188"},     {9, L"Tab"},  {19, L"Pause"}, {97, L"#97"},
      {1, L"#1"},        {255, L"#255"},   {38, L"Up"},        {46, L"Delete"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(keyDisplayName(static_cast<uint8_t>(c.code)), stringw(c.name)) << c.code;
    EXPECT_EQ(keyCodeFromName(c.name), c.code) << c.code;
  }
  // Every key's display name is a key name of that key.
  for (int code = 1; code <= 255; ++code)
    EXPECT_EQ(keyCodeFromName(keyDisplayName(static_cast<uint8_t>(code))), code)
        << wideToStdString(keyDisplayName(static_cast<uint8_t>(code)).c_str());
}

class KeyControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedActions = keyActionTable();
    keyActionTable().clear();
    registerBuiltInKeyActions();
    folder = scratchDir();
    path = folder / "controls.cfg";
  }
  void TearDown() override { keyActionTable() = savedActions; }

  std::string save() {
    EXPECT_TRUE(saveKeyBindings(path.string(), table));
    return readFile(path);
  }
  // The lines of `table` as saved, as a set.
  std::set<std::string> savedLines() {
    const std::vector<std::string> lines = linesOf(save());
    return std::set<std::string>(lines.begin(), lines.end());
  }

  KeyActionTable savedActions;
  fs::path folder;
  fs::path path;
  KeyBindings table;
};

TEST_F(KeyControlsTest, BuiltInActionsAreFiledWithTheirFlags) {
  EXPECT_EQ(keyActionTable().size(), 33u);
  struct Case {
    const wchar_t* name;
    uint32_t mask;
  };
  const Case cases[] = {{L"screenshot", 1},     {L"unit_explore", 5},          {L"cancel_orders", 9},
                        {L"select_nearest_fleet", 13}, {L"camera_rot_right_roll", 15}, {L"repeat_mode", 1}};
  for (const Case& c : cases) {
    const NativeKeyAction* action = actionNamed(c.name);
    ASSERT_NE(action, nullptr) << wideToStdString(c.name);
    for (int bit = 0; bit < 4; ++bit)
      EXPECT_EQ(action->maskFlags[bit], (c.mask & (1u << bit)) != 0) << wideToStdString(c.name) << " bit " << bit;
    ASSERT_NE(keyActionName(action), nullptr);
    EXPECT_EQ(*keyActionName(action), stringw(c.name));
  }
  // Until the strategic view answers it, repeat_mode uses no event.
  EXPECT_FALSE(actionNamed(L"repeat_mode")->callback(KF_Pressed));
}

TEST_F(KeyControlsTest, StartUpWithoutAFileBindsAndWritesTheDefaults) {
  const irr::core::stringc savedGameFolder = userFolders.game;
  userFolders.game = (folder.string() + "/").c_str();
  ASSERT_EQ(controlsConfigPath(), path.string());
  for (int key = 0; key < KeyBindings::kKeyCount; ++key)
    keyBindings.unbind(static_cast<uint8_t>(key));
  keyActionTable().clear();
  registerKeyActions();  // files the actions again and binds the process table
  userFolders.game = savedGameFolder;

  const std::string text = readFile(path);
  const std::vector<std::string> lines = linesOf(text);
  EXPECT_EQ(lines.size(), 18u) << text;
  EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()), kDefaultLines) << text;
  EXPECT_EQ(keyBindings.slot(88).action, actionNamed(L"unit_explore"));  // X
  EXPECT_EQ(keyBindings.slot(192).action, actionNamed(L"console"));      // ~
  EXPECT_EQ(keyBindings.actionKeys().size(), 18u);
  for (int key = 0; key < KeyBindings::kKeyCount; ++key)
    keyBindings.unbind(static_cast<uint8_t>(key));
}

TEST_F(KeyControlsTest, AnExistingFileIsReadAndNotRewritten) {
  struct Case {
    const char* label;
    std::string bytes;
    std::set<std::pair<int, std::string>> bound;
  };
  const std::string lines =
      "// my keys\r\nunit_explore: Q\r\nno colon here\r\npause:\r\n: X\r\nno_such_action: Z\r\n"
      "unit_defend: NoSuchKey\r\nconsole: say hi\r\nmake_fleet: f\r\nscreenshot: F\r\n";
  const Case cases[] = {
      {"empty", "", {}},
      {"one byte", "x", {}},
      {"blank lines", "\r\n\r\n  \n", {}},
      // A bad line binds nothing; the others apply in order, the later
      // binding of F winning.
      {"mixed", lines, {{'Q', "unit_explore"}, {'F', "screenshot"}}},
      {"mixed, UTF-16", utf16WithMark(lines), {{'Q', "unit_explore"}, {'F', "screenshot"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    KeyBindings loaded;
    writeFile(path, c.bytes);
    LogCapture log;
    loadControlsConfig(path.string(), loaded);
    EXPECT_EQ(log.take(), "");
    EXPECT_EQ(nativeBindings(loaded), c.bound);
    EXPECT_EQ(readFile(path), c.bytes);  // not rewritten
  }
}

TEST_F(KeyControlsTest, AFileThatCannotBeReadGivesTheDefaultsAndIsLeftAlone) {
  const OddFile kinds[] = {OddFile::Folder, OddFile::Pipe, OddFile::ZeroDeviceLink};
  for (OddFile kind : kinds) {
    SCOPED_TRACE(static_cast<int>(kind));
    fs::remove_all(path);
    makeOddFile(path, kind);
    KeyBindings loaded;
    LogCapture log;
    loadControlsConfig(path.string(), loaded);
    const std::string logged = log.take();
    EXPECT_EQ(linesOf(logged).size(), 1u) << logged;
    EXPECT_EQ(logged.rfind("Could not read controls.cfg \"" + path.string() + "\": ", 0), 0u) << logged;
    EXPECT_EQ(loaded.actionKeys().size(), 18u);
    EXPECT_EQ(loaded.slot(19).action, actionNamed(L"pause"));
    EXPECT_TRUE(isOddFile(path, kind));
    // Saving later leaves it alone too.
    EXPECT_FALSE(saveKeyBindings(path.string(), loaded));
    EXPECT_TRUE(isOddFile(path, kind));
  }
}

TEST_F(KeyControlsTest, SavedBindingsReadBack) {
  // Keys whose display names are no key names of old, and Shift.
  ASSERT_TRUE(table.bindByName(L"0x08", L"pause"));
  ASSERT_TRUE(table.bindByName(L"PgUp", L"camera_up"));
  ASSERT_TRUE(table.bindByName(L"0xBC", L"camera_down"));
  ASSERT_TRUE(table.bindByName(L"0x10", L"make_fleet"));
  ASSERT_TRUE(table.bindByName(L"F5", L"console:say hi"));  // lasts for the run only
  const std::set<std::string> expected = {"pause: Backspace", "camera_up: Page Up", "camera_down: #188",
                                          "make_fleet: #16"};
  EXPECT_EQ(savedLines(), expected);

  const std::string ansi = readFile(path);
  for (const std::string& bytes : {ansi, utf16WithMark(ansi)}) {
    writeFile(path, bytes);
    KeyBindings loaded;
    EXPECT_EQ(loadKeyBindings(path.string(), loaded), ControlsFileState::Read);
    EXPECT_EQ(nativeBindings(loaded), (std::set<std::pair<int, std::string>>{
                                          {8, "pause"}, {33, "camera_up"}, {188, "camera_down"}, {16, "make_fleet"}}));
    EXPECT_EQ(loaded.slot(116).kind, KeyBindingSlot::kNone);
  }
}

TEST_F(KeyControlsTest, LinesFollowTheKeysOfEachAction) {
  ASSERT_TRUE(table.bindByName(L"x", L"unit_explore"));
  ASSERT_TRUE(table.bindByName(L"d", L"unit_defend"));
  // A second key keeps the first: two lines for the action.
  ASSERT_TRUE(table.bindByName(L"e", L"unit_explore"));
  EXPECT_EQ(savedLines(), (std::set<std::string>{"unit_explore: X", "unit_explore: E", "unit_defend: D"}));
  // Rebinding a key takes it off the other action's lines.
  ASSERT_TRUE(table.bindByName(L"x", L"unit_defend"));
  EXPECT_EQ(savedLines(), (std::set<std::string>{"unit_explore: E", "unit_defend: D", "unit_defend: X"}));
  // The session's Escape action is no built-in one: it writes no line.
  NativeKeyAction escape;
  table.bindAction(27, &escape);
  EXPECT_EQ(savedLines(), (std::set<std::string>{"unit_explore: E", "unit_defend: D", "unit_defend: X"}));
  // Lines of one action stand together.
  const std::vector<std::string> lines = linesOf(save());
  ASSERT_EQ(lines.size(), 3u);
  const std::size_t explore = lines[0] == "unit_explore: E" ? 0 : lines[2] == "unit_explore: E" ? 2 : 1;
  EXPECT_NE(explore, 1u) << lines[0] << " | " << lines[1] << " | " << lines[2];
}

}  // namespace

}  // namespace key_controls_test
