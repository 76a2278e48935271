// Script handles to GUI elements, and what every GUI script type shares.
//
// The engine counts references on each element (its parent holds one). On
// top of that the handle registry counts the script handles per element,
// under guiHandleLock: each counted handle also holds one engine reference.
// When the last script handle goes, the element leaves the GUI tree unless
// it is a sub-element ("void orphan(bool)" with true, or an element that
// another element owns), and its entry goes.
//
// A handle of any GUI script type is the element's IGUIElement pointer
// itself; a cast to a concrete type is a run-time type test that hands the
// same pointer on (natives of a concrete type cast it down again).
//
// Shared methods, registered on every GUI script type in this order:
//    1 "void setToolTip(const string@) const"  null: no tool tip
//    2 "void setSizeBounds(const recti &in)"   upper-left: minimum size (each
//                                               at least 1), lower-right:
//                                               maximum size
//    3 "void bringToFront()"                   within the parent, if any
//    4 "dim2di getSize() const"
//    5 "void setSize(const dim2di &in)"        from the desired rectangle's
//                                               upper-left corner
//    6 "pos2di getPosition() const"
//    7 "void setPosition(const pos2di &in)"    keeps the desired size
//    8 "GuiElement@+ getParent()"
//    9 "void setParent(GuiElement@+)"         null: the GUI root
//   10 "void focus()"
//   11 "bool isAncestor(GuiElement@+)"        itself or one of its parents
//   12 "bool isTrulyVisible()"                it and every parent visible
//   13 "void setAlignment(ElementAlignment, ElementAlignment,
//                         ElementAlignment, ElementAlignment)"
//                                             left, top, right, bottom
//   14..24 getAbsolutePosition, getID, setID, isVisible, setVisible,
//          isEnabled, setEnabled, isNoclipped, setNoclipped, remove, orphan
#pragma once

#include <IGUIElement.h>
#include <IGUIFont.h>
#include <angelscript.h>
#include <irrString.h>

#include <cstdint>
#include <map>

// Handle counting. AddRef: one count and one grab. Release: one count less;
// at zero the element is detached (not a sub-element) and its entry erased;
// then one drop. A release of an element the registry does not count is
// logged at the information level and changes nothing.
void guiHandleAddRef(irr::gui::IGUIElement* element);
void guiHandleRelease(irr::gui::IGUIElement* element);
// For a factory: the element's creation reference becomes the new handle's
// engine reference, so only the count is raised.
void guiHandleAdopt(irr::gui::IGUIElement* element);
// The script-handle count of an element (0 when it has none).
int32_t guiHandleCount(const irr::gui::IGUIElement* element);

// The global font map, filled when the GUI fonts are loaded.
using GuiFontMap = std::map<irr::core::stringw, irr::gui::IGUIFont*>;
extern GuiFontMap guiFontMap;
// The entry of a font name (exact match), or the map's end.
GuiFontMap::const_iterator findFont(const irr::core::stringw& name);

// The run-time test of a concrete script type: the element itself when it
// is (or derives from) the type's element class, else null.
using GuiCastFunction = irr::gui::IGUIElement* (*)(irr::gui::IGUIElement* element);
template <class ElementClass>
irr::gui::IGUIElement* guiCastTo(irr::gui::IGUIElement* element) {
  return dynamic_cast<ElementClass*>(element) != nullptr ? element : nullptr;
}
irr::gui::IGUIElement* guiCastToElement(irr::gui::IGUIElement* element);

// `GuiElement` with its reference behaviours and the shared methods.
// ElementAlignment must exist.
void registerGuiElementBase(AngelScript::asIScriptEngine* engine);
// A concrete type: the type with its reference behaviours, on `GuiElement`
// "T@+ toT()", its const twin and the implicit casts to T, on T the same
// back to `GuiElement`, then the shared methods.
void registerGuiElementType(AngelScript::asIScriptEngine* engine, const char* type, GuiCastFunction cast);
// The 24 shared methods on one type.
void registerGuiElementMethods(AngelScript::asIScriptEngine* engine, const char* type);
