#include "gui/extended_text.h"

namespace irr {
namespace gui {

CGUIExtendedText::CGUIExtendedText(IGUIEnvironment* environment, IGUIElement* parent, s32 id,
                                   const core::rect<s32>& rectangle)
    : IGUIElement(EGUIET_ELEMENT, environment, parent, id, rectangle) {}

}  // namespace gui
}  // namespace irr

irr::gui::CGUIExtendedText* addExtendedText(irr::gui::IGUIEnvironment* environment,
                                            const irr::core::rect<irr::s32>& rectangle, irr::gui::IGUIElement* parent,
                                            irr::s32 id) {
  if (environment == nullptr)
    return nullptr;
  if (parent == nullptr)
    parent = environment->getRootGUIElement();
  auto* text = new irr::gui::CGUIExtendedText(environment, parent, id, rectangle);
  text->drop();  // the parent's reference keeps it
  return text;
}
