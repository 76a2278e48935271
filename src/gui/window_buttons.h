// The title-bar callbacks of windows, and the bottom dock that minimised
// windows sit in.
//
// A minimised window takes the next 150-pixel slot along the bottom edge of
// the screen (slots numbered by docking order), as high as the skin's
// window-button width plus 6; it keeps its title bar and its restore
// (maximise) button, and its minimum size drops to 1 x 1. Restoring it gives
// back the relative rectangle and the minimum size that it had before, and
// the windows docked after it move one slot to the left. The dock holds a
// reference on each window in it; a window that has left the GUI tree while
// docked (removed, or deleted by its last holder) leaves the dock at the
// next click on any dock button, closing its gap, and its saved state goes.
#pragma once

#include <IEventReceiver.h>

#include <cstddef>

namespace irr::gui {
class IGUIElement;
class IGUIWindow;
}  // namespace irr::gui

constexpr int kWindowDockSlotWidth = 150;

// On a click of a window's minimise button (its parent a window):
// minimises the window into the dock; of its maximise button: restores a
// docked window (a window that is not docked stays as it is, unhandled).
// Other events and other buttons stay unhandled.
bool windowButtonCallback(const irr::SEvent& event);
// On GEVT_Closed raised by a window: hides it instead of letting it go.
bool windowCloseCallback(const irr::SEvent& event);

// The docked windows, in docking order.
std::size_t dockedWindowCount();
irr::gui::IGUIWindow* dockedWindow(std::size_t index);
// Forgets the saved state of a window that goes.
void forgetSavedWindowState(const irr::gui::IGUIElement* window);
// Empties the dock (dropping its references) and the saved states: the
// session's GUI goes.
void clearWindowDock();
