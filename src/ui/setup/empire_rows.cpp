#include "ui/setup/empire_rows.h"

#include <irrlicht.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "app/base/engine.h"
#include "core/locale.h"
#include "core/net_encoders.h"
#include "core/threads.h"
#include "empire/empire.h"
#include "empire/empire_names.h"
#include "empire/traits.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "ui/setup/settings_widgets.h"

using irr::core::position2di;
using irr::core::recti;
using irr::core::stringw;
using irr::gui::IGUIElement;

EmpireRowLook empireRowLook;

// -- EmpireSetup -------------------------------------------------------------

EmpireSetup::EmpireSetup() : raceDescription(empireRowLook.raceDescription), raceHistory(empireRowLook.raceHistory) {}

EmpireSetup::~EmpireSetup() = default;

NetPlayer* EmpireSetup::ownNetworkPlayer() {
  if (ownedPlayer_ == nullptr)
    ownedPlayer_ = std::make_unique<NetPlayer>();
  networkPlayer = ownedPlayer_.get();
  return networkPlayer;
}

// -- EmpireColorPicker -------------------------------------------------------

EmpireColorPicker::EmpireColorPicker(irr::gui::IGUIEnvironment* environment, IGUIElement* parent, irr::s32 id,
                                     const recti& rectangle)
    : IGUIElement(irr::gui::EGUIET_ELEMENT, environment, parent, id, rectangle) {}

void attachColorPicker(EmpireColorPicker& picker, EmpireEntry& row) {
  picker.owner = &row;
  picker.pickedIndex = -1;
  const recti& rowArea = row.getAbsolutePosition();
  const position2di corner(rowArea.UpperLeftCorner.X, rowArea.UpperLeftCorner.Y + 26);
  const recti& own = picker.getRelativePosition();
  picker.setRelativePosition(recti(corner, own.getSize()));
  // The screen holds its own reference: taking the picker out of its parent
  // does not free it.
  if (IGUIElement* parent = picker.getParent()) {
    picker.grab();
    parent->removeChild(&picker);
    picker.drop();
  }
}

void sizeColorPicker(EmpireColorPicker& picker) {
  // The side of the smallest square grid that holds every colour.
  size_t side = 0;
  while (side * side < picker.colors.size())
    ++side;
  const recti& own = picker.getRelativePosition();
  const irr::s32 width = static_cast<irr::s32>(side * 34 + 8);
  const irr::s32 height = static_cast<irr::s32>(side * 30 + 8);
  picker.setRelativePosition(recti(own.UpperLeftCorner.X, own.UpperLeftCorner.Y, own.UpperLeftCorner.X + width,
                                   own.UpperLeftCorner.Y + height));
}

// -- EmpireRowScreen ---------------------------------------------------------

void EmpireRowScreen::queueRowRemoval(EmpireSetup* record) {
  if (record != nullptr && std::find(queuedRemovals_.begin(), queuedRemovals_.end(), record) == queuedRemovals_.end())
    queuedRemovals_.push_back(record);
}

void EmpireRowScreen::cancelRowRemoval(const EmpireSetup* record) {
  queuedRemovals_.erase(std::remove(queuedRemovals_.begin(), queuedRemovals_.end(), record), queuedRemovals_.end());
}

void EmpireRowScreen::removeQueuedRows() {
  while (!queuedRemovals_.empty()) {
    EmpireSetup* record = queuedRemovals_.front();
    queuedRemovals_.erase(queuedRemovals_.begin());
    // Only a record that still has its row is removed.
    for (size_t i = 0; i < rowCount(); ++i)
      if (rowRecord(i) == record) {
        removeRow(record);
        break;
      }
  }
}

// -- EmpireEntry -------------------------------------------------------------

namespace {

// Takes a counted reference on a control just made.
template <class Element>
Element* hold(Element* element) {
  if (element != nullptr)
    element->grab();
  return element;
}

template <class Element>
void dropControl(Element*& element) {
  if (element != nullptr)
    element->drop();
  element = nullptr;
}

void show(IGUIElement* element, bool visible) {
  if (element != nullptr)
    element->setVisible(visible);
}

// Whether the keyboard focus is on `element` or inside it.
bool focusWithin(const IGUIElement* element) {
  if (element == nullptr || engine.gui == nullptr)
    return false;
  for (const IGUIElement* at = engine.gui->getFocus(); at != nullptr; at = at->getParent())
    if (at == element)
      return true;
  return false;
}

// The combo box's selected text; empty when nothing is selected.
stringw selectedText(irr::gui::IGUIComboBox* combo) {
  if (combo == nullptr)
    return stringw();
  const irr::s32 selected = combo->getSelected();
  if (selected < 0 || static_cast<irr::u32>(selected) >= combo->getItemCount())
    return stringw();
  return combo->getItem(static_cast<irr::u32>(selected));
}

}  // namespace

EmpireEntry::EmpireEntry(const recti& rectangle, irr::s32 id, IGUIElement* parent, EmpireSetup* record, bool removable,
                         EmpireRowScreen* screen)
    : IGUIElement(irr::gui::EGUIET_ELEMENT, engine.gui, parent, id, rectangle), record_(record), screen_(screen) {
  irr::gui::IGUIEnvironment* gui = engine.gui;
  const irr::s32 width = rectangle.getWidth();
  const irr::s32 h = rectangle.getHeight();
  if (gui != nullptr) {
    nameBox_ = hold(gui->addEditBox(record_->name.c_str(), recti(30, 7, 220, h - 8), true, this, id));
    teamBox_ = hold(gui->addSpinBox(L"", recti(230, 7, 330, h - 8), true, this, id));
    if (teamBox_ != nullptr) {
      teamBox_->setDecimalPlaces(0);
      teamBox_->setRange(static_cast<irr::f32>(kFirstTeam), static_cast<irr::f32>(kLastTeam));
    }
    difficultyBox_ = hold(gui->addComboBox(recti(470, 6, 580, h - 8), this, id));
    if (difficultyBox_ != nullptr)
      for (int level = 0; level <= 5; ++level)
        difficultyBox_->addItem(getLocalizedText(stringw(L"#LW_Diff") + stringw(level)));
    personalityBox_ = hold(gui->addComboBox(recti(590, 6, 695, h - 8), this, id));
    fillPersonalities();
    const stringw customizeCaption = getLocalizedText(L"#LW_Customize");
    customizeButton_ = hold(gui->addButton(recti(592, 7, 691, h - 9), this, id, customizeCaption.c_str(),
                                           getLocalizedText(L"#LWTT_Customize")));
    cheatsBox_ = hold(
        gui->addCheckBox(record_->cheats, recti(705, 10, 800, h - 10), this, id, getLocalizedText(L"#LW_Cheating")));
    const bool kicks = screen_ != nullptr && screen_->hosting && record_->networkPlayer != nullptr;
    const stringw& tooltip = kicks ? empireRowLook.kickTooltip : empireRowLook.removeTooltip;
    removeButton_ = hold(gui->addButton(recti(width - 36, 5, width - 4, h - 5), this, id, L"", tooltip.c_str()));
    if (removeButton_ != nullptr) {
      removeButton_->setDrawBorder(false);
      if (empireRowLook.removeImage != nullptr)
        removeButton_->setImage(empireRowLook.removeImage);
      removeButton_->setUseAlphaChannel(true);
    }
  }
  chosenName = record_->name;
  chosenColor = record_->color;
  setEditable(true);
  setRemovable(removable);
  syncControls();
}

EmpireEntry::~EmpireEntry() {
  // The screen and the record may be gone by now (see detach).
  dropControl(nameBox_);
  dropControl(teamBox_);
  dropControl(removeButton_);
  dropControl(customizeButton_);
  dropControl(difficultyBox_);
  dropControl(personalityBox_);
  dropControl(cheatsBox_);
}

void EmpireEntry::detach() {
  if (screen_ != nullptr) {
    EmpireColorPicker* picker = screen_->colorPicker;
    if (picker != nullptr && picker->owner == this) {
      picker->owner = nullptr;
      picker->setVisible(false);
    }
    screen_->cancelRowRemoval(record_);
  }
  if (engine.gui != nullptr && focusWithin(this))
    engine.gui->setFocus(nullptr);
  record_ = nullptr;
  screen_ = nullptr;
}

void EmpireEntry::setEditable(bool editable) {
  if (record_ == nullptr)
    return;
  editable_ = editable;
  show(nameBox_, editable);
  show(teamBox_, editable);
  showAiControls();
  const bool customizes = editable && !record_->ai && (screen_ == nullptr || !screen_->hosting || record_->local);
  show(customizeButton_, customizes);
}

void EmpireEntry::showAiControls() {
  if (record_ == nullptr)
    return;
  const bool shown = editable_ && record_->ai;
  show(difficultyBox_, shown);
  show(cheatsBox_, shown);
  show(personalityBox_, shown);
}

void EmpireEntry::setRemovable(bool removable) {
  removable_ = removable;
  show(removeButton_, removable);
}

void EmpireEntry::syncControls() {
  if (record_ == nullptr)
    return;
  if (nameBox_ != nullptr && !focusWithin(nameBox_))
    nameBox_->setText(record_->name.c_str());
  if (teamBox_ != nullptr && !focusWithin(teamBox_))
    teamBox_->setValue(static_cast<irr::f32>(record_->team));
  if (record_->ai) {
    if (difficultyBox_ != nullptr && !focusWithin(difficultyBox_))
      difficultyBox_->setSelected(record_->difficulty);
    if (personalityBox_ != nullptr && !focusWithin(personalityBox_))
      personalityBox_->setSelected(record_->personality);
    if (cheatsBox_ != nullptr)
      cheatsBox_->setChecked(record_->cheats);
  }
  showAiControls();
}

void EmpireEntry::fillPersonalities() {
  if (personalityBox_ == nullptr)
    return;
  personalityBox_->clear();
  personalityBox_->addItem(L"");
  if (screen_ != nullptr)
    for (const stringw& name : screen_->personalityNames)
      personalityBox_->addItem(name.c_str());
}

recti EmpireEntry::swatchRect() const {
  return recti(AbsoluteRect.UpperLeftCorner.X + 4, AbsoluteRect.UpperLeftCorner.Y + 4,
               AbsoluteRect.UpperLeftCorner.X + 26, AbsoluteRect.LowerRightCorner.Y - 4);
}

template <class Write>
void EmpireEntry::sendChange(uint8_t kind, Write write) {
  if (screen_ == nullptr || !screen_->client || networkManager == nullptr)
    return;
  RakNet::BitStream own;
  RakNet::BitStream* scratch = threadLocals().scratchStream;
  RakNet::BitStream& stream = scratch != nullptr ? *scratch : own;
  stream.Reset();
  stream.Write(kGameSetupMessage);
  stream.Write(kind);
  write(stream);
  networkManager->send(&stream, 0, RakNet::RELIABLE_ORDERED, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
}

bool EmpireEntry::handleFocus(const irr::SEvent& event) {
  EmpireColorPicker* picker = screen_ != nullptr ? screen_->colorPicker : nullptr;
  const position2di cursor = engine.cursor != nullptr ? engine.cursor->getPosition() : position2di(-1, -1);
  if (!editable_ || !swatchRect().isPointInside(cursor)) {
    if (picker != nullptr && picker->isVisible())
      picker->setVisible(false);
    if (event.GUIEvent.Caller != nullptr)
      bringToFront(event.GUIEvent.Caller);
    if (Parent != nullptr) {
      Parent->bringToFront(this);
      if (Parent->getParent() != nullptr)
        Parent->getParent()->bringToFront(Parent);
    }
    return IGUIElement::OnEvent(event);
  }
  if (picker == nullptr)
    return IGUIElement::OnEvent(event);
  if (picker->isVisible() && picker->owner == this) {
    picker->setVisible(false);
    return true;
  }
  picker->grab();
  attachColorPicker(*picker, *this);
  IGUIElement* layer = screen_->pickerLayer;
  if (layer == nullptr && engine.gui != nullptr)
    layer = engine.gui->getRootGUIElement();
  if (layer != nullptr) {
    layer->addChild(picker);
    picker->move(-layer->getAbsolutePosition().UpperLeftCorner);
  }
  picker->setVisible(true);
  picker->drop();
  return true;
}

bool EmpireEntry::OnEvent(const irr::SEvent& event) {
  if (event.EventType != irr::EET_GUI_EVENT || record_ == nullptr)
    return IGUIElement::OnEvent(event);
  const IGUIElement* caller = event.GUIEvent.Caller;
  switch (event.GUIEvent.EventType) {
    case irr::gui::EGET_ELEMENT_FOCUSED:
      return handleFocus(event);
    case irr::gui::EGET_BUTTON_CLICKED:
      if (caller != nullptr && caller == removeButton_) {
        // The row stays alive until its handling is done, whatever the kick
        // takes away on the way.
        grab();
        if (screen_ != nullptr && screen_->hosting && record_->networkPlayer != nullptr && networkManager != nullptr)
          networkManager->kickPlayer(record_->networkPlayer);
        // Removed once this event has been handled: the row and its button
        // are still on the way back up.
        if (screen_ != nullptr && record_ != nullptr)
          screen_->queueRowRemoval(record_);
        const bool used = IGUIElement::OnEvent(event);
        drop();
        return used;
      }
      if (caller != nullptr && caller == customizeButton_) {
        if (screen_ != nullptr)
          screen_->openTraitPanel(this);
      }
      break;
    case irr::gui::EGET_CHECKBOX_CHANGED:
      if (caller != nullptr && caller == cheatsBox_)
        record_->cheats = cheatsBox_->isChecked();
      break;
    case irr::gui::EGET_EDITBOX_CHANGED:
      if (caller != nullptr && caller == nameBox_) {
        record_->name = nameBox_->getText();
        sendChange(kSetupChangeName,
                   [this](RakNet::BitStream& stream) { writeNetStringW(stream, record_->name, kSetupNameMaxLength); });
      }
      break;
    case irr::gui::EGET_COMBO_BOX_CHANGED:
      if (caller != nullptr && caller == difficultyBox_)
        record_->difficulty = difficultyBox_->getSelected();
      else if (caller != nullptr && caller == personalityBox_)
        record_->personality = personalityBox_->getSelected();
      break;
    case irr::gui::EGET_SPINBOX_CHANGED:
      if (caller != nullptr && caller == teamBox_) {
        record_->team = truncateSettingValue(teamBox_->getValue());
        const uint8_t team = static_cast<uint8_t>(record_->team);
        sendChange(kSetupChangeTeam, [team](RakNet::BitStream& stream) { stream.Write(team); });
      }
      break;
    default:
      break;
  }
  return IGUIElement::OnEvent(event);
}

void EmpireEntry::draw() {
  if (!IsVisible)
    return;
  irr::video::IVideoDriver* driver = engine.driver;
  irr::gui::IGUIFont* font =
      engine.gui != nullptr && engine.gui->getSkin() != nullptr ? engine.gui->getSkin()->getFont() : nullptr;
  const recti* clip = &AbsoluteClippingRect;
  const position2di at = AbsoluteRect.UpperLeftCorner;
  const irr::s32 h = RelativeRect.getHeight();
  const irr::video::SColor white(0xFFFFFFFFu);
  auto place = [&](irr::s32 x1, irr::s32 y1, irr::s32 x2, irr::s32 y2) { return recti(x1, y1, x2, y2) + at; };
  auto text = [&](const stringw& line, const recti& area) {
    if (font != nullptr)
      font->draw(line, area, white, false, false, clip);
  };

  if (driver != nullptr) {
    if (irr::video::ITexture* background = empireRowLook.background)
      driver->draw2DImage(background, AbsoluteRect, recti(position2di(0, 0), background->getOriginalSize()), clip,
                          nullptr, true);
    driver->draw2DRectangle(irr::video::SColor(record_->color), place(4, 4, 26, h - 4), clip);
  }

  const NetPlayer* player = record_->networkPlayer;
  if (player != nullptr)
    text(player->name, place(360, 10, 460, h - 10));
  else
    text(record_->ai ? empireRowLook.aiRowText : empireRowLook.humanRowText, place(360, 10, 460, h - 10));

  if (!editable_) {
    text(record_->name, place(34, 10, 220, h - 10));
    text(stringw(std::to_string(record_->team).c_str()), place(234, 10, 330, h - 10));
    if (record_->ai) {
      text(selectedText(difficultyBox_), place(474, 10, 580, h - 10));
      text(selectedText(personalityBox_), place(594, 10, 700, h - 10));
      if (record_->cheats)
        text(L"Cheats", place(704, 10, 800, h - 10));
    }
  }

  if (player != nullptr && record_->playerValue > 0.0f) {
    char number[64];
    std::snprintf(number, sizeof number, "%.0f", std::floor(static_cast<double>(record_->playerValue) + 0.5));
    text(stringw(number) + empireRowLook.playerValueSuffix, place(704, 10, 800, h - 10));
  }
  if (player != nullptr || record_->local)
    text(record_->raceName, place(474, 10, 800, h - 10));

  IGUIElement::draw();
}

// -- Picks and game start ----------------------------------------------------

namespace {

constexpr int kUnusedPickDraws = 20;

template <class Value, class Draw, class Field>
Value pickUnused(const EmpireRowScreen& screen, Draw draw, Field field) {
  Value value{};
  for (int attempt = 0; attempt < kUnusedPickDraws; ++attempt) {
    value = draw();
    bool used = false;
    for (size_t i = 0; i < screen.rowCount() && !used; ++i) {
      const EmpireSetup* record = screen.rowRecord(i);
      used = record != nullptr && field(*record) == value;
    }
    if (!used)
      break;
  }
  return value;
}

}  // namespace

stringw pickUnusedEmpireName(const EmpireRowScreen& screen) {
  return pickUnused<stringw>(screen, pickRandomEmpireName, [](const EmpireSetup& record) { return record.name; });
}

uint32_t pickUnusedEmpireColor(const EmpireRowScreen& screen) {
  return pickUnused<uint32_t>(screen, pickRandomEmpireColor, [](const EmpireSetup& record) { return record.color; });
}

void applyEmpireSetup(const EmpireSetup& record, empire& emp) {
  emp.name = record.name;
  emp.raceName = record.raceName;
  emp.raceDescription = record.raceDescription;
  emp.raceHistory = record.raceHistory;
  emp.color = record.color;
  emp.playerControlled = !record.ai;
  if (!record.shipSet.empty())
    emp.shipSet = record.shipSet;

  emp.setSetting(L"Personality", static_cast<float>(record.personality));
  emp.setSetting(L"Difficulty", static_cast<float>(record.difficulty));
  emp.setSetting(L"Cheats", record.cheats ? 1.0f : 0.0f);
  emp.setSetting(L"Team", static_cast<float>(record.team));

  {
    empire::AreaGuard guard;
    emp.lockArea(guard, EA_Traits, true);
    for (const auto& entry : record.traits)
      if (ITrait* definition = findTrait(entry.first))
        emp.traits[entry.first] = definition;
  }
  emp.updateTraitVariables();

  if (record.local)
    pendingPlayerEmpire = &emp;
}
