// Settings widgets of the setup screen: how each kind shows its value, reads
// the player's input back and writes it, the range widget's scroll events,
// and the ids their controls take.
#include "ui/setup/settings_widgets.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "gui/base/gui_callbacks.h"
#include "support/interface_harness.h"

namespace settingswidgetstest {
namespace {

using irr::core::recti;
using irr::core::stringw;

std::string narrow(const wchar_t* text) { return std::string(text, text + std::wcslen(text)); }

const recti kCell(10, 30, 190, 50);

// A scroll event as the bar raises it, routed through the callback map.
bool scrollTo(RangeWidget& widget, irr::s32 position) {
  widget.scrollBar()->setPos(position);
  irr::SEvent event{};
  event.EventType = irr::EET_GUI_EVENT;
  event.GUIEvent.Caller = widget.scrollBar();
  event.GUIEvent.EventType = irr::gui::EGET_SCROLL_BAR_CHANGED;
  return dispatchGuiCallback(event);
}

class SettingsWidgets : public InterfaceTest {
 protected:
  void SetUp() override {
    InterfaceTest::SetUp();
    ui->useFixedFont();
  }
  SettingsTable table;
};

TEST(SettingNumberText, TrimsZerosAndThePoint) {
  const struct {
    float value;
    const wchar_t* text;
  } rows[] = {{2.5f, L"2.5"},  {3.0f, L"3"},     {10.0f, L"10"},     {0.0f, L"0"},
              {0.25f, L".25"}, {-0.5f, L"-0.5"}, {100.5f, L"100.5"}, {1e-7f, L"0"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value);
    EXPECT_EQ(narrow(formatSettingNumber(row.value).c_str()), narrow(row.text));
  }
}

TEST_F(SettingsWidgets, InputKeepsTheOldValueOnTextItCannotTake) {
  const struct {
    bool integer;
    float minimum, maximum, start;
    const wchar_t* typed;
    bool written;
    float value;
    const wchar_t* shown;
  } rows[] = {
      {true, -1e36f, 1e36f, 3.0f, L"2.5", false, 3.0f, L"3"},  // '.' is no integer character
      {true, 1.0f, 10.0f, 5.0f, L"20", true, 5.0f, L"5"},      // out of range: the old value is written
      {true, 1.0f, 10.0f, 5.0f, L"7", true, 7.0f, L"7"},
      {true, -5.0f, 5.0f, 1.0f, L"-3", true, -3.0f, L"-3"},
      {true, 1.0f, 10.0f, 5.0f, L"", false, 5.0f, L"5"},
      {false, 0.0f, 10.0f, 2.0f, L"2.5", true, 2.5f, L"2.5"},
      {false, 0.0f, 10.0f, 2.0f, L"abc", false, 2.0f, L"2"},
      {false, 0.0f, 10.0f, 2.0f, L"0.5 ", false, 2.0f, L"2"},  // a blank is no number character
      {false, 0.0f, 10.0f, 2.0f, L"-1", true, 2.0f, L"2"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(narrow(row.typed));
    table.clear();
    InputWidget input(L"SIZE", row.start, L"#Size", ui->root(), row.integer, row.minimum, row.maximum, kCell);
    input.editBox()->setText(row.typed);
    NamedVar<float>* written = input.storeSetting(table);
    EXPECT_EQ(written != nullptr, row.written);
    EXPECT_EQ(NamedVar<float>::find(table, L"SIZE") >= 0, row.written);
    if (written != nullptr) {
      EXPECT_FLOAT_EQ(written->value, row.value);
    }
    EXPECT_FLOAT_EQ(input.value, row.value);
    EXPECT_EQ(narrow(input.editBox()->getText()), narrow(row.shown));
  }
}

TEST_F(SettingsWidgets, InputLaysOutItsLabelAndBox) {
  InputWidget input(L"SIZE", 12.0f, L"#Size", ui->root(), true, 1.0f, 50.0f, kCell);
  // The fixed font is 8 x 14: "#Size" (no locale entry) is 40 pixels wide.
  EXPECT_EQ(input.label()->getRelativePosition(), recti(10, 30, 50, 44));
  EXPECT_EQ(input.editBox()->getRelativePosition(), recti(50, 30, 190, 50));
  EXPECT_EQ(input.label()->getID(), -1);
  EXPECT_EQ(narrow(input.editBox()->getText()), "12");
}

TEST_F(SettingsWidgets, FloatRangeScrollsInPercent) {
  RangeWidget range(L"SPEED", 1.0f, L"#Speed", ui->root(), false, 0.5f, 1.5f, 1, 10, kCell);
  EXPECT_EQ(range.scrollBar()->getMin(), 0);
  EXPECT_EQ(range.scrollBar()->getMax(), 100);
  EXPECT_EQ(range.scrollBar()->getPos(), 50);
  EXPECT_EQ(narrow(range.valueText()->getText()), "1");

  EXPECT_FALSE(scrollTo(range, 25)) << "the scroll event stays unconsumed";
  EXPECT_FLOAT_EQ(range.value, 0.75f);
  EXPECT_EQ(narrow(range.valueText()->getText()), ".75");
  EXPECT_EQ(range.scrollBar()->getPos(), 25);

  NamedVar<float>* written = range.storeSetting(table);
  ASSERT_NE(written, nullptr);
  EXPECT_FLOAT_EQ(written->value, 0.75f);
}

TEST_F(SettingsWidgets, IntegerRangeRunsOverItsBounds) {
  RangeWidget range(L"ARMS", 4.0f, L"#Arms", ui->root(), true, 2.0f, 8.0f, 1, 2, kCell);
  EXPECT_EQ(range.scrollBar()->getMin(), 2);
  EXPECT_EQ(range.scrollBar()->getMax(), 8);
  EXPECT_EQ(range.scrollBar()->getPos(), 4);
  EXPECT_EQ(range.scrollBar()->getSmallStep(), 1);
  EXPECT_EQ(range.scrollBar()->getLargeStep(), 2);
  // Label "#Arms" 40 wide; the sample "80" is 16 wide.
  EXPECT_EQ(range.valueText()->getRelativePosition(), recti(55, 30, 71, 44));
  EXPECT_EQ(range.scrollBar()->getRelativePosition(), recti(72, 32, 190, 44));
  scrollTo(range, 7);
  EXPECT_FLOAT_EQ(range.value, 7.0f);
  EXPECT_EQ(narrow(range.valueText()->getText()), "7");
}

// Bounds far outside the 32-bit range, and a range without width, neither
// trap nor divide by zero.
TEST_F(SettingsWidgets, RangesWithoutBoundsOrWidthScrollSafely) {
  // The engine's bar holds bounds within +-2^30.
  RangeWidget open(L"OPEN", 0.0f, L"#Open", ui->root(), true, -1e36f, 1e36f, 1, 10, kCell);
  EXPECT_EQ(open.scrollBar()->getMax(), 1073741823);
  EXPECT_EQ(open.scrollBar()->getMin(), -1073741824);
  // The sample is 10 x 1073741823: 11 digits of 8 pixels.
  EXPECT_EQ(open.valueText()->getRelativePosition().getWidth(), 88);
  scrollTo(open, 12345);
  EXPECT_FLOAT_EQ(open.value, 12345.0f);
  EXPECT_EQ(narrow(open.valueText()->getText()), "12345");

  // A value beyond the bounds puts the bar at its end.
  open.value = 3e9f;
  open.refresh();
  EXPECT_EQ(open.scrollBar()->getPos(), 1073741823);
  open.value = -1e30f;
  open.refresh();
  EXPECT_EQ(open.scrollBar()->getPos(), -1073741824);

  RangeWidget flat(L"FLAT", 3.0f, L"#Flat", ui->root(), false, 3.0f, 3.0f, 1, 10, kCell);
  EXPECT_EQ(flat.scrollBar()->getPos(), 0);
  scrollTo(flat, 60);
  EXPECT_FLOAT_EQ(flat.value, 3.0f);
  EXPECT_EQ(narrow(flat.valueText()->getText()), "3");
}

TEST_F(SettingsWidgets, DeletedRangeLeavesNoCallback) {
  auto range = std::make_unique<RangeWidget>(L"ARMS", 4.0f, L"#Arms", ui->root(), true, 2.0f, 8.0f, 1, 2, kCell);
  const irr::s32 id = range->scrollBar()->getID();
  EXPECT_EQ(guiCallbackEntry(id).object, static_cast<GuiCallback*>(range.get()));
  range.reset();
  EXPECT_EQ(guiCallbackEntry(id).object, nullptr);
  removeGuiCallback(id);
}

TEST_F(SettingsWidgets, CheckboxMatchesItsOnValueClosely) {
  CheckboxWidget box(L"WRAP", L"#Wrap", ui->root(), kCell, 2.0f, 0.0f, false);
  EXPECT_FLOAT_EQ(box.value, 0.0f);
  box.value = 1.999995f;
  box.refresh();
  EXPECT_TRUE(box.checkBox()->isChecked());
  box.value = 1.9999f;
  box.refresh();
  EXPECT_FALSE(box.checkBox()->isChecked());

  box.checkBox()->setChecked(true);
  EXPECT_FLOAT_EQ(box.storeSetting(table)->value, 2.0f);
  box.checkBox()->setChecked(false);
  EXPECT_FLOAT_EQ(box.storeSetting(table)->value, 0.0f);
  EXPECT_FLOAT_EQ(table[NamedVar<float>::find(table, L"WRAP")].value, 0.0f);
}

TEST_F(SettingsWidgets, SelectFallsBackToItsFirstOption) {
  SelectWidget select(L"SHAPE", L"#Shape", ui->root(), kCell);
  select.addOption(L"#Ring", 1.0f);
  select.addOption(L"#Disc", 2.0f);
  select.addOption(L"#Arm", 2.00005f);

  select.value = 2.00004f;
  select.refresh();
  EXPECT_EQ(select.comboBox()->getSelected(), 1) << "the first option within 0.0001";

  select.value = 7.0f;
  select.refresh();
  EXPECT_EQ(select.comboBox()->getSelected(), 0);
  EXPECT_FLOAT_EQ(select.storeSetting(table)->value, 1.0f);

  select.comboBox()->setSelected(-1);
  select.value = 9.0f;
  EXPECT_FLOAT_EQ(select.storeSetting(table)->value, 9.0f) << "nothing selected keeps the value";
}

TEST_F(SettingsWidgets, VisibilityAndInputSwitches) {
  InputWidget input(L"A", 1.0f, L"#A", ui->root(), true, 0.0f, 9.0f, kCell);
  SelectWidget select(L"B", L"#B", ui->root(), kCell);
  RangeWidget range(L"C", 1.0f, L"#C", ui->root(), true, 0.0f, 9.0f, 1, 1, kCell);
  TagWidget tag(L"#D", kCell, ui->root());

  input.setEnabled(false);
  select.setEnabled(false);
  range.setEnabled(false);
  EXPECT_FALSE(input.editBox()->isEnabled());
  EXPECT_FALSE(select.comboBox()->isEnabled());
  EXPECT_FALSE(select.label()->isEnabled());
  EXPECT_FALSE(range.scrollBar()->isEnabled());
  tag.setEnabled(false);
  EXPECT_TRUE(tag.label()->isEnabled());

  range.setVisible(false);
  EXPECT_FALSE(range.label()->isVisible());
  EXPECT_FALSE(range.valueText()->isVisible());
  EXPECT_FALSE(range.scrollBar()->isVisible());
  EXPECT_EQ(tag.storeSetting(table), nullptr) << "a layout widget writes nothing";
  EXPECT_EQ(table.size(), 0u);
}

TEST_F(SettingsWidgets, DestroyedWidgetsLeaveTheGui) {
  const size_t before = ui->root()->getChildren().getSize();
  {
    InputWidget input(L"A", 1.0f, L"#A", ui->root(), true, 0.0f, 9.0f, kCell);
    RangeWidget range(L"C", 1.0f, L"#C", ui->root(), true, 0.0f, 9.0f, 1, 1, kCell);
    TabControlWidget tabs(kCell, ui->root());
    EXPECT_EQ(ui->root()->getChildren().getSize(), before + 6);
  }
  EXPECT_EQ(ui->root()->getChildren().getSize(), before);
}

// The counter starts at -36000 in a new process; run alone when other tests
// of this process made setup controls first.
TEST(SetupElementIds, CountUpwardFromMinus36000InAFreshProcess) {
  if (nextSetupElementId != kFirstSetupElementId) {
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string command =
        "'" + self + "' --gtest_filter=SetupElementIds.CountUpwardFromMinus36000InAFreshProcess >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return;
  }
  InterfaceHarness ui;
  InputWidget first(L"A", 1.0f, L"#A", ui.root(), true, 0.0f, 9.0f, kCell);
  TagWidget between(L"#Between", kCell, ui.root());
  CheckboxWidget second(L"B", L"#B", ui.root(), kCell, 1.0f, 0.0f, true);
  SelectWidget third(L"C", L"#C", ui.root(), kCell);
  EXPECT_EQ(first.editBox()->getID(), -36000);
  EXPECT_EQ(between.label()->getID(), -1);
  EXPECT_EQ(second.checkBox()->getID(), -35999);
  EXPECT_EQ(third.comboBox()->getID(), -35998);
  EXPECT_EQ(nextSetupElementId, -35997);
}

}  // namespace
}  // namespace settingswidgetstest
