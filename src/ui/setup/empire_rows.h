// The empire rows of the new-game setup screen: one EmpireEntry element per
// empire of the coming game, over the EmpireSetup record it edits (name,
// colour, team, and for AI empires difficulty, personality and cheats). A
// row opens the screen's colour chooser from its colour swatch, asks the
// screen for the trait panel and for its own removal, and on a network
// client's screen tells the server when its name or team changes (message
// 141: sub-kind 1 with the name, sub-kind 0 with the team byte). At game
// start each record is applied to its new empire (applyEmpireSetup).
//
// The screen itself is an EmpireRowScreen: the rows read its flags, its
// colour chooser and personality names, and reach it for removal and the
// trait panel. A row never removes itself while its own event handling
// runs: the remove button queues the removal (queueRowRemoval) and the
// screen carries it out later (removeQueuedRows), outside the delivery of
// the event. Before a row leaves the GUI the screen detaches it
// (EmpireEntry::detach): the element can outlive its removal, held by the
// GUI environment, while its record and the screen go.
//
// Main thread only.
#pragma once

#include <IGUIElement.h>
#include <irrString.h>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class empire;
class ITrait;
struct NetPlayer;
class EmpireEntry;
namespace irr {
namespace gui {
class IGUIEditBox;
class IGUISpinBox;
class IGUIButton;
class IGUIComboBox;
class IGUICheckBox;
}  // namespace gui
namespace video {
class ITexture;
}
}  // namespace irr

// The texts and images that rows show, which the setup screen sets once;
// empty (no image) until it does. The race texts are copied into every new
// record.
struct EmpireRowLook {
  irr::core::stringw aiRowText;          // player label of AI rows
  irr::core::stringw humanRowText;       // player label of human rows without a player
  irr::core::stringw playerValueSuffix;  // after a network player's rounded value
  irr::core::stringw kickTooltip;        // remove button of a hosted player's row
  irr::core::stringw removeTooltip;      // remove button of other rows
  irr::core::stringw raceDescription;
  irr::core::stringw raceHistory;
  irr::video::ITexture* background = nullptr;   // drawn over the whole row
  irr::video::ITexture* removeImage = nullptr;  // the remove button's image
};
extern EmpireRowLook empireRowLook;

// Message 141 and its row sub-kinds that a client's row sends.
constexpr uint8_t kGameSetupMessage = 141;
constexpr uint8_t kSetupChangeTeam = 0;
constexpr uint8_t kSetupChangeName = 1;
// The longest name sent.
constexpr unsigned kSetupNameMaxLength = 255;
// The rows' size on the screen.
constexpr int32_t kEmpireRowHeight = 38;
constexpr int32_t kEmpireRowWidth = 877;
// Team numbers that can be entered.
constexpr int32_t kFirstTeam = 1;
constexpr int32_t kLastTeam = 28;

// One empire of the coming game.
struct EmpireSetup {
  // Takes the race description and history from empireRowLook.
  EmpireSetup();
  ~EmpireSetup();
  EmpireSetup(const EmpireSetup&) = delete;
  EmpireSetup& operator=(const EmpireSetup&) = delete;

  irr::core::stringw name;
  irr::core::stringw shipSet;  // empty: none chosen
  uint32_t color = 0xFFFFFFFFu;
  int32_t team = 0;
  int32_t personality = 0;  // index into the screen's personality names
  std::map<irr::core::stringw, ITrait*> traits;
  irr::core::stringw raceName = L"Vurivovo";
  irr::core::stringw raceDescription;
  irr::core::stringw raceHistory;
  bool ai = false;
  bool local = false;      // the local player's row
  int32_t difficulty = 3;  // 0 to 5
  bool cheats = false;
  float playerValue = 0.0f;  // shown rounded beside a network player's row

  // The player who owns the row, or null: on a host the connected player's
  // record (the network manager's); on a client a record of its own
  // (ownNetworkPlayer), deleted with this one.
  NetPlayer* networkPlayer = nullptr;
  // Gives the record a player record of its own (a client's copy); returns it.
  NetPlayer* ownNetworkPlayer();

 private:
  std::unique_ptr<NetPlayer> ownedPlayer_;
};

// The screen's colour chooser: a palette of colours shown for one row.
class EmpireColorPicker : public irr::gui::IGUIElement {
 public:
  EmpireColorPicker(irr::gui::IGUIEnvironment* environment, irr::gui::IGUIElement* parent, irr::s32 id,
                    const irr::core::recti& rectangle);

  EmpireEntry* owner = nullptr;  // the row it is shown for
  irr::s32 pickedIndex = -1;     // -1: nothing picked
  std::vector<uint32_t> colors;
};

// What rows need of the setup screen that holds them.
class EmpireRowScreen {
 public:
  EmpireRowScreen() = default;
  EmpireRowScreen(const EmpireRowScreen&) = delete;
  EmpireRowScreen& operator=(const EmpireRowScreen&) = delete;
  virtual ~EmpireRowScreen() = default;

  // The rows' records, in row order.
  virtual size_t rowCount() const = 0;
  virtual const EmpireSetup* rowRecord(size_t index) const = 0;
  // Removes the row of `record` from the GUI and destroys the record. The
  // row is detached first (EmpireEntry::detach).
  virtual void removeRow(EmpireSetup* record) = 0;
  // Opens the trait panel for `row`.
  virtual void openTraitPanel(EmpireEntry* row) = 0;

  // Asks for the row of `record` to be removed after the event being
  // handled (a record asked for twice is removed once).
  void queueRowRemoval(EmpireSetup* record);
  // Forgets a queued removal.
  void cancelRowRemoval(const EmpireSetup* record);
  // Removes the rows asked for that still exist, in the order asked. Call
  // it outside the delivery of GUI events (the screen's next frame).
  void removeQueuedRows();
  bool hasQueuedRemovals() const { return !queuedRemovals_.empty(); }

  bool hosting = false;                          // hosts a network game (kicks, customise rule)
  bool client = false;                           // a client of a host: rows send their changes
  EmpireColorPicker* colorPicker = nullptr;      // held by the screen
  irr::gui::IGUIElement* pickerLayer = nullptr;  // the chooser's parent when shown
  std::vector<irr::core::stringw> personalityNames;

 private:
  std::vector<EmpireSetup*> queuedRemovals_;
};

class EmpireEntry : public irr::gui::IGUIElement {
 public:
  // Makes the controls with the row's id, shows the remove button when
  // `removable`, makes the row editable and fills the controls from the
  // record. Neither the record nor the screen is owned.
  EmpireEntry(const irr::core::recti& rectangle, irr::s32 id, irr::gui::IGUIElement* parent, EmpireSetup* record,
              bool removable, EmpireRowScreen* screen);
  ~EmpireEntry() override;

  bool OnEvent(const irr::SEvent& event) override;
  void draw() override;

  // Whether the local player may edit the row: the name and team boxes
  // show when editable; difficulty, personality and cheats when editable
  // for an AI; the customise button when editable for a human, and on a
  // hosting screen only on the local player's row.
  void setEditable(bool editable);
  bool isEditable() const { return editable_; }
  // Copies the record into the controls (a control that holds the focus
  // keeps what the player is typing).
  void syncControls();
  // An empty entry, then the screen's personality names.
  void fillPersonalities();
  // Shows or hides the remove button.
  void setRemovable(bool removable);
  // Cuts the row from its record and screen before it leaves the GUI: the
  // colour chooser shown for it hides, the focus leaves its controls and a
  // queued removal of its record is forgotten. The element itself may live
  // on for a while (the GUI environment can still hold it); detached, it
  // ignores events and draws nothing of its own.
  void detach();

  EmpireSetup* record() const { return record_; }
  EmpireRowScreen* screen() const { return screen_; }
  // The colour swatch in screen coordinates.
  irr::core::recti swatchRect() const;

  irr::gui::IGUIEditBox* nameBox() const { return nameBox_; }
  irr::gui::IGUISpinBox* teamBox() const { return teamBox_; }
  irr::gui::IGUIButton* removeButton() const { return removeButton_; }
  irr::gui::IGUIButton* customizeButton() const { return customizeButton_; }
  irr::gui::IGUIComboBox* difficultyBox() const { return difficultyBox_; }
  irr::gui::IGUIComboBox* personalityBox() const { return personalityBox_; }
  irr::gui::IGUICheckBox* cheatsBox() const { return cheatsBox_; }

  // The name and colour the record had when the row was made (the screen
  // compares them to tell an automatic choice from the player's).
  irr::core::stringw chosenName;
  uint32_t chosenColor = 0;

 private:
  void showAiControls();
  // Message 141 with `kind` and what `write` appends, on a client's screen.
  template <class Write>
  void sendChange(uint8_t kind, Write write);
  bool handleFocus(const irr::SEvent& event);

  EmpireSetup* record_;
  EmpireRowScreen* screen_;
  bool editable_ = true;
  bool removable_ = true;

  irr::gui::IGUIEditBox* nameBox_ = nullptr;
  irr::gui::IGUISpinBox* teamBox_ = nullptr;
  irr::gui::IGUIButton* removeButton_ = nullptr;
  irr::gui::IGUIButton* customizeButton_ = nullptr;
  irr::gui::IGUIComboBox* difficultyBox_ = nullptr;
  irr::gui::IGUIComboBox* personalityBox_ = nullptr;
  irr::gui::IGUICheckBox* cheatsBox_ = nullptr;
};

// A random empire name that no row has, drawn at most 20 times; after 20
// names in use the last one drawn.
irr::core::stringw pickUnusedEmpireName(const EmpireRowScreen& screen);
// The same for colours.
uint32_t pickUnusedEmpireColor(const EmpireRowScreen& screen);

// Gives the new empire the record's name, race texts, colour, player flag,
// ship set (when chosen), the settings "Personality", "Difficulty",
// "Cheats" (1 or 0) and "Team", and the traits of the record that the
// trait registry knows; the local player's record makes it the player
// empire.
void applyEmpireSetup(const EmpireSetup& record, empire& emp);

// Makes the picker the row's: owner, nothing picked, placed below the
// row's swatch (screen coordinates) at its own size, out of its parent.
void attachColorPicker(EmpireColorPicker& picker, EmpireEntry& row);
// Sizes the picker for a square grid of its colours, 34 x 30 pixels each
// with a 4-pixel margin, keeping its top-left corner.
void sizeColorPicker(EmpireColorPicker& picker);
