#include "gui/gui_element_search.h"

namespace irr {
namespace gui {

IGUIElement* findGuiElementRecursive(IGUIElement* element, const core::position2d<s32>& point) {
  if (element == nullptr || !element->isVisible())
    return nullptr;
  const core::list<IGUIElement*>& children = element->getChildren();
  if (!children.empty()) {
    for (auto it = children.getLast(); it != children.end(); --it)
      if (IGUIElement* found = findGuiElementRecursive(*it, point))
        return found;
  }
  return element->isPointInside(point) ? element : nullptr;
}

}  // namespace gui
}  // namespace irr
