#include "gui/gui_draggable.h"

#include "gui/gui_element_search.h"

namespace irr {
namespace gui {

GUIDraggable::GUIDraggable(IGUIEnvironment* environment, const core::rect<s32>& rectangle, IGUIElement* parent,
                           s32 id, bool passThrough, bool ownSurfaceOnly)
    : IGUIElement(EGUIET_ELEMENT, environment,
                  parent != nullptr ? parent : environment->getRootGUIElement(), id, rectangle),
      passThrough_(passThrough),
      ownSurfaceOnly_(ownSurfaceOnly) {}

bool GUIDraggable::isPointInside(const core::position2d<s32>& point) const {
  return !passThrough_ && AbsoluteClippingRect.isPointInside(point);
}

bool GUIDraggable::OnEvent(const SEvent& event) {
  if (event.EventType != EET_MOUSE_INPUT_EVENT)
    return passToParent(event);
  const core::position2d<s32> cursor(event.MouseInput.X, event.MouseInput.Y);
  switch (event.MouseInput.Event) {
    case EMIE_LMOUSE_PRESSED_DOWN: {
      if (ownSurfaceOnly_) {
        IGUIElement* under = findGuiElementRecursive(this, cursor);
        if (under == nullptr || (under != this && under->getParent() != this))
          return passToParent(event);
      }
      dragging_ = true;
      lastMouse_ = cursor;
      if (Parent != nullptr)
        Parent->bringToFront(this);
      if (Environment != nullptr)
        Environment->setFocus(this);
      return true;
    }
    case EMIE_LMOUSE_LEFT_UP:
      if (!dragging_)
        break;
      dragging_ = false;
      if (Environment != nullptr && Environment->getFocus() == this)
        Environment->setFocus(nullptr);
      return true;
    case EMIE_MOUSE_MOVED:
      if (!dragging_)
        break;
      move(cursor - lastMouse_);
      lastMouse_ = cursor;
      return true;
    default:
      break;
  }
  return passToParent(event);
}

}  // namespace gui
}  // namespace irr
