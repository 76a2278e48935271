// The rich-text element: a static, multi-line text whose characters carry
// inline tags ("#c:f00#" starts a colour, "#c#" ends it, "#tab:100#" moves
// to a position, "##" stands for one "#").
//
// This element keeps its text for the windows that show rich text; laying
// the tags out into coloured runs, wrapping and drawing them are not done
// yet, so it draws only its children.
#pragma once

#include <IGUIElement.h>
#include <IGUIEnvironment.h>

namespace irr {
namespace gui {

class CGUIExtendedText : public IGUIElement {
 public:
  CGUIExtendedText(IGUIEnvironment* environment, IGUIElement* parent, s32 id, const core::rect<s32>& rectangle);
};

}  // namespace gui
}  // namespace irr

// A new rich-text element under `parent` (the GUI's root when null). The
// parent holds the only reference, as with the engine's own factories.
irr::gui::CGUIExtendedText* addExtendedText(irr::gui::IGUIEnvironment* environment,
                                            const irr::core::rect<irr::s32>& rectangle, irr::gui::IGUIElement* parent,
                                            irr::s32 id);
