#include "ui/repeat_mode.h"

#include <irrlicht.h>

#include "app/base/engine.h"
#include "gfx/graphics_object.h"
#include "scriptapi/order_selection.h"
#include "ui/key_bindings.h"
#include "ui/menus/cargo_dialog.h"
#include "ui/object_picking.h"
#include "ui/selection.h"
#include "universe/objects/game_object.h"
#include "universe/orders/repeat_orders.h"
#include "universe/orders/unit_ai.h"

namespace {

// The label's place: this wide and high from the top right corner, this
// far down.
constexpr irr::s32 kLabelWidth = 115;
constexpr irr::s32 kLabelTop = 58;
constexpr irr::s32 kLabelBottom = 76;
constexpr irr::u32 kLabelColour = 0xFFFF0000;

// The objects selected when the recording began.
HeldSelection recordedSelection;
// The player's selection while a recording is being given.
HeldSelection currentSelection;
// The label (one reference of ours besides the GUI's).
irr::gui::IGUIStaticText* label = nullptr;

void makeLabel() {
  if (label != nullptr || engine.gui == nullptr)
    return;
  const irr::s32 width =
      engine.driver != nullptr ? static_cast<irr::s32>(engine.driver->getScreenSize().Width) : 0;
  const irr::core::recti place(width - kLabelWidth, kLabelTop, width, kLabelBottom);
  label = engine.gui->addStaticText(L"Repeat Mode", place, false, false, engine.gui->getRootGUIElement(), -1, false);
  if (label == nullptr)
    return;
  label->grab();
  label->setOverrideColor(irr::video::SColor(kLabelColour));
  label->setVisible(false);
}

void showLabel(bool visible) {
  if (label != nullptr)
    label->setVisible(visible);
}

}  // namespace

void snapshotSelection(HeldSelection& list) {
  list.clear();
  const SelectionGuard guard;
  for (uint32_t i = 0;; ++i) {
    graphicsObject* object = selectedObjectAt(i);
    if (object == nullptr)
      break;
    list.emplace_back(object);
  }
}

void restoreSelection(const HeldSelection& list) {
  const SelectionGuard guard;
  setSelection(nullptr);
  for (const heldPointer<graphicsObject>& object : list)
    addToSelection(object.get());
}

bool repeatTargetFilter(generic_object* object) {
  if (object == nullptr)
    return false;
  // A fleet's commander carries the fleet itself as its AI, which follows
  // no one; members follow it.
  const auto* unit = dynamic_cast<const UnitAI*>(object->ai);
  return unit == nullptr || unit->fleet == nullptr;
}

bool toggleRepeatMode(uint8_t keyFlags) {
  if ((keyFlags & KF_Pressed) == 0)
    return false;
  makeLabel();
  if (repeat_orders* recording = repeatRecording) {
    snapshotSelection(currentSelection);
    restoreSelection(recordedSelection);
    // No longer recording: the order now goes to the ships.
    repeatRecording = nullptr;
    giveOrderToSelection(recording, repeatTargetFilter);
    restoreSelection(currentSelection);
    currentSelection.clear();
    recordedSelection.clear();
    showLabel(false);
    return true;
  }
  if (getSelectedObjectCount() != 0) {
    repeatRecording = new repeat_orders;
    snapshotSelection(recordedSelection);
    showLabel(true);
  }
  return true;
}

const HeldSelection& repeatRecordedSelection() { return recordedSelection; }

irr::gui::IGUIStaticText* repeatModeLabel() { return label; }

void releaseViewInputObjects() {
  // 1.
  currentSelection.clear();
  recordedSelection.clear();
  // 2. and 4.: the hovered object; the view's script callbacks are looked
  // up again next session.
  releasePickingState();
  releaseCargoDialog();
  // 3. The recording ends without reaching anyone.
  repeat_orders* recording = repeatRecording;
  repeatRecording = nullptr;
  delete recording;
  // 5.
  if (label != nullptr) {
    label->remove();
    label->drop();
    label = nullptr;
  }
}
