// The Keys page driven as a player drives it: clicks on the table's rows and
// key presses through the event handler.
#include "ui/menus/key_binding_page.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "core/locale.h"
#include "core/user_folders.h"
#include "support/interface_harness.h"
#include "support/scratch_dir.h"
#include "ui/key_bindings.h"
#include "ui/key_controls.h"

namespace key_binding_page_test {

namespace {

namespace fs = std::filesystem;
using irr::core::stringw;

// A font this small shows all 33 rows without scrolling.
constexpr irr::u32 kFontHeight = 4;
// Rows are the font's height and 2 pixels above and below; the header is one
// row high.
constexpr irr::s32 kRowHeight = kFontHeight + 4;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::set<std::string> linesOf(const std::string& text) {
  std::set<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.insert(line);
  return lines;
}

bool used(uint8_t) { return true; }

class KeyBindingPageTest : public InterfaceTest {
 protected:
  void SetUp() override {
    InterfaceTest::SetUp();
    ui->useFixedFont(6, kFontHeight);
    savedActions = keyActionTable();
    keyActionTable().clear();
    registerBuiltInKeyActions();
    unbindAll();
    applyDefaultKeyBindings();
    savedGameFolder = userFolders.game;
    folder = scratchDir();
    userFolders.game = (folder.string() + "/").c_str();

    irr::gui::IGUITabControl* tabs = ui->gui()->addTabControl(irr::core::recti(10, 10, 510, 350));
    irr::gui::IGUITab* tab = tabs->addTab(L"Keys");
    page = createKeyBindingPage(tab);
    ASSERT_NE(page, nullptr);
  }
  void TearDown() override {
    unbindAll();
    userFolders.game = savedGameFolder;
    keyActionTable() = savedActions;
    InterfaceTest::TearDown();
  }

  static void unbindAll() {
    for (int key = 0; key < KeyBindings::kKeyCount; ++key)
      keyBindings.unbind(static_cast<uint8_t>(key));
  }

  static irr::u32 rowOf(const wchar_t* action) {
    const irr::s32 row = findKeyAction(action);
    EXPECT_GE(row, 0);
    return static_cast<irr::u32>(row);
  }
  stringw keyCell(const wchar_t* action) const { return page->table()->getCellText(rowOf(action), 1); }

  // Clicks the middle of the row of `action`.
  void clickRow(const wchar_t* action) {
    const irr::core::recti area = page->table()->getAbsolutePosition();
    const irr::s32 y = area.UpperLeftCorner.Y + kRowHeight * static_cast<irr::s32>(rowOf(action) + 1) + kRowHeight / 2;
    ui->click(area.UpperLeftCorner.X + 20, y);
  }
  // A first click selects the row, a second arms it.
  void armRow(const wchar_t* action) {
    clickRow(action);
    ASSERT_EQ(page->table()->getSelected(), static_cast<irr::s32>(rowOf(action)));
    clickRow(action);
  }

  const NativeKeyAction* action(const wchar_t* name) const {
    return keyActionTable()[rowOf(name)].value;
  }

  KeyActionTable savedActions;
  irr::core::stringc savedGameFolder;
  fs::path folder;
  keyReceiver* page = nullptr;
};

TEST_F(KeyBindingPageTest, RowsListEveryActionWithItsFirstKey) {
  irr::gui::IGUITable* table = page->table();
  EXPECT_EQ(page->getRelativePosition(), irr::core::recti(4, 4, 492, 310));
  EXPECT_EQ(table->getRelativePosition(), irr::core::recti(0, 0, 488, 306));
  ASSERT_EQ(table->getColumnCount(), 2);
  EXPECT_EQ(table->getColumnWidth(0), 300u);
  EXPECT_EQ(table->getColumnWidth(1), 160u);
  ASSERT_EQ(table->getRowCount(), 33);
  // Name order; labels are "#" + the name where the locale has no text.
  EXPECT_EQ(stringw(table->getCellText(0, 0)), stringw(L"#camera_backward"));
  EXPECT_EQ(stringw(table->getCellText(32, 0)), stringw(L"#zoom_to_object"));
  EXPECT_EQ(keyCell(L"pause"), stringw(L"Pause"));
  EXPECT_EQ(keyCell(L"camera_world_forward"), stringw(L"Up"));
  EXPECT_EQ(keyCell(L"camera_reset"), stringw(L""));
}

TEST_F(KeyBindingPageTest, LocalisedLabelsNameTheActions) {
  const fs::path locale = folder / "locale.txt";
  std::ofstream(locale) << "#pause: Pause the game\n";
  ASSERT_TRUE(loadLocaleFile(locale.string().c_str(), true));
  keyReceiver* other = createKeyBindingPage(nullptr);
  loadLocaleFile(CORVANE_SOURCE_DIR "/data/Locales/english.txt", true);
  EXPECT_EQ(stringw(other->table()->getCellText(rowOf(L"pause"), 0)), stringw(L"Pause the game"));
  EXPECT_EQ(stringw(other->table()->getCellText(rowOf(L"console"), 0)), stringw(L"#console"));
  EXPECT_EQ(other->getParent(), ui->root());
  other->remove();
}

TEST_F(KeyBindingPageTest, EscapeCancelsTheCapture) {
  armRow(L"pause");
  EXPECT_EQ(keyCell(L"pause"), stringw(L"Press Any Key"));
  EXPECT_EQ(page->captureName(), stringw(L"pause"));

  EXPECT_TRUE(ui->tapKey(irr::KEY_ESCAPE));
  EXPECT_EQ(keyCell(L"pause"), stringw(L"Pause"));
  EXPECT_TRUE(page->captureName().empty());
  EXPECT_EQ(keyBindings.slot(19).action, action(L"pause"));
  EXPECT_EQ(keyBindings.slot(27).kind, KeyBindingSlot::kNone);
  EXPECT_EQ(keyBindings.actionKeys().size(), 18u);
  EXPECT_FALSE(fs::exists(folder / "controls.cfg"));
}

TEST_F(KeyBindingPageTest, TheNextKeyReplacesTheFirstKeyAndIsSaved) {
  // Q's own binding does not run while the page takes it.
  NativeKeyAction* probe = registerNativeKeyAction(L"zz_probe", used, 0);
  keyBindings.bindAction('Q', probe);
  keyBindings.bindAction('E', const_cast<NativeKeyAction*>(action(L"unit_explore")));  // a second key

  armRow(L"unit_explore");
  EXPECT_EQ(keyCell(L"unit_explore"), stringw(L"Press Any Key"));
  EXPECT_TRUE(ui->pressKey(irr::KEY_KEY_Q, L'q'));
  EXPECT_EQ(keyCell(L"unit_explore"), stringw(L"Q"));
  EXPECT_EQ(keyBindings.slot('Q').action, action(L"unit_explore"));
  EXPECT_EQ(keyBindings.slot('X').kind, KeyBindingSlot::kNone);
  EXPECT_EQ(keyBindings.slot('E').action, action(L"unit_explore"));  // only the first key is replaced
  // The release after the capture is an ordinary key event again.
  ui->releaseKey(irr::KEY_KEY_Q, L'q');

  const std::set<std::string> lines = linesOf(readFile(folder / "controls.cfg"));
  EXPECT_EQ(lines.count("unit_explore: Q"), 1u);
  EXPECT_EQ(lines.count("unit_explore: E"), 1u);
  EXPECT_EQ(lines.count("unit_explore: X"), 0u);
  EXPECT_EQ(lines.count("pause: Pause"), 1u);
  EXPECT_EQ(lines.count("zz_probe: Q"), 0u);

  // A modifier is a key like any other; a key of another action moves over,
  // whose row keeps its text until the page is built again.
  armRow(L"pause");
  EXPECT_TRUE(ui->pressKey(irr::KEY_SHIFT));
  EXPECT_EQ(keyCell(L"pause"), stringw(L"#16"));
  armRow(L"make_fleet");
  EXPECT_TRUE(ui->pressKey(irr::KEY_KEY_D, L'd'));
  EXPECT_EQ(keyBindings.slot('D').action, action(L"make_fleet"));
  EXPECT_EQ(keyCell(L"unit_defend"), stringw(L"D"));
  const std::set<std::string> after = linesOf(readFile(folder / "controls.cfg"));
  EXPECT_EQ(after.count("pause: #16"), 1u);
  EXPECT_EQ(after.count("make_fleet: D"), 1u);
  EXPECT_EQ(after.count("make_fleet: F"), 0u);
  EXPECT_EQ(after.count("unit_defend: D"), 0u);

  // Without a capture, keys are the bindings' again.
  EXPECT_TRUE(page->captureName().empty());
  EXPECT_TRUE(ui->tapKey(irr::KEY_KEY_Q, L'q'));  // consumed by the event handler's last step
  EXPECT_EQ(keyCell(L"unit_explore"), stringw(L"Q"));
}

}  // namespace

}  // namespace key_binding_page_test
