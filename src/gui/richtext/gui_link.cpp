#include "gui/richtext/gui_link.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "gfx/game_camera.h"
#include "gfx/graphics_object.h"
#include "gui/script/gui_modules.h"
#include "ui/selection.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"

namespace irr {
namespace gui {

namespace {

s32 addClamped(s32 a, s32 b) {
  return static_cast<s32>(std::min<int64_t>(INT32_MAX, std::max<int64_t>(INT32_MIN, static_cast<int64_t>(a) + b)));
}

}  // namespace

CGUILink::CGUILink(s32 kind, u32 number, IGUIEnvironment* environment, IGUIElement* parent,
                   const core::stringw* first, const core::stringw* second, s32 x, s32 y)
    : IGUIElement(EGUIET_ELEMENT, environment, parent, -1, core::rect<s32>(x, y, x, y)),
      kind_(kind),
      number_(number),
      hasFirst_(first != nullptr),
      hasSecond_(second != nullptr) {
  if (first != nullptr)
    first_ = *first;
  if (second != nullptr)
    second_ = *second;
}

void CGUILink::setLinkHeight(s32 height) {
  DesiredRect.LowerRightCorner.Y = addClamped(DesiredRect.UpperLeftCorner.Y, std::max<s32>(height, 0));
  updateAbsolutePosition();
}

void CGUILink::widen(s32 width) {
  DesiredRect.LowerRightCorner.X = addClamped(DesiredRect.LowerRightCorner.X, std::max<s32>(width, 0));
  updateAbsolutePosition();
}

void CGUILink::click() {
  if (kind_ == 1) {
    generic_object* object = getObjectByUIDRef(number_);
    if (object == nullptr)
      return;
    graphicsObject* graphics = object->graphics;
    if (graphics == nullptr || !graphics->selected.load())
      setSelection(graphics);
    else
      gameCamera.setFocus(graphics, true);
    if (Environment != nullptr)
      Environment->setFocus(nullptr);
    object->drop();
  } else if (kind_ == 5 && !first_.empty()) {
    runLinkHook(first_, hasSecond_ && !second_.empty() ? &second_ : nullptr);
  }
}

bool CGUILink::OnEvent(const SEvent& event) {
  if (event.EventType == EET_MOUSE_INPUT_EVENT) {
    if (event.MouseInput.Event == EMIE_LMOUSE_PRESSED_DOWN) {
      pressed_ = true;
      return true;
    }
    if (event.MouseInput.Event == EMIE_LMOUSE_LEFT_UP && pressed_) {
      pressed_ = false;
      grab();  // a hook may remove the text that holds this link
      if (isPointInside(core::position2d<s32>(event.MouseInput.X, event.MouseInput.Y)))
        click();
      if (Environment != nullptr && Environment->hasFocus(this))
        Environment->removeFocus(this);
      drop();
      return true;
    }
  }
  return Parent != nullptr ? Parent->OnEvent(event) : false;
}

}  // namespace gui
}  // namespace irr
