// Finding the GUI element under a screen point.
#pragma once

#include <IGUIElement.h>

namespace irr {
namespace gui {

// The deepest visible element at `point`, searched from `element` down: the
// children from the last to the first (the front-most, drawn last, comes
// first), each searched the same way; when none of them holds the point,
// `element` itself when it is visible and its isPointInside holds. A hidden
// element hides its whole subtree. Null when nothing matches or for a null
// element.
IGUIElement* findGuiElementRecursive(IGUIElement* element, const core::position2d<s32>& point);

}  // namespace gui
}  // namespace irr
