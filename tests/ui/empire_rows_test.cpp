// The empire rows of the setup screen: which controls a row shows, what it
// draws in their place, what a client's row tells the server, the colour
// chooser, the row's removal by its own button, the unused name and colour
// picks and what a record gives its empire at game start.
#include "ui/setup/empire_rows.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/random.h"
#include "empire/empire.h"
#include "empire/empire_names.h"
#include "empire/traits.h"
#include "net/network_manager.h"
#include "support/interface_harness.h"
#include "support/sent_messages.h"
#include "ui/setup/settings_widgets.h"

namespace empirerowstest {
namespace {

using irr::core::recti;
using irr::core::stringw;

// A setup screen reduced to what rows use: its rows live in a panel at the
// top-left corner; removal and the trait panel are recorded.
class RowScreen : public EmpireRowScreen {
 public:
  explicit RowScreen(irr::gui::IGUIEnvironment* gui) {
    panel = gui->addStaticText(L"", recti(0, 0, 620, 400), false, false, nullptr, -1, false);
    pickerLayer = gui->addStaticText(L"", recti(5, 5, 6, 6), false, false, nullptr, -1, false);
    colorPicker = new EmpireColorPicker(gui, pickerLayer, -1, recti(0, 0, 10, 10));
    colorPicker->setVisible(false);
    personalityNames = {L"Builder", L"Raider"};
  }
  ~RowScreen() override {
    for (EmpireEntry* row : rows) {
      row->detach();
      row->remove();
    }
    for (EmpireSetup* record : records)
      delete record;
    colorPicker->remove();
    colorPicker->drop();
  }

  size_t rowCount() const override { return records.size(); }
  const EmpireSetup* rowRecord(size_t index) const override { return records[index]; }
  void removeRow(EmpireSetup* record) override {
    const auto at = std::find(records.begin(), records.end(), record);
    ASSERT_NE(at, records.end());
    const size_t index = static_cast<size_t>(at - records.begin());
    rows[index]->detach();
    rows[index]->remove();
    delete record;
    rows.erase(rows.begin() + static_cast<long>(index));
    records.erase(at);
    ++removed;
  }
  void openTraitPanel(EmpireEntry* row) override { traitPanels.push_back(row); }

  EmpireEntry* addRow(EmpireSetup* record, bool removable = true, irr::s32 width = 600) {
    const irr::s32 top = kEmpireRowHeight * static_cast<irr::s32>(rows.size()) + 2;
    auto* row = new EmpireEntry(recti(0, top, width, top + kEmpireRowHeight), takeSetupElementId(), panel, record,
                                removable, this);
    row->drop();
    rows.push_back(row);
    records.push_back(record);
    return row;
  }

  irr::gui::IGUIElement* panel = nullptr;
  std::vector<EmpireEntry*> rows;
  std::vector<EmpireSetup*> records;
  std::vector<EmpireEntry*> traitPanels;
  int removed = 0;
};

EmpireSetup* makeRecord(const wchar_t* name, bool ai = false) {
  auto* record = new EmpireSetup;
  record->name = name;
  record->ai = ai;
  return record;
}

class EmpireRows : public InterfaceTest {
 protected:
  void SetUp() override {
    InterfaceTest::SetUp();
    font_ = &ui->useFixedFont();
    screen = std::make_unique<RowScreen>(ui->gui());
  }
  void TearDown() override {
    screen.reset();
    empireRowLook = EmpireRowLook{};
    InterfaceTest::TearDown();
  }

  // The texts drawn by the row, in drawing order.
  std::vector<std::wstring> drawnTexts(EmpireEntry& row) {
    font_->drawn.clear();
    row.draw();
    std::vector<std::wstring> texts;
    for (const FixedFont::Drawn& drawn : font_->drawn)
      texts.push_back(drawn.text);
    return texts;
  }
  // The text drawn at `area` (relative to the row), or "(none)".
  std::wstring drawnAt(EmpireEntry& row, const recti& area) {
    font_->drawn.clear();
    row.draw();
    const recti absolute = area + row.getAbsolutePosition().UpperLeftCorner;
    for (const FixedFont::Drawn& drawn : font_->drawn)
      if (drawn.area == absolute)
        return drawn.text;
    return L"(none)";
  }

  std::unique_ptr<RowScreen> screen;
  FixedFont* font_ = nullptr;
};

TEST_F(EmpireRows, ControlsShownByKindEditabilityAndScreen) {
  const struct {
    const char* what;
    bool hosting, client, ai, local, player, editable;
    bool name, difficulty, customize;
  } rows[] = {
      {"local human", false, false, false, true, false, true, true, false, true},
      {"local AI", false, false, true, false, false, true, true, true, false},
      {"remote human on a hosting screen", true, false, false, false, true, true, true, false, false},
      {"host's own human row", true, false, false, true, false, true, true, false, true},
      {"own row on a client screen", false, true, false, false, true, true, true, false, true},
      {"AI on a hosting screen", true, false, true, false, false, true, true, true, false},
      {"AI not editable", false, false, true, false, false, false, false, false, false},
      {"human not editable", false, false, false, true, false, false, false, false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    screen->hosting = row.hosting;
    screen->client = row.client;
    EmpireSetup* record = makeRecord(L"Ostrava", row.ai);
    record->local = row.local;
    NetPlayer player;
    if (row.player)
      record->networkPlayer = &player;
    EmpireEntry* entry = screen->addRow(record);
    entry->setEditable(row.editable);
    EXPECT_EQ(entry->nameBox()->isVisible(), row.name);
    EXPECT_EQ(entry->teamBox()->isVisible(), row.name);
    EXPECT_EQ(entry->difficultyBox()->isVisible(), row.difficulty);
    EXPECT_EQ(entry->personalityBox()->isVisible(), row.difficulty);
    EXPECT_EQ(entry->cheatsBox()->isVisible(), row.difficulty);
    EXPECT_EQ(entry->customizeButton()->isVisible(), row.customize);
    record->networkPlayer = nullptr;
    screen->removeRow(record);
  }
}

TEST_F(EmpireRows, ControlsFollowTheRowLayoutAndRecord) {
  EmpireSetup* record = makeRecord(L"Kessel Reach", true);
  record->team = 4;
  record->difficulty = 5;
  record->personality = 2;
  record->cheats = true;
  empireRowLook.removeTooltip = L"Remove";
  EmpireEntry* row = screen->addRow(record, true, kEmpireRowWidth);
  const irr::s32 id = row->getID();
  const struct {
    irr::gui::IGUIElement* control;
    recti area;
  } controls[] = {
      {row->nameBox(), recti(30, 7, 220, 30)},          {row->teamBox(), recti(230, 7, 330, 30)},
      {row->difficultyBox(), recti(470, 6, 580, 30)},   {row->personalityBox(), recti(590, 6, 695, 30)},
      {row->customizeButton(), recti(592, 7, 691, 29)}, {row->cheatsBox(), recti(705, 10, 800, 28)},
      {row->removeButton(), recti(841, 5, 873, 33)},
  };
  for (const auto& control : controls) {
    EXPECT_EQ(control.control->getRelativePosition(), control.area);
    EXPECT_EQ(control.control->getID(), id);
  }
  EXPECT_TRUE(stringw(row->nameBox()->getText()) == L"Kessel Reach");
  EXPECT_FLOAT_EQ(row->teamBox()->getValue(), 4.0f);
  EXPECT_FLOAT_EQ(row->teamBox()->getMin(), 1.0f);
  EXPECT_FLOAT_EQ(row->teamBox()->getMax(), 28.0f);
  EXPECT_EQ(row->difficultyBox()->getItemCount(), 6u);
  EXPECT_EQ(row->difficultyBox()->getSelected(), 5);
  ASSERT_EQ(row->personalityBox()->getItemCount(), 3u);
  EXPECT_TRUE(stringw(row->personalityBox()->getItem(0)) == L"");
  EXPECT_TRUE(stringw(row->personalityBox()->getItem(2)) == L"Raider");
  EXPECT_EQ(row->personalityBox()->getSelected(), 2);
  EXPECT_TRUE(row->cheatsBox()->isChecked());
  EXPECT_TRUE(stringw(row->removeButton()->getToolTipText()) == L"Remove");
  EXPECT_TRUE(row->chosenName == L"Kessel Reach");
  EXPECT_EQ(row->chosenColor, 0xFFFFFFFFu);

  // A control with the focus keeps what the player is typing.
  ui->gui()->setFocus(row->nameBox());
  row->nameBox()->setText(L"Kes");
  record->name = L"Vantor";
  record->difficulty = 1;
  row->syncControls();
  EXPECT_TRUE(stringw(row->nameBox()->getText()) == L"Kes");
  EXPECT_EQ(row->difficultyBox()->getSelected(), 1);
  ui->gui()->setFocus(nullptr);
}

TEST_F(EmpireRows, NotEditableRowsDrawTheirValuesAsText) {
  empireRowLook.aiRowText = L"Computer";
  empireRowLook.humanRowText = L"Human";
  EmpireSetup* ai = makeRecord(L"Dovrin Pact", true);
  ai->team = 3;
  ai->difficulty = 4;
  ai->personality = 1;
  ai->cheats = true;
  EmpireEntry* aiRow = screen->addRow(ai);
  aiRow->setEditable(false);
  const irr::s32 h = kEmpireRowHeight;
  EXPECT_EQ(drawnAt(*aiRow, recti(360, 10, 460, h - 10)), L"Computer");
  EXPECT_EQ(drawnAt(*aiRow, recti(34, 10, 220, h - 10)), L"Dovrin Pact");
  EXPECT_EQ(drawnAt(*aiRow, recti(234, 10, 330, h - 10)), L"3");
  EXPECT_EQ(drawnAt(*aiRow, recti(474, 10, 580, h - 10)), L"#LW_Diff4");
  EXPECT_EQ(drawnAt(*aiRow, recti(594, 10, 700, h - 10)), L"Builder");
  EXPECT_EQ(drawnAt(*aiRow, recti(704, 10, 800, h - 10)), L"Cheats");

  // Editable, the controls show the values and nothing is drawn for them.
  aiRow->setEditable(true);
  EXPECT_EQ(drawnTexts(*aiRow).front(), L"Computer");
  EXPECT_EQ(drawnAt(*aiRow, recti(34, 10, 220, h - 10)), L"(none)");

  // A human row draws no AI values; a network player's row shows its name,
  // its rounded value and its race.
  EmpireSetup* human = makeRecord(L"Corsa", false);
  human->cheats = true;
  NetPlayer player;
  player.name = L"Vesna";
  human->networkPlayer = &player;
  human->playerValue = 41.5f;
  empireRowLook.playerValueSuffix = L" pts";
  EmpireEntry* humanRow = screen->addRow(human);
  humanRow->setEditable(false);
  const std::vector<std::wstring> texts = drawnTexts(*humanRow);
  const std::vector<std::wstring> expected = {L"Vesna", L"Corsa", L"0", L"42 pts", L"Vurivovo"};
  EXPECT_EQ(texts, expected);
  human->networkPlayer = nullptr;

  humanRow->setVisible(false);
  EXPECT_TRUE(drawnTexts(*humanRow).empty());
}

class EmpireRowMessages : public EmpireRows {
 protected:
  void SetUp() override {
    EmpireRows::SetUp();
    captureSends(sent);
  }
  void TearDown() override {
    stopCapturingSends();
    EmpireRows::TearDown();
  }
  std::vector<SentMessage> sent;
};

TEST_F(EmpireRowMessages, ClientRowsSendTheirTeamAndName) {
  screen->client = true;
  EmpireSetup* record = makeRecord(L"Ab");
  record->team = 6;
  EmpireEntry* row = screen->addRow(record);

  // The spin box's up button: the upper of its two buttons.
  irr::gui::IGUIElement* up = nullptr;
  for (irr::gui::IGUIElement* child : row->teamBox()->getChildren())
    if (child->getType() == irr::gui::EGUIET_BUTTON &&
        (up == nullptr || child->getAbsolutePosition().UpperLeftCorner.Y < up->getAbsolutePosition().UpperLeftCorner.Y))
      up = child;
  ASSERT_NE(up, nullptr);
  ui->clickElement(up);
  EXPECT_EQ(record->team, 7);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].bytes, (std::vector<uint8_t>{141, 0, 7}));
  EXPECT_EQ(sent[0].channel, 0);
  EXPECT_EQ(sent[0].reliability, RakNet::RELIABLE_ORDERED);
  EXPECT_EQ(sent[0].target, RakNet::UNASSIGNED_SYSTEM_ADDRESS);

  // Typing into the name box.
  sent.clear();
  ui->clickElement(row->nameBox());
  ui->tapKey(irr::KEY_END);
  ui->tapKey(irr::KEY_KEY_C, L'c');
  EXPECT_TRUE(record->name == L"Abc");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].bytes, (std::vector<uint8_t>{141, 1, 3, 'A', 0, 'b', 0, 'c', 0}));

  // A long name is cut at 255 characters.
  sent.clear();
  row->nameBox()->setText(std::wstring(300, L'x').c_str());
  irr::SEvent changed{};
  changed.EventType = irr::EET_GUI_EVENT;
  changed.GUIEvent.Caller = row->nameBox();
  changed.GUIEvent.EventType = irr::gui::EGET_EDITBOX_CHANGED;
  row->OnEvent(changed);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].bytes.size(), 3u + 2 * 255);
  EXPECT_EQ(sent[0].bytes[2], 255);
  EXPECT_EQ(record->name.size(), 300u);
}

TEST_F(EmpireRowMessages, OtherScreensSendNothing) {
  for (bool hosting : {false, true}) {
    screen->hosting = hosting;
    EmpireSetup* record = makeRecord(L"Ab");
    EmpireEntry* row = screen->addRow(record);
    irr::SEvent event{};
    event.EventType = irr::EET_GUI_EVENT;
    event.GUIEvent.Caller = row->teamBox();
    event.GUIEvent.EventType = irr::gui::EGET_SPINBOX_CHANGED;
    row->teamBox()->setValue(9.0f);
    row->OnEvent(event);
    EXPECT_EQ(record->team, 9);
    event.GUIEvent.Caller = row->nameBox();
    event.GUIEvent.EventType = irr::gui::EGET_EDITBOX_CHANGED;
    row->nameBox()->setText(L"Zed");
    row->OnEvent(event);
    EXPECT_TRUE(record->name == L"Zed");
  }
  EXPECT_TRUE(sent.empty());
}

TEST_F(EmpireRows, AiChoicesReachTheRecord) {
  EmpireSetup* record = makeRecord(L"Lorn", true);
  EmpireEntry* row = screen->addRow(record);
  irr::SEvent event{};
  event.EventType = irr::EET_GUI_EVENT;
  const struct {
    irr::gui::EGUI_EVENT_TYPE type;
    irr::gui::IGUIElement* control;
    void (*change)(EmpireEntry&);
  } edits[] = {
      {irr::gui::EGET_CHECKBOX_CHANGED, row->cheatsBox(), [](EmpireEntry& r) { r.cheatsBox()->setChecked(true); }},
      {irr::gui::EGET_COMBO_BOX_CHANGED, row->difficultyBox(),
       [](EmpireEntry& r) { r.difficultyBox()->setSelected(1); }},
      {irr::gui::EGET_COMBO_BOX_CHANGED, row->personalityBox(),
       [](EmpireEntry& r) { r.personalityBox()->setSelected(2); }},
  };
  for (const auto& edit : edits) {
    edit.change(*row);
    event.GUIEvent.EventType = edit.type;
    event.GUIEvent.Caller = edit.control;
    EXPECT_FALSE(row->OnEvent(event)) << "not consumed";
  }
  EXPECT_TRUE(record->cheats);
  EXPECT_EQ(record->difficulty, 1);
  EXPECT_EQ(record->personality, 2);

  // The customise button of a human row asks for the trait panel.
  EmpireEntry* humanRow = screen->addRow(makeRecord(L"Tarn"));
  ASSERT_TRUE(humanRow->customizeButton()->isVisible());
  ui->click(598, humanRow->getAbsolutePosition().UpperLeftCorner.Y + 20);  // right of the remove button
  EXPECT_EQ(screen->traitPanels, std::vector<EmpireEntry*>{humanRow});
}

TEST_F(EmpireRows, SwatchOpensAndClosesTheColourChooser) {
  EmpireSetup* first = makeRecord(L"Ilva");
  EmpireEntry* row = screen->addRow(first);
  EmpireEntry* second = screen->addRow(makeRecord(L"Oska"));
  EmpireColorPicker& picker = *screen->colorPicker;
  picker.colors.assign(10, 0xFF336699u);
  sizeColorPicker(picker);
  picker.pickedIndex = 3;
  const irr::core::position2di swatch = row->swatchRect().getCenter();
  const irr::core::position2di otherSwatch = second->swatchRect().getCenter();

  ui->click(swatch.X, swatch.Y);
  EXPECT_TRUE(picker.isVisible());
  EXPECT_EQ(picker.owner, row);
  EXPECT_EQ(picker.pickedIndex, -1);
  EXPECT_EQ(picker.getParent(), screen->pickerLayer);
  EXPECT_EQ(picker.getAbsolutePosition(), recti(0, 2 + 26, 144, 2 + 26 + 128)) << "below the row's top";

  ui->click(swatch.X, swatch.Y);
  EXPECT_FALSE(picker.isVisible());

  // Shown for one row, another row's swatch takes it over; a click
  // elsewhere on a row hides it.
  ui->click(otherSwatch.X, otherSwatch.Y);
  EXPECT_EQ(picker.owner, second);
  EXPECT_EQ(picker.getAbsolutePosition().UpperLeftCorner, irr::core::position2di(0, 40 + 26));
  ui->click(swatch.X, swatch.Y);
  EXPECT_TRUE(picker.isVisible());
  EXPECT_EQ(picker.owner, row);
  ui->click(400, 60);
  EXPECT_FALSE(picker.isVisible());

  // A row that is not editable opens nothing.
  row->setEditable(false);
  ui->click(swatch.X, swatch.Y);
  EXPECT_FALSE(picker.isVisible());

  // A removed row leaves the chooser without an owner.
  row->setEditable(true);
  ui->gui()->setFocus(nullptr);
  ui->click(swatch.X, swatch.Y);
  ASSERT_EQ(picker.owner, row);
  screen->removeRow(first);
  EXPECT_EQ(picker.owner, nullptr);
  EXPECT_FALSE(picker.isVisible());
}

TEST(ColorPickerSize, SquareGridOfSwatches) {
  InterfaceHarness ui;
  const struct {
    size_t colors;
    irr::s32 width, height;
  } rows[] = {{0, 8, 8}, {1, 42, 38}, {4, 76, 68}, {5, 110, 98}, {10, 144, 128}, {16, 144, 128}, {17, 178, 158}};
  EmpireColorPicker* picker = new EmpireColorPicker(ui.gui(), ui.root(), -1, recti(30, 40, 31, 41));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.colors);
    picker->colors.assign(row.colors, 0xFF000000u);
    sizeColorPicker(*picker);
    EXPECT_EQ(picker->getRelativePosition(), recti(30, 40, 30 + row.width, 40 + row.height));
  }
  picker->drop();
}

// The remove button asks for the removal; the screen carries it out after
// the click has been handled, and nothing touches the deleted row.
TEST_F(EmpireRows, RemoveButtonRemovesTheRowAfterItsEvent) {
  screen->addRow(makeRecord(L"Aster"));
  EmpireEntry* middle = screen->addRow(makeRecord(L"Brisk"));
  screen->addRow(makeRecord(L"Cairn"), false);
  EXPECT_FALSE(screen->rows[2]->removeButton()->isVisible());

  ui->clickElement(middle->removeButton());
  EXPECT_EQ(screen->rows.size(), 3u) << "nothing is removed while the event is delivered";
  EXPECT_TRUE(screen->hasQueuedRemovals());
  ui->clickElement(middle->removeButton());  // a second press before the removal
  screen->removeQueuedRows();
  EXPECT_EQ(screen->removed, 1);
  ASSERT_EQ(screen->records.size(), 2u);
  EXPECT_TRUE(screen->records[0]->name == L"Aster");
  EXPECT_TRUE(screen->records[1]->name == L"Cairn");
  EXPECT_FALSE(screen->hasQueuedRemovals());

  // The GUI goes on with the row gone.
  ui->moveMouse(300, 50);
  ui->click(300, 50);
  screen->removeQueuedRows();
  EXPECT_EQ(screen->removed, 1);

  // A removal asked for a record that went another way is dropped.
  EmpireSetup* gone = screen->records[0];
  screen->queueRowRemoval(gone);
  screen->removeRow(gone);
  EXPECT_FALSE(screen->hasQueuedRemovals());
  screen->removeQueuedRows();
  EXPECT_EQ(screen->removed, 2);
  EXPECT_EQ(screen->records.size(), 1u);
}

TEST_F(EmpireRows, UnusedNamesAndColours) {
  const std::vector<stringw> savedNames = empireNames;
  const std::set<uint32_t> savedColors = empireColors;
  empireNames = {L"Ardent", L"Belgrave"};
  empireColors = {0xFF110000u, 0xFF220000u};
  seedProcessRandom(7);
  EmpireSetup* record = makeRecord(L"Ardent");
  record->color = 0xFF110000u;
  screen->addRow(record);
  for (int i = 0; i < 20; ++i) {
    EXPECT_TRUE(pickUnusedEmpireName(*screen) == L"Belgrave");
    EXPECT_EQ(pickUnusedEmpireColor(*screen), 0xFF220000u);
  }
  // Every name in use: a name is still given.
  screen->addRow(makeRecord(L"Belgrave"));
  const stringw name = pickUnusedEmpireName(*screen);
  EXPECT_TRUE(name == L"Ardent" || name == L"Belgrave");
  empireNames = savedNames;
  empireColors = savedColors;
}

TEST(EmpireSetupRecord, DefaultsAndGameStart) {
  empireRowLook.raceDescription = L"Tall and patient.";
  EmpireSetup record;
  empireRowLook = EmpireRowLook{};
  EXPECT_EQ(record.color, 0xFFFFFFFFu);
  EXPECT_TRUE(record.raceName == L"Vurivovo");
  EXPECT_EQ(record.difficulty, 3);
  EXPECT_EQ(record.team, 0);
  EXPECT_FALSE(record.ai);
  EXPECT_TRUE(record.raceDescription == L"Tall and patient.");
  EXPECT_EQ(record.networkPlayer, nullptr);
  NetPlayer* own = record.ownNetworkPlayer();
  EXPECT_EQ(record.networkPlayer, own);

  auto* swift = new ITrait;
  swift->id = L"swift";
  traitRegistry[swift->id] = swift;
  record.name = L"Hollow Crown";
  record.raceName = L"Tesk";
  record.raceHistory = L"Old.";
  record.color = 0xFF804020u;
  record.ai = true;
  record.cheats = true;
  record.team = 2;
  record.difficulty = 5;
  record.personality = 1;
  record.shipSet = L"Angular";
  record.traits[L"swift"] = nullptr;
  record.traits[L"unheard_of"] = nullptr;
  record.local = true;
  empire* const savedPlayer = pendingPlayerEmpire;

  auto emp = std::make_unique<empire>();
  emp->shipSet = L"Round";
  applyEmpireSetup(record, *emp);
  EXPECT_TRUE(emp->name == L"Hollow Crown");
  EXPECT_TRUE(emp->raceName == L"Tesk");
  EXPECT_TRUE(emp->raceDescription == L"Tall and patient.");
  EXPECT_TRUE(emp->raceHistory == L"Old.");
  EXPECT_EQ(emp->color, 0xFF804020u);
  EXPECT_TRUE(emp->isAI());
  EXPECT_TRUE(emp->shipSet == L"Angular");
  EXPECT_FLOAT_EQ(emp->getSetting(L"Cheats"), 1.0f);
  EXPECT_FLOAT_EQ(emp->getSetting(L"Team"), 2.0f);
  EXPECT_FLOAT_EQ(emp->getSetting(L"Difficulty"), 5.0f);
  EXPECT_FLOAT_EQ(emp->getSetting(L"Personality"), 1.0f);
  ASSERT_EQ(emp->traits.size(), 1u) << "unknown traits are skipped";
  EXPECT_EQ(emp->traits[L"swift"], swift);
  float value = 0.0f;
  EXPECT_TRUE(emp->spaces.findSpace(L"Traits")->get(L"swift", value));
  EXPECT_EQ(value, 1.0f);
  EXPECT_EQ(pendingPlayerEmpire, emp.get());

  // A human record without cheats or ship set, not the local player's.
  EmpireSetup plain;
  auto other = std::make_unique<empire>();
  other->shipSet = L"Round";
  applyEmpireSetup(plain, *other);
  EXPECT_FALSE(other->isAI());
  EXPECT_TRUE(other->shipSet == L"Round");
  EXPECT_FLOAT_EQ(other->getSetting(L"Cheats"), 0.0f);
  EXPECT_FLOAT_EQ(other->getSetting(L"Difficulty"), 3.0f);
  EXPECT_EQ(pendingPlayerEmpire, emp.get());

  pendingPlayerEmpire = savedPlayer;
  emp.reset();
  other.reset();
  clearTraits();
}

}  // namespace
}  // namespace empirerowstest
