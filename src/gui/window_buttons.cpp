#include "gui/window_buttons.h"

#include <IGUIButton.h>
#include <IGUIEnvironment.h>
#include <IGUISkin.h>
#include <IGUIWindow.h>
#include <IVideoDriver.h>

#include <map>
#include <vector>

#include "app/base/engine.h"

using irr::core::recti;
using irr::gui::IGUIElement;
using irr::gui::IGUIWindow;

namespace {

// The minimum size, which the engine keeps to itself.
struct MinSizeAccess : IGUIElement {
  static irr::core::dimension2du of(const IGUIElement* element) { return element->*(&MinSizeAccess::MinSize); }
};

struct SavedWindowState {
  irr::core::dimension2du minSize;
  recti area;
};

std::vector<IGUIWindow*> dockedWindows;  // each held
std::map<const IGUIElement*, SavedWindowState> savedStates;

// Takes the window at `index` out of the dock; those after it move one slot
// to the left, keeping their top edge and size.
void undock(std::size_t index) {
  IGUIWindow* window = dockedWindows[index];
  dockedWindows.erase(dockedWindows.begin() + static_cast<std::ptrdiff_t>(index));
  for (std::size_t i = index; i < dockedWindows.size(); ++i) {
    IGUIWindow* other = dockedWindows[i];
    const recti area = other->getRelativePosition();
    other->setRelativePosition(recti(irr::core::position2di(area.UpperLeftCorner.X - kWindowDockSlotWidth,
                                                            area.UpperLeftCorner.Y),
                                     area.getSize()));
  }
  window->drop();
}

// Docked windows that left the GUI tree leave the dock.
void undockRemovedWindows() {
  for (std::size_t i = dockedWindows.size(); i-- > 0;) {
    if (dockedWindows[i]->getParent() != nullptr)
      continue;
    savedStates.erase(dockedWindows[i]);
    undock(i);
  }
}

int screenHeight() {
  if (engine.driver != nullptr)
    return static_cast<int>(engine.driver->getScreenSize().Height);
  if (engine.gui != nullptr)
    return engine.gui->getRootGUIElement()->getAbsolutePosition().getHeight();
  return 0;
}

std::ptrdiff_t dockIndex(const IGUIWindow* window) {
  for (std::size_t i = 0; i < dockedWindows.size(); ++i)
    if (dockedWindows[i] == window)
      return static_cast<std::ptrdiff_t>(i);
  return -1;
}

bool restore(IGUIWindow* window) {
  const std::ptrdiff_t index = dockIndex(window);
  if (index < 0)
    return false;
  const SavedWindowState& state = savedStates[window];
  window->setMinSize(state.minSize);
  window->setRelativePosition(state.area);
  if (irr::gui::IGUIButton* restoreButton = window->getMaximizeButton())
    restoreButton->setVisible(false);
  if (irr::gui::IGUIButton* minimize = window->getMinimizeButton())
    minimize->setVisible(true);
  undock(static_cast<std::size_t>(index));
  return true;
}

bool minimise(IGUIWindow* window) {
  if (dockIndex(window) >= 0)
    return true;  // already docked
  SavedWindowState& state = savedStates[window];
  state.area = window->getRelativePosition();
  state.minSize = MinSizeAccess::of(window);
  window->setMinSize(irr::core::dimension2du(1, 1));
  if (irr::gui::IGUIButton* restoreButton = window->getMaximizeButton())
    restoreButton->setVisible(true);
  window->getMinimizeButton()->setVisible(false);
  irr::gui::IGUISkin* skin = engine.gui != nullptr ? engine.gui->getSkin() : nullptr;
  const int height = (skin != nullptr ? skin->getSize(irr::gui::EGDS_WINDOW_BUTTON_WIDTH) : 0) + 6;
  const int left = kWindowDockSlotWidth * static_cast<int>(dockedWindows.size());
  const int bottom = screenHeight();
  window->setRelativePosition(recti(left, bottom - height, left + kWindowDockSlotWidth - 1, bottom));
  window->grab();
  dockedWindows.push_back(window);
  return true;
}

}  // namespace

bool windowButtonCallback(const irr::SEvent& event) {
  if (event.EventType != irr::EET_GUI_EVENT || event.GUIEvent.EventType != irr::gui::EGET_BUTTON_CLICKED)
    return false;
  IGUIElement* caller = event.GUIEvent.Caller;
  IGUIElement* parent = caller != nullptr ? caller->getParent() : nullptr;
  if (parent == nullptr || parent->getType() != irr::gui::EGUIET_WINDOW)
    return false;
  auto* window = static_cast<IGUIWindow*>(parent);
  undockRemovedWindows();
  if (caller == window->getMaximizeButton())
    return restore(window);
  if (caller == window->getMinimizeButton())
    return minimise(window);
  return false;
}

bool windowCloseCallback(const irr::SEvent& event) {
  if (event.EventType != irr::EET_GUI_EVENT || event.GUIEvent.EventType != irr::gui::EGET_ELEMENT_CLOSED)
    return false;
  IGUIElement* caller = event.GUIEvent.Caller;
  if (caller == nullptr || caller->getType() != irr::gui::EGUIET_WINDOW)
    return false;
  caller->setVisible(false);
  return true;
}

std::size_t dockedWindowCount() { return dockedWindows.size(); }

IGUIWindow* dockedWindow(std::size_t index) { return index < dockedWindows.size() ? dockedWindows[index] : nullptr; }

void forgetSavedWindowState(const IGUIElement* window) { savedStates.erase(window); }

void clearWindowDock() {
  std::vector<IGUIWindow*> windows;
  windows.swap(dockedWindows);
  savedStates.clear();
  for (IGUIWindow* window : windows)
    window->drop();
}
