#include "ui/view_input.h"

#include <irrlicht.h>

#include <cmath>
#include <cstdlib>
#include <utility>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "app/base/event_handler.h"
#include "gfx/game_camera.h"
#include "gfx/graphics_object.h"
#include "ui/actionmenu/action_list.h"
#include "ui/box_select.h"
#include "ui/move_to_point.h"
#include "ui/object_picking.h"
#include "ui/selection.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/held_pointer.h"

ViewInputState viewInputState;
ViewCursor viewCursor;

namespace {

using irr::core::position2di;
using irr::core::vector3df;

// A second click on the single selected object within this is a double
// click.
constexpr uint32_t kDoubleClickMs = 700;
// A left drag must move more than this on both axes to draw a box.
constexpr int64_t kBoxThreshold = 2;
// Edge scrolling: the band along each screen edge, in pixels.
constexpr int32_t kEdgeBand = 2;
// Both buttons with Control pan by these speeds (Shift, Alt, plain) times
// the camera's drag scale; without Control they zoom by these notches per
// pixel.
constexpr float kBothPanFast = 5.0f;
constexpr float kBothPanSlow = 0.05f;
constexpr float kBothPanPlain = 0.5f;
constexpr float kBothZoomFast = 1.0f;
constexpr float kBothZoomSlow = 0.01f;
constexpr float kBothZoomPlain = 0.1f;
// A right drag with Shift zooms by this per pixel.
constexpr float kRightZoom = 0.1f;
// Middle drags pan by the drag scale times these (Shift, Alt, plain) times
// kMiddlePanUnit.
constexpr float kMiddlePanFast = 10.0f;
constexpr float kMiddlePanSlow = 0.1f;
constexpr float kMiddlePanUnit = 0.1f;
// The rotation's roll share starts at 0.9 of the way from the screen's
// centre to its edge.
constexpr float kRollBend = 0.9f;
constexpr float kRollDivisor = 1.1f;
constexpr float kFlatOffsetSq = 1e-6f;
// A zoom-in within this many radii of the hovered object focuses it; a zoom
// toward it stops at kZoomNearestRadii radii.
constexpr float kFocusReachRadii = 8.0f;
constexpr float kZoomNearestRadii = 2.0f;

ViewInputState& state = viewInputState;

uint32_t realTimeMs() { return engine.timer != nullptr ? engine.timer->getRealTime() : 0; }

void showCursor(bool visible) {
  viewCursor.visible = visible;
  if (engine.cursor != nullptr)
    engine.cursor->setVisible(visible);
}

void placeCursor(const position2di& at) {
  viewCursor.position = at;
  if (engine.cursor != nullptr && engine.cursor->getPosition() != at)
    engine.cursor->setPosition(at);
}

irr::core::dimension2du screenSize() {
  return engine.driver != nullptr ? engine.driver->getScreenSize() : irr::core::dimension2du(0, 0);
}

// A press over a GUI element other than the root belongs to the GUI.
bool cursorOverGui() {
  if (engine.gui == nullptr)
    return false;
  irr::gui::IGUIElement* root = engine.gui->getRootGUIElement();
  if (root == nullptr)
    return false;
  const irr::gui::IGUIElement* under = root->getElementFromPoint(viewCursor.position);
  return under != nullptr && under != root;
}

// Past the double-click window (none open counts as past), compared across
// the timer's wrap.
bool clickWindowPassed(uint32_t now) {
  return state.clickDeadline == 0 || static_cast<int32_t>(now - state.clickDeadline) > 0;
}

void openClickWindow(uint32_t now) {
  state.clickDeadline = now + kDoubleClickMs;
  if (state.clickDeadline == 0)  // 0 means no window
    state.clickDeadline = 1;
}

heldPointer<graphicsObject> firstSelected() {
  const SelectionGuard guard;
  return heldPointer<graphicsObject>(selectedObjectAt(0));
}

graphicsObject* pickUnderCursor() {
  irr::core::line3df ray;
  return cursorRay(ray) ? pickObjectOnRay(ray) : nullptr;
}

// --- Presses ----------------------------------------------------------------------

void onLeftButtonDown(const position2di& p) {
  if (cursorOverGui())
    return;
  state.leftDown = true;
  if (!state.dragged)
    state.pressPoint = state.lastPoint = p;
  if (state.rightDown)
    state.bothButtons = true;
}

void onRightButtonDown(const position2di& p) {
  if (cursorOverGui())
    return;
  state.rightDown = true;
  if (!state.dragged)
    state.pressPoint = state.lastPoint = p;
  if (state.leftDown)
    state.bothButtons = true;
  // A second right press while a move order waits, or one with Control,
  // holds the order for a height drag.
  if (moveTargetState.moveFireTime != 0 || controlKeyDown) {
    startMoveHeightDrag();
    state.heightAdjust = true;
  }
}

void onMiddleButtonDown(const position2di& p) {
  if (cursorOverGui())
    return;
  state.middleDown = true;
  if (!state.dragged)
    state.pressPoint = state.lastPoint = p;
}

// --- Releases ---------------------------------------------------------------------

void endLeftDrag() {
  showCursor(true);
  if (!state.rightDown) {
    state.dragged = false;
    if (!state.paintSelecting) {
      const position2di a = state.pressPoint;
      const position2di c = viewCursor.position;
      const int64_t wide = std::llabs(static_cast<int64_t>(a.X) - c.X);
      const int64_t high = std::llabs(static_cast<int64_t>(a.Y) - c.Y);
      if (wide > kBoxThreshold && high > kBoxThreshold) {
        // The corners go to the box with x2 - x1 and y2 - y1 of one sign.
        int32_t y1 = a.Y;
        int32_t y2 = c.Y;
        if ((a.Y > c.Y && a.X < c.X) || (c.X < a.X && c.Y > a.Y))
          std::swap(y1, y2);
        boxSelect(a.X, y1, c.X, y2);
      }
    }
    state.paintSelecting = false;
  }
  state.bothButtons = false;
}

void leftClick() {
  const heldPointer<graphicsObject> hovered(getHoveredObject());
  graphicsObject* h = hovered.get();
  const uint32_t now = realTimeMs();
  if (h == nullptr) {
    if (getSelectedObjectCount() != 0)
      setSelection(nullptr);
    else
      gameCamera.clearFocus();
    return;
  }
  if (h == getSingleSelectedObject()) {
    if (controlKeyDown) {
      state.clickDeadline = 0;
      removeFromSelection(h);
    } else if (clickWindowPassed(now)) {
      openClickWindow(now);
    } else if (!callViewScript(VS_OnDoubleClick, h)) {
      // A double click; the window stays as it was, so a third click
      // within it is another.
      gameCamera.setFocus(h, true);
    }
    return;
  }
  openClickWindow(now);
  if (callViewScript(VS_OnClick, h))
    return;
  if (shiftKeyDown)
    addToSelection(h);
  else if (controlKeyDown)
    h->selected ? removeFromSelection(h) : addToSelection(h);
  else
    setSelection(h);
}

void onLeftButtonUp() {
  state.leftDown = false;
  if (state.dragged)
    endLeftDrag();
  else
    leftClick();
}

void onRightButtonUp() {
  setHoveredObject(nullptr);
  callMouseOverContext(nullptr, position2di(0, 0));
  if (state.heightAdjust && state.dragged) {
    // The end of a height drag: the order fires on the next frame.
    state.heightAdjust = false;
    state.rightDown = false;
    endMoveHeightDrag();
    showCursor(true);
    if (!state.leftDown)
      state.dragged = false;
    state.bothButtons = false;
    return;
  }
  if (!state.rightDown)
    return;
  const heldPointer<graphicsObject> selected = firstSelected();
  state.rightDown = false;
  state.heightAdjust = false;
  if (state.dragged) {
    // The end of a camera drag.
    showCursor(true);
    if (!state.leftDown)
      state.dragged = false;
    state.bothButtons = false;
    return;
  }
  heldPointer<graphicsObject> target(pickUnderCursor());
  if (target.get() == nullptr)
    target = getHoveredObject();
  if (target.get() == nullptr) {
    startMoveToPoint();
    return;
  }
  generic_object* clicked = target->getOwner();
  generic_object* acting = selected.get() != nullptr ? selected->getOwner() : clicked;
  showContextActionMenu(acting, clicked);
}

void onMiddleButtonUp() {
  state.middleDown = false;
  if (state.dragged) {
    state.dragged = false;
    showCursor(true);
    return;
  }
  if (cursorOverGui())
    return;
  if (graphicsObject* picked = pickUnderCursor())
    gameCamera.setFocus(picked, false);
  gameCamera.resetView(false);
}

// --- Moves ------------------------------------------------------------------------

void dragBothButtons(float dx, float dy) {
  if (controlKeyDown) {
    if (dx == 0.0f && dy == 0.0f)
      return;
    const float speed = shiftKeyDown ? kBothPanFast : (altKeyDown ? kBothPanSlow : kBothPanPlain);
    const float f = speed * gameCamera.dragScale();
    state.dragged = true;
    showCursor(false);
    gameCamera.moveInViewPlane(dx * f, dy * f);
    return;
  }
  const float factor = shiftKeyDown ? kBothZoomFast : (altKeyDown ? kBothZoomSlow : kBothZoomPlain);
  if (dy != 0.0f) {
    state.dragged = true;
    showCursor(false);
    gameCamera.zoom(dy * factor);
  }
}

// The right drag turns the camera; near the screen's edge (free-form only)
// the turn becomes a roll about the view.
void rotateCamera(const position2di& p, float dx, float dy) {
  const irr::core::dimension2du size = screenSize();
  const float halfW = static_cast<float>(size.Width) / 2.0f;
  const float halfH = static_cast<float>(size.Height) / 2.0f;
  const float offX = static_cast<float>(p.X) - halfW;
  const float offY = static_cast<float>(p.Y) - halfH;
  const float nx = halfW > 0.0f ? offX / halfW : 0.0f;
  const float ny = halfH > 0.0f ? offY / halfH : 0.0f;
  const float r = std::fmin(1.0f, std::sqrt(nx * nx + ny * ny));
  float t = r <= kRollBend ? r - r / kRollDivisor : (1.0f - r) / kRollDivisor + r;
  if (!gameCamera.freeform)
    t = 0.0f;
  const float k = 1.0f - t;
  if (dy != 0.0f)
    gameCamera.pitchStep(dy * k);
  if (dx != 0.0f)
    gameCamera.yawStep(dx * k);
  vector3df offset(offX, offY, 0.0f);
  if (offset.getLengthSQ() > kFlatOffsetSq)
    offset.normalize();
  gameCamera.rollStep(t * (dy * offset.X - dx * offset.Y));
}

void onMouseMoved(const position2di& p) {
  // The cursor put back at the press point, or no move at all.
  if (p == state.pressPoint || p == state.lastPoint)
    return;
  const float dx = static_cast<float>(static_cast<int64_t>(p.X) - state.lastPoint.X);
  const float dy = static_cast<float>(static_cast<int64_t>(p.Y) - state.lastPoint.Y);
  if (state.leftDown || state.rightDown || state.bothButtons)
    callMouseOverContext(nullptr, position2di(0, 0));
  if (state.bothButtons) {
    dragBothButtons(dx, dy);
  } else if (state.heightAdjust) {
    showCursor(false);
    state.dragged = true;
    dragMoveHeight(static_cast<int32_t>(dy));
  } else if (state.rightDown) {
    state.dragged = true;
    if (!altKeyDown || !gameCamera.freeform) {
      if (shiftKeyDown) {
        gameCamera.zoom(dy * kRightZoom);
        showCursor(false);
        state.lastPoint = p;
        return;
      }
      rotateCamera(p, dx, dy);
    } else {
      gameCamera.rollStep(dx);
    }
    showCursor(false);
  } else if (state.middleDown && (dx != 0.0f || dy != 0.0f)) {
    state.dragged = true;
    const float factor = shiftKeyDown ? kMiddlePanFast : (altKeyDown ? kMiddlePanSlow : 1.0f);
    const float f = gameCamera.dragScale() * factor * kMiddlePanUnit;
    if (controlKeyDown)
      gameCamera.moveForward(dy * f);
    else
      gameCamera.moveInViewPlane(dx * f, dy * f);
    showCursor(false);
  } else if (state.leftDown && galaxy != nullptr) {
    state.dragged = true;
    if (altKeyDown) {
      state.paintSelecting = true;
      if (graphicsObject* under = pickObjectUnderCursor())
        addToSelection(under);
    }
  }
  state.lastPoint = p;
}

// --- The wheel --------------------------------------------------------------------

void onMouseWheel(float w) {
  if ((w <= 0.0f && bCentralZoomOut) || !viewCursor.visible) {
    gameCamera.zoom(w);
    return;
  }
  const heldPointer<graphicsObject> hovered(getHoveredObject());
  graphicsObject* h = hovered.get();
  if (h == nullptr) {
    irr::core::line3df ray;
    if (cursorRay(ray))
      gameCamera.zoomAlongRay(w, ray);
    return;
  }
  if (h != gameCamera.focus) {
    const vector3df at = h->getAbsolutePosition();
    const float reach = kFocusReachRadii * h->radius;
    if (w >= 0.0f && gameCamera.lastPosition.getDistanceFromSQ(at) <= reach * reach)
      gameCamera.setFocus(h, true);
    else
      gameCamera.zoomTowardPoint(w, kZoomNearestRadii * h->radius, at);
    return;
  }
  gameCamera.zoom(w);
  if (w <= 0.0f)
    setHoveredObject(nullptr);
}

// One axis of edge scrolling: -1 at the low edge, +1 at the high edge, 0 on
// the first step after the cursor left the band it was in.
void edgeAxis(int32_t at, int32_t before, int32_t size, float& speed) {
  if (at < kEdgeBand)
    speed = -1.0f;
  else if (before < kEdgeBand)
    speed = 0.0f;
  else if (size - kEdgeBand < at && at < size)
    speed = 1.0f;
  else if (size - kEdgeBand < before && before < size)
    speed = 0.0f;
}

}  // namespace

void noteViewCursor(const irr::SEvent& event) {
  if (event.EventType != irr::EET_MOUSE_INPUT_EVENT)
    return;
  viewCursor.known = true;
  placeCursor(position2di(event.MouseInput.X, event.MouseInput.Y));
}

bool onViewMouseEvent(const irr::SEvent& event) {
  if (galaxy == nullptr || event.EventType != irr::EET_MOUSE_INPUT_EVENT)
    return false;
  const position2di p(event.MouseInput.X, event.MouseInput.Y);
  switch (event.MouseInput.Event) {
    case irr::EMIE_LMOUSE_PRESSED_DOWN:
      onLeftButtonDown(p);
      return true;
    case irr::EMIE_RMOUSE_PRESSED_DOWN:
      onRightButtonDown(p);
      return true;
    case irr::EMIE_MMOUSE_PRESSED_DOWN:
      onMiddleButtonDown(p);
      return true;
    case irr::EMIE_LMOUSE_LEFT_UP:
      if (state.leftDown)
        onLeftButtonUp();
      return true;
    case irr::EMIE_RMOUSE_LEFT_UP:
      onRightButtonUp();
      return true;
    case irr::EMIE_MMOUSE_LEFT_UP:
      onMiddleButtonUp();
      return true;
    case irr::EMIE_MOUSE_MOVED:
      onMouseMoved(p);
      return true;
    case irr::EMIE_MOUSE_WHEEL:
      onMouseWheel(event.MouseInput.Wheel);
      return true;
    default:
      return false;
  }
}

void updateViewInput() {
  // 1. Edge scrolling, once a mouse event has told where the cursor is (a
  // headless server's cursor would otherwise sit in the corner for good).
  if (galaxy != nullptr && bEdgeScroll && !state.dragged && viewCursor.known) {
    const irr::core::dimension2du size = screenSize();
    const position2di at = viewCursor.position;
    edgeAxis(at.X, state.lastEdgeCursor.X, static_cast<int32_t>(size.Width), gameCamera.worldMoveInput.X);
    edgeAxis(at.Y, state.lastEdgeCursor.Y, static_cast<int32_t>(size.Height), gameCamera.worldMoveInput.Z);
    state.lastEdgeCursor = at;
  }
  // 2. Camera drags hold the hidden cursor where the press was; a pure left
  // drag draws a box and leaves it free.
  if (state.dragged && !(state.leftDown && !state.rightDown)) {
    if (viewCursor.position != state.pressPoint)
      placeCursor(state.pressPoint);
    state.lastPoint = state.pressPoint;
  }
  // 3.
  updatePendingMoveOrder(state.heightAdjust);
}
