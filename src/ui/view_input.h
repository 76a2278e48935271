// Mouse input of the strategic view: the mouse events that the GUI did not
// use become the player's actions in the galaxy view.
//
//   - A left click selects the hovered object (Shift adds, Control toggles),
//     or clears the selection (the camera's focus when nothing is selected)
//     over empty space. A second click on the single selected object within
//     700 ms is a double click: the "gui" module's onDoubleClick, else the
//     camera focuses the object close up. A "gui" module with onClick takes
//     every other click instead of the built-in selection.
//   - A left drag of more than 2 pixels on both axes selects by box; with
//     Alt it paints the objects that pass under the cursor into the
//     selection instead.
//   - A right click opens the context action menu on the object under the
//     cursor, or over empty space sends the selection to that point; a
//     second right press while that order waits (or a right press with
//     Control) turns it into a height drag.
//   - Right drags turn the camera, middle drags pan it (Control: along the
//     view), both buttons zoom (Control: pan); the wheel zooms toward what
//     the cursor points at. A middle click focuses the object under the
//     cursor and resets the view.
//
// A press over any GUI element other than the root belongs to the GUI and
// changes nothing here. Every handler declines all events while no galaxy
// exists.
//
// The view keeps its own idea of the cursor: the position of the last mouse
// event (the engine's cursor does not follow events handed in from outside)
// and whether camera drags have hidden it. Edge scrolling waits for a first
// mouse event: until one has placed the cursor, nothing is known about where
// it is.
//
// Main thread only.
#pragma once

#include <IEventReceiver.h>
#include <position2d.h>

#include <cstdint>

struct ViewInputState {
  bool leftDown = false;    // pressed over the view, not yet released
  bool rightDown = false;
  bool middleDown = false;
  bool dragged = false;       // moved while a button was held
  bool bothButtons = false;   // left and right held together
  bool paintSelecting = false;  // an Alt left drag adds what passes under it
  bool heightAdjust = false;    // the right button drags a move target's height
  irr::core::position2di pressPoint;  // where the gesture's first button went down
  irr::core::position2di lastPoint;   // the previous move's position
  irr::core::position2di lastEdgeCursor;  // the cursor at the previous edge step
  // Until when (engine real time, ms) a second click on the single selected
  // object is a double click; 0: no window open.
  uint32_t clickDeadline = 0;
};
extern ViewInputState viewInputState;

struct ViewCursor {
  irr::core::position2di position;
  bool known = false;  // some mouse event has placed it
  bool visible = true;
};
extern ViewCursor viewCursor;

// Notes where a mouse event happened as the cursor's position (also handed
// to the engine's cursor). The event receiver calls it for every mouse
// event, before the GUI sees it.
void noteViewCursor(const irr::SEvent& event);

// The handler of the mouse list: false without a galaxy or for an event
// kind it does not handle; true otherwise.
bool onViewMouseEvent(const irr::SEvent& event);

// The frame loop's step: edge scrolling (the camera's world move inputs x
// and z, from a cursor within 2 pixels of a screen edge), the cursor held
// still at the press point during camera drags, and the pending
// move-to-point order.
void updateViewInput();
