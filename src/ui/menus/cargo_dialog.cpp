#include "ui/menus/cargo_dialog.h"

#include <irrlicht.h>

#include <cmath>
#include <vector>

#include "app/base/engine.h"
#include "design/effects/resources.h"
#include "gfx/graphics_object.h"
#include "gui/base/gui_callbacks.h"
#include "scriptapi/order_selection.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_guards.h"
#include "universe/orders/cargo_orders.h"

using irr::core::stringw;

namespace {

struct CargoDialog {
  graphicsObject* acting = nullptr;  // counted
  graphicsObject* target = nullptr;  // counted
  // Not counted: the GUI owns them. Looked for in the GUI before use once
  // something else may have removed the window.
  irr::gui::IGUIWindow* window = nullptr;
  irr::gui::IGUIComboBox* resources = nullptr;
  irr::gui::IGUIEditBox* amount = nullptr;
  irr::gui::IGUICheckBox* takeFrom = nullptr;
};
CargoDialog dialog;

void releaseReference(graphicsObject*& held) {
  graphicsObject* object = held;
  held = nullptr;
  if (object != nullptr)
    object->drop();
}

void releaseReferences() {
  releaseReference(dialog.target);
  releaseReference(dialog.acting);
}

void forgetWindow() {
  dialog.window = nullptr;
  dialog.resources = nullptr;
  dialog.amount = nullptr;
  dialog.takeFrom = nullptr;
}

// Whether `element` is still in the GUI, found without touching it.
bool inGui(const irr::gui::IGUIElement* from, const irr::gui::IGUIElement* element) {
  for (irr::gui::IGUIElement* child : from->getChildren())
    if (child == element || inGui(child, element))
      return true;
  return false;
}

void removeWindow() {
  irr::gui::IGUIWindow* window = dialog.window;
  forgetWindow();
  if (window != nullptr && engine.gui != nullptr && inGui(engine.gui->getRootGUIElement(), window))
    window->remove();
}

graphicsObject* heldGraphicsOf(generic_object* object) {
  graphicsObject* graphics = object != nullptr ? object->graphics : nullptr;
  if (graphics != nullptr)
    graphics->grab();
  return graphics;
}

// Adds the names of the object's cargo-capable states that are not listed.
void listCargo(generic_object* object, std::vector<stringw>& names) {
  if (object == nullptr)
    return;
  const ObjectLock lock(object);
  for (irr::u32 i = 0; i < object->states.size(); ++i) {
    const State* state = object->states[i];
    if (state == nullptr || state->value.resource == nullptr || !state->value.resource->canBeCargo)
      continue;
    const stringw& name = state->entryName();
    bool listed = false;
    for (const stringw& known : names)
      listed = listed || known == name;
    if (!listed)
      names.push_back(name);
  }
}

// A plain decimal number at the start of `text`: an optional sign, digits
// and one point; reading stops at the first other character. 0 when there
// is none.
double leadingNumber(const stringw& text) {
  irr::u32 at = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == L'-' || text[at] == L'+'))
    negative = text[at++] == L'-';
  double value = 0.0;
  double scale = 0.0;
  for (; at < text.size(); ++at) {
    const wchar_t c = text[at];
    if (c >= L'0' && c <= L'9') {
      if (scale == 0.0) {
        value = value * 10.0 + (c - L'0');
      } else {
        value += (c - L'0') * scale;
        scale *= 0.1;
      }
    } else if (c == L'.' && scale == 0.0) {
      scale = 0.1;
    } else {
      break;
    }
  }
  return negative ? -value : value;
}

void transfer() {
  if (dialog.acting == nullptr || dialog.target == nullptr || dialog.resources == nullptr || dialog.amount == nullptr)
    return;
  const irr::s32 selected = dialog.resources->getSelected();
  if (selected < 0)
    return;
  const stringw resource = dialog.resources->getItem(static_cast<irr::u32>(selected));
  if (resource.empty())
    return;
  const TransferAmount amount = parseTransferAmount(dialog.amount->getText());
  if (!(amount.amount > 0.0f))
    return;
  generic_object* target = dialog.target->getOwner();
  if (target == nullptr || !target->isValid())
    return;
  uint8_t mode = amount.fraction ? TM_Percent : TM_Amount;
  if (dialog.takeFrom != nullptr && dialog.takeFrom->isChecked())
    mode |= TM_From;
  giveOrderToSelection(new transfer_order(mode, amount.amount, 0.0f, target, resource, true));
}

}  // namespace

TransferAmount parseTransferAmount(const stringw& text) {
  stringw lower = text;
  lower.make_lower();
  lower.trim();
  TransferAmount result;
  if (lower == L"all") {
    result.amount = 1.0f;
    result.fraction = true;
    return result;
  }
  if (!lower.empty() && lower[lower.size() - 1] == L'%') {
    result.fraction = true;
    const double share = leadingNumber(lower.subString(0, lower.size() - 1)) * 0.01;
    result.amount = static_cast<float>(share > 1.0 ? 1.0 : share);
    return result;
  }
  const double value = leadingNumber(lower);
  result.amount = std::isfinite(static_cast<float>(value)) ? static_cast<float>(value) : 0.0f;
  return result;
}

void openCargoTransferDialog(generic_object* acting, generic_object* target) {
  graphicsObject* heldActing = heldGraphicsOf(acting);
  graphicsObject* heldTarget = heldGraphicsOf(target);
  releaseReferences();
  dialog.acting = heldActing;
  dialog.target = heldTarget;
  forgetWindow();
  if (engine.gui == nullptr)
    return;

  irr::core::position2di at(0, 0);
  if (engine.cursor != nullptr)
    at = engine.cursor->getPosition();
  irr::gui::IGUIEnvironment& gui = *engine.gui;
  irr::gui::IGUIWindow* window = gui.addWindow(irr::core::recti(at.X - 100, at.Y - 100, at.X + 100, at.Y + 100),
                                               true, L"Transfer cargo...", nullptr, kCargoDialogWindowId);
  dialog.window = window;
  dialog.resources = gui.addComboBox(irr::core::recti(4, 24, 196, 48), window, -1);
  std::vector<stringw> names;
  listCargo(acting, names);
  listCargo(target, names);
  for (const stringw& name : names)
    dialog.resources->addItem(name.c_str());
  if (!names.empty())
    dialog.resources->setSelected(0);
  dialog.amount = gui.addEditBox(L"All", irr::core::recti(4, 50, 196, 74), true, window, -1);
  dialog.takeFrom = gui.addCheckBox(false, irr::core::recti(4, 76, 196, 100), window, -1, L"Take From");
  gui.addButton(irr::core::recti(4, 170, 98, 196), window, kCargoDialogTransferId, L"Transfer");
  gui.addButton(irr::core::recti(102, 170, 196, 196), window, kCargoDialogWindowId, L"Cancel");
}

bool onTransferDialogEvent(const irr::SEvent& event) {
  if (event.EventType != irr::EET_GUI_EVENT)
    return false;
  irr::gui::IGUIElement* caller = event.GUIEvent.Caller;
  switch (event.GUIEvent.EventType) {
    case irr::gui::EGET_ELEMENT_CLOSED:
      if (caller == nullptr || caller != dialog.window)
        return false;
      // The engine removes the window once this returns.
      releaseReferences();
      forgetWindow();
      return false;
    case irr::gui::EGET_BUTTON_CLICKED:
      if (caller == nullptr || caller == dialog.window || dialog.window == nullptr ||
          caller->getParent() != dialog.window)
        return false;
      if (caller->getID() == kCargoDialogTransferId)
        transfer();
      releaseReferences();
      removeWindow();
      return false;
    default:
      return false;
  }
}

void bindCargoDialogCallbacks() {
  bindGuiCallbackFunction(onTransferDialogEvent, kCargoDialogWindowId);
  bindGuiCallbackFunction(onTransferDialogEvent, kCargoDialogTransferId);
}

void releaseCargoDialog() {
  releaseReferences();
  removeWindow();
}

graphicsObject* cargoDialogActing() { return dialog.acting; }
graphicsObject* cargoDialogTarget() { return dialog.target; }
irr::gui::IGUIElement* cargoDialogWindow() { return dialog.window; }
