// What the GUI element script types share: handle texts, the id counter and
// the registration pattern of a kind.
#pragma once

#include <IGUIElement.h>
#include <angelscript.h>

#include <initializer_list>
#include <string>

#include "gui/gui_handles.h"
#include "script/script_registration.h"
#include "script/script_string.h"

namespace guitypes {

// The text of a handle (empty for null), borrowed.
inline irr::core::stringw textOf(const ScriptString* text) {
  return text != nullptr ? text->toStringw() : irr::core::stringw();
}

// The text of a `string@` argument; the handle is released.
inline irr::core::stringw takeText(ScriptString* text) {
  if (text == nullptr)
    return irr::core::stringw();
  irr::core::stringw wide = text->toStringw();
  text->release();
  return wide;
}

// The shared text setter: a null handle sets an empty text; the handle is
// released.
inline void setElementText(irr::gui::IGUIElement* element, ScriptString* text) {
  element->setText(takeText(text).c_str());
}

// A new script string with the element's text.
inline ScriptString* elementText(const irr::gui::IGUIElement* element) {
  return new ScriptString(irr::core::stringw(element->getText()));
}

// An element the engine made (its parent holds it): the new handle's count
// and engine reference.
inline irr::gui::IGUIElement* enterMade(irr::gui::IGUIElement* element) {
  guiHandleAddRef(element);
  return element;
}

// An element we allocated: its creation reference becomes the handle's.
inline irr::gui::IGUIElement* enterAllocated(irr::gui::IGUIElement* element) {
  guiHandleAdopt(element);
  return element;
}

// Steps 1 to 4 of a kind: the type, the casts both ways and the shared
// methods.
inline void registerKind(AngelScript::asIScriptEngine* engine, const char* type, GuiCastFunction cast) {
  registerGuiElementType(engine, type, cast);
}

// "T@ f(...)" for the factory text after the type name.
inline std::string factoryDeclaration(const char* type, const char* rest) { return std::string(type) + rest; }

// One method row of a kind: the object comes as the first argument.
struct Method {
  const char* declaration;
  AngelScript::asSFuncPtr function;
};

inline void methods(AngelScript::asIScriptEngine* engine, const char* type, std::initializer_list<Method> list) {
  for (const Method& method : list)
    checked(engine).RegisterObjectMethod(type, method.declaration, method.function,
                                         AngelScript::asCALL_CDECL_OBJFIRST);
}

// The factory "T@ f(...)" of a kind, `rest` being the text after the type name.
inline void factory(AngelScript::asIScriptEngine* engine, const char* type, const char* rest,
                    const AngelScript::asSFuncPtr& function) {
  checked(engine).RegisterObjectBehaviour(type, AngelScript::asBEHAVE_FACTORY,
                                          factoryDeclaration(type, rest).c_str(), function, AngelScript::asCALL_CDECL);
}

}  // namespace guitypes
