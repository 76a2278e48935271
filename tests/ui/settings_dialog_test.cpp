// The settings dialog built from a map description: the grid and group
// offsets, every tag's widget, the advanced window and tab pages, and
// descriptions that are broken in the ways a hand-written file can be.
#include "ui/setup/settings_dialog.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <algorithm>
#include <string>

#include "app/base/startup.h"
#include "gui/base/gui_callbacks.h"
#include "script/script_xml_io.h"
#include "support/interface_harness.h"

namespace settingsdialogtest {
namespace {

using irr::core::recti;

constexpr const char* kLatticeMap = CORVANE_SOURCE_DIR "/tests/ui/maps/lattice.xml";
using irr::core::stringw;

class SettingsDialog : public InterfaceTest {
 protected:
  void SetUp() override {
    InterfaceTest::SetUp();
    ui->useFixedFont();
    savedMapName_ = mapName;
    panel_ = ui->gui()->addStaticText(L"", recti(0, 0, 600, 400), false, false, nullptr, -1, false);
  }
  void TearDown() override {
    widgets.clear();
    mapName = savedMapName_;
    InterfaceTest::TearDown();
  }

  // Builds the panel from XML text (UTF-8) as the setup screen reads a
  // description file.
  void build(const std::string& document, irr::gui::IGUIElement* advancedWindow = nullptr,
             bool* hasAdvanced = nullptr) {
    irr::io::IXMLReader* reader = new ScriptXmlReader(document);
    buildSettingsDialog(reader, panel_, advancedWindow, widgets, hasAdvanced);
    reader->drop();
  }

  template <class Widget>
  Widget* find(const wchar_t* setting) {
    for (const auto& widget : widgets)
      if (widget->name == setting)
        if (auto* found = dynamic_cast<Widget*>(widget.get()))
          return found;
    return nullptr;
  }
  template <class Widget>
  Widget* nth(size_t n) {
    for (const auto& widget : widgets)
      if (auto* found = dynamic_cast<Widget*>(widget.get()))
        if (n-- == 0)
          return found;
    return nullptr;
  }
  // The cell an input occupies: its label's top-left to its box's
  // bottom-right.
  static recti cellOf(const InputWidget& input) {
    return recti(input.label()->getRelativePosition().UpperLeftCorner,
                 input.editBox()->getRelativePosition().LowerRightCorner);
  }

  SettingsWidgetList widgets;
  irr::gui::IGUIElement* panel_ = nullptr;

 private:
  irr::core::stringc savedMapName_;
};

TEST_F(SettingsDialog, MapDescriptionLaysOutItsGrid) {
  // The engine's own XML reader over the file.
  irr::io::IXMLReader* reader = engine.fileSystem->createXMLReader(kLatticeMap);
  ASSERT_NE(reader, nullptr);
  buildSettingsDialog(reader, panel_, nullptr, widgets, nullptr);
  reader->drop();
  ASSERT_EQ(widgets.size(), 8u);
  EXPECT_EQ(std::string(mapName.c_str()), "lattice.xml");

  TagWidget* header = nth<TagWidget>(0);
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header->label()->getRelativePosition(), recti(10, 6, 190, 26));
  EXPECT_EQ(header->label()->getParent(), panel_);

  // Column 1, row 2 inside a group at column 0, row 1.
  InputWidget* size = find<InputWidget>(L"LATTICE_SIZE");
  ASSERT_NE(size, nullptr);
  EXPECT_EQ(cellOf(*size), recti(200, 78, 380, 98));
  EXPECT_TRUE(size->integer) << "type \"int\"";
  EXPECT_FLOAT_EQ(size->minimum, 1.0f);
  EXPECT_FLOAT_EQ(size->maximum, 50.0f);
  EXPECT_TRUE(stringw(size->editBox()->getText()) == L"12");

  // A group at column 5 of a two-column table starts in column 1.
  CheckboxWidget* wrap = find<CheckboxWidget>(L"LATTICE_WRAP");
  ASSERT_NE(wrap, nullptr);
  EXPECT_EQ(wrap->checkBox()->getRelativePosition(), recti(200, 102, 380, 122));
  EXPECT_TRUE(wrap->checkBox()->isChecked()) << "default \"ON\"";
  EXPECT_FLOAT_EQ(wrap->value, 1.0f);

  // Three positions with two widths leave the first tables in force.
  InputWidget* density = find<InputWidget>(L"LATTICE_DENSITY");
  ASSERT_NE(density, nullptr);
  EXPECT_EQ(cellOf(*density), recti(10, 126, 190, 146));
  EXPECT_FALSE(density->integer) << "type \"FLOAT\"";
  EXPECT_FLOAT_EQ(density->value, 0.5f);

  SelectWidget* shape = find<SelectWidget>(L"LATTICE_SHAPE");
  ASSERT_NE(shape, nullptr);
  EXPECT_EQ(shape->optionValues.size(), 2u);
  EXPECT_FLOAT_EQ(shape->value, 2.0f);
  EXPECT_EQ(shape->comboBox()->getSelected(), 1) << "the selected option shows";

  RangeWidget* arms = find<RangeWidget>(L"LATTICE_ARMS");
  ASSERT_NE(arms, nullptr);
  EXPECT_TRUE(arms->integer);
  EXPECT_EQ(arms->scrollBar()->getPos(), 4);
  EXPECT_EQ(arms->scrollBar()->getLargeStep(), 2);

  // Tabs of height 5: 24 x 5 + 35 pixels high; the page holds its widget.
  TabControlWidget* tabs = nth<TabControlWidget>(0);
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->tabControl()->getRelativePosition(), recti(10, 198, 190, 353));
  EXPECT_EQ(tabs->tabControl()->getRelativePosition().getHeight(), 155);
  ASSERT_EQ(tabs->tabControl()->getTabCount(), 1);
  CheckboxWidget* nebulae = find<CheckboxWidget>(L"LATTICE_NEBULAE");
  ASSERT_NE(nebulae, nullptr);
  EXPECT_EQ(nebulae->checkBox()->getParent(), tabs->tabControl()->getTab(0));
  EXPECT_EQ(nebulae->checkBox()->getRelativePosition(), recti(200, 6, 380, 26));

  // Storing every widget fills the settings table with the named ones.
  SettingsTable table;
  for (const auto& widget : widgets)
    widget->storeSetting(table);
  EXPECT_EQ(table.size(), 6u);
}

TEST_F(SettingsDialog, CellRules) {
  SettingsGrid grid;
  EXPECT_EQ(layoutSettingCell(L"1,1", grid), recti(0, 0, 100, 15)) << "no columns";
  grid.positions = {10, 200};
  grid.widths = {180, 150};
  const struct {
    const wchar_t* pos;
    recti cell;
  } rows[] = {
      {L"0,0", recti(10, 6, 190, 26)},   {L"1,3", recti(200, 78, 350, 98)}, {L" 1 , 1 ", recti(200, 30, 350, 50)},
      {L"7,0", recti(200, 6, 350, 26)},   // limited to the last column
      {L"-1,0", recti(200, 6, 350, 26)},  // a negative column counts as too large
      {L"1", recti(10, 6, 190, 26)},      // not two items: column 0, row 0
      {L"1,2,3", recti(10, 6, 190, 26)}, {L"", recti(10, 6, 190, 26)},      {L"0,-1", recti(10, -18, 190, 2)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.pos, row.pos + std::wcslen(row.pos)));
    EXPECT_EQ(layoutSettingCell(row.pos, grid), row.cell);
  }
  grid.columnOffsets.push_back(1);
  grid.rowOffsets.push_back(2);
  EXPECT_EQ(layoutSettingCell(L"0,1", grid), recti(200, 78, 350, 98));
  EXPECT_EQ(layoutSettingCell(L"x", grid), recti(10, 6, 190, 26)) << "no offsets without a position";
}

// Broken descriptions build what they can, with the defaults.
TEST_F(SettingsDialog, BrokenDescriptionsBuildWhatTheyCan) {
  build(R"(<settings>
      <columns positions="10,200" widths="180,180"/>
      </group></group>
      <input setting="AFTER_EXTRA_END" tag="#A" pos="1,1"/>
      <unknown setting="X" pos="0,0"/>
      <option tag="#Lost" value="4"/>
      <tab tag="#NoTabs"><input setting="NOT_IN_A_TAB" pos="0,2"/></tab>
      <group pos="x"><group pos="1,1"></group><input setting="UNMOVED" pos="0,3"/></group>
      <input setting="NO_BOUNDS" pos="0,4" default="1,5.5abc"/>
      <select setting="PICK" pos="0,5"></select>
      <option tag="#Late" value="3" selected="TRUE"/>
      <checkbox setting="PLAIN" pos="0,6"/>
      <range pos="0,7" min="zz" max=""/>
    </settings>)");
  InputWidget* after = find<InputWidget>(L"AFTER_EXTRA_END");
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(cellOf(*after), recti(200, 30, 380, 50)) << "the base offsets stay after unmatched ends";
  InputWidget* notInTab = find<InputWidget>(L"NOT_IN_A_TAB");
  ASSERT_NE(notInTab, nullptr);
  EXPECT_EQ(notInTab->editBox()->getParent(), panel_);
  InputWidget* unmoved = find<InputWidget>(L"UNMOVED");
  ASSERT_NE(unmoved, nullptr);
  EXPECT_EQ(cellOf(*unmoved), recti(10, 78, 190, 98)) << "a group without a position keeps the offsets";

  InputWidget* open = find<InputWidget>(L"NO_BOUNDS");
  ASSERT_NE(open, nullptr);
  EXPECT_FLOAT_EQ(open->value, 15.5f) << "',' is skipped, the rest read as far as it goes";
  EXPECT_FLOAT_EQ(open->minimum, -1e36f);
  EXPECT_FLOAT_EQ(open->maximum, 1e36f);
  SettingsTable table;
  open->editBox()->setText(L"300000000");
  EXPECT_FLOAT_EQ(open->storeSetting(table)->value, 300000000.0f) << "any number that fits a float";

  // An option after the select's end tag still goes to it; one before any
  // select is dropped.
  SelectWidget* pick = find<SelectWidget>(L"PICK");
  ASSERT_NE(pick, nullptr);
  ASSERT_EQ(pick->optionValues.size(), 1u);
  EXPECT_FLOAT_EQ(pick->value, 3.0f);

  CheckboxWidget* plain = find<CheckboxWidget>(L"PLAIN");
  ASSERT_NE(plain, nullptr);
  EXPECT_FALSE(plain->checkBox()->isChecked());
  EXPECT_FLOAT_EQ(plain->onValue, 0.0f);

  RangeWidget* unnamed = nth<RangeWidget>(0);
  ASSERT_NE(unnamed, nullptr);
  EXPECT_TRUE(unnamed->name.empty());
  EXPECT_EQ(unnamed->storeSetting(table), nullptr);
  EXPECT_EQ(widgets.size(), 7u);
}

TEST_F(SettingsDialog, CutOffAndMissingDocumentsBuildWhatTheyHold) {
  const struct {
    const char* document;
    size_t widgets;
  } rows[] = {
      {"", 0},
      {"<", 0},
      {"<settings", 0},
      {"not xml at all", 0},
      {"<a><b></a>", 0},
      {"</group></tabs></tab>", 0},
      {"<s><input setting=\"A\"/><input setting=\"B", 1},
      {"<s><tag text=\"#T\"/><input setting='A", 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.document);
    widgets.clear();
    build(row.document);
    EXPECT_EQ(widgets.size(), row.widgets);
  }
  widgets.clear();
  buildSettingsDialog(nullptr, panel_, nullptr, widgets, nullptr);
  EXPECT_TRUE(widgets.empty());

  // Through the file system: a missing file opens nothing.
  EXPECT_EQ(openSettingsDocument(CORVANE_SOURCE_DIR "/tests/ui/maps/no_such_map.xml"), nullptr);
  irr::io::IXMLReader* reader = openSettingsDocument(kLatticeMap);
  ASSERT_NE(reader, nullptr);
  buildSettingsDialog(reader, panel_, nullptr, widgets, nullptr);
  reader->drop();
  EXPECT_EQ(widgets.size(), 8u);
}

TEST_F(SettingsDialog, TypeWordsChooseTheMode) {
  build(R"(<s><input setting="A" type="FLOAT"/><input setting="B" type="Float"/><input setting="C" type="int"/>
           <input setting="D"/><input setting="E" type="floating"/><range setting="F" type="fLoAt"/></s>)");
  const struct {
    const wchar_t* setting;
    bool integer;
  } rows[] = {{L"A", false}, {L"B", false}, {L"C", true}, {L"D", true}, {L"E", true}};
  for (const auto& row : rows) {
    InputWidget* input = find<InputWidget>(row.setting);
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(input->integer, row.integer);
  }
  ASSERT_NE(find<RangeWidget>(L"F"), nullptr);
  EXPECT_FALSE(find<RangeWidget>(L"F")->integer);
}

TEST_F(SettingsDialog, RandomDefaultStaysInItsBounds) {
  std::string document = "<s>";
  for (int i = 0; i < 1000; ++i)
    document += R"(<input setting="R" type="float" min="0" max="1" default="rand"/>)";
  document += "</s>";
  build(document);
  ASSERT_EQ(widgets.size(), 1000u);
  float lowest = 2.0f, highest = -1.0f;
  for (const auto& widget : widgets) {
    lowest = std::min(lowest, widget->value);
    highest = std::max(highest, widget->value);
  }
  EXPECT_GE(lowest, 0.0f);
  EXPECT_LE(highest, 1.0f);
  EXPECT_LT(lowest, 0.1f);
  EXPECT_GT(highest, 0.9f);

  widgets.clear();
  build(R"(<s><input setting="R" min="-4" max="-2" default="rand"/><input setting="S" default="Rand"/></s>)");
  EXPECT_GE(widgets[0]->value, -4.0f);
  EXPECT_LE(widgets[0]->value, -2.0f);
  EXPECT_FLOAT_EQ(widgets[1]->value, 0.0f) << "only the exact word is random";
}

// Ranges without bounds or without width build and scroll without a trap.
TEST_F(SettingsDialog, UnboundedAndFlatRangesScroll) {
  build(R"(<s><range setting="OPEN" pos="0,0"/><range setting="OPEN_FLOAT" type="float" pos="0,1"/>
           <range setting="FLAT" type="float" min="3" max="3" default="3" pos="0,2"/>
           <range setting="FLAT_INT" min="3" max="3" default="3" pos="0,3"/></s>)");
  ASSERT_EQ(widgets.size(), 4u);
  const struct {
    const wchar_t* setting;
    irr::s32 position;
    float value;
  } rows[] = {{L"OPEN", 77, 77.0f},
              {L"OPEN", -1000000000, -1000000000.0f},
              {L"OPEN_FLOAT", 50, 0.0f},
              {L"FLAT", 40, 3.0f},
              {L"FLAT_INT", 3, 3.0f}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.position);
    RangeWidget* range = find<RangeWidget>(row.setting);
    ASSERT_NE(range, nullptr);
    range->scrollBar()->setPos(row.position);
    irr::SEvent event{};
    event.EventType = irr::EET_GUI_EVENT;
    event.GUIEvent.Caller = range->scrollBar();
    event.GUIEvent.EventType = irr::gui::EGET_SCROLL_BAR_CHANGED;
    EXPECT_FALSE(dispatchGuiCallback(event));
    EXPECT_FLOAT_EQ(range->value, row.value);
  }
}

TEST_F(SettingsDialog, AdvancedSectionGoesToItsWindow) {
  irr::gui::IGUIElement* window = ui->gui()->addStaticText(L"", recti(0, 0, 10, 10));
  const std::string document = R"(<s>
      <columns positions="10" widths="100"/>
      <advanced width="201" height="101">
        <input setting="INSIDE" pos="0,0"/>
        <columns positions="20" widths="50"/>
        <input setting="INSIDE_COLUMNS" pos="0,0"/>
      </advanced>
      <input setting="AFTER" pos="0,0"/>
    </s>)";
  bool hasAdvanced = false;
  build(document, window, &hasAdvanced);
  EXPECT_TRUE(hasAdvanced);
  // Centred on the 640 x 480 screen, halves rounded toward zero.
  EXPECT_EQ(window->getRelativePosition(), recti(220, 190, 421, 291));
  InputWidget* inside = find<InputWidget>(L"INSIDE");
  ASSERT_NE(inside, nullptr);
  EXPECT_EQ(inside->editBox()->getParent(), window);
  EXPECT_EQ(cellOf(*inside).LowerRightCorner, irr::core::position2di(100, 15)) << "the columns were emptied";
  InputWidget* after = find<InputWidget>(L"AFTER");
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(after->editBox()->getParent(), panel_);
  EXPECT_EQ(cellOf(*after), recti(20, 6, 70, 26)) << "the advanced section's columns stay";

  // Without a window the section's widgets go to the main parent.
  widgets.clear();
  build(document);
  ASSERT_NE(find<InputWidget>(L"INSIDE"), nullptr);
  EXPECT_EQ(find<InputWidget>(L"INSIDE")->editBox()->getParent(), panel_);
  EXPECT_EQ(cellOf(*find<InputWidget>(L"INSIDE")), recti(10, 6, 110, 26));
}

}  // namespace
}  // namespace settingsdialogtest
