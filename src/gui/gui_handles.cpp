#include "gui/gui_handles.h"

#include <IGUIEnvironment.h>
#include <dimension2d.h>
#include <rect.h>

#include <string>

#include "app/base/engine.h"
#include "app/base/startup.h"
#include "core/log.h"
#include "gui/script_texture.h"
#include "script/script_registration.h"
#include "script/script_string.h"

using namespace AngelScript;
using irr::gui::IGUIElement;

GuiFontMap guiFontMap;

namespace {

// Element address to its script-handle count; guarded by guiHandleLock.
std::map<const IGUIElement*, int32_t>& guiHandleRefs() {
  static std::map<const IGUIElement*, int32_t> refs;
  return refs;
}

}  // namespace

void guiHandleAddRef(IGUIElement* element) {
  if (element == nullptr)
    return;
  MutexGuard guard(guiHandleLock);
  ++guiHandleRefs()[element];
  element->grab();
}

void guiHandleAdopt(IGUIElement* element) {
  if (element == nullptr)
    return;
  MutexGuard guard(guiHandleLock);
  ++guiHandleRefs()[element];
}

void guiHandleRelease(IGUIElement* element) {
  if (element == nullptr)
    return;
  MutexGuard guard(guiHandleLock);
  auto& refs = guiHandleRefs();
  const auto found = refs.find(element);
  if (found == refs.end() || found->second <= 0) {
    // A handle the registry never counted holds no engine reference of
    // ours: dropping one would free an element that others still hold.
    logInfo("Uncounted GUIElement@ %p released\n", static_cast<void*>(element));
    return;
  }
  if (--found->second == 0) {
    refs.erase(found);
    if (!element->isSubElement()) {
      // "%p" writes the "0x" itself here.
      if (debugInfo)
        logInfo("Removing GUIElement@ %p\n", static_cast<void*>(element));
      element->remove();
    }
  }
  // The element may go here, its destructor running under the lock.
  element->drop();
}

int32_t guiHandleCount(const IGUIElement* element) {
  MutexGuard guard(guiHandleLock);
  const auto& refs = guiHandleRefs();
  const auto found = refs.find(element);
  return found == refs.end() ? 0 : found->second;
}

GuiFontMap::const_iterator findFont(const irr::core::stringw& name) { return guiFontMap.find(name); }

IGUIElement* guiCastToElement(IGUIElement* element) { return element; }

namespace {

using irr::core::dimension2di;
using irr::core::position2di;
using irr::core::recti;

// The element's desired rectangle, which the engine keeps to itself.
struct DesiredRectAccess : IGUIElement {
  static recti of(const IGUIElement* element) { return element->*(&DesiredRectAccess::DesiredRect); }
};

void setToolTip(const IGUIElement* element, ScriptString* text) {
  auto* target = const_cast<IGUIElement*>(element);
  if (text == nullptr) {
    target->setToolTipText(L"");
    return;
  }
  target->setToolTipText(text->toStringw().c_str());
  text->release();
}

void setSizeBounds(IGUIElement* element, const recti& bounds) {
  element->setMinSize(irr::core::dimension2du(static_cast<irr::u32>(std::max(bounds.UpperLeftCorner.X, 1)),
                                              static_cast<irr::u32>(std::max(bounds.UpperLeftCorner.Y, 1))));
  element->setMaxSize(irr::core::dimension2du(static_cast<irr::u32>(std::max(bounds.LowerRightCorner.X, 0)),
                                              static_cast<irr::u32>(std::max(bounds.LowerRightCorner.Y, 0))));
}

void bringToFront(IGUIElement* element) {
  if (IGUIElement* parent = element->getParent())
    parent->bringToFront(element);
}

dimension2di getSize(const IGUIElement* element) { return element->getRelativePosition().getSize(); }

void setSize(IGUIElement* element, const dimension2di& size) {
  const position2di corner = DesiredRectAccess::of(element).UpperLeftCorner;
  element->setRelativePosition(recti(corner, size));
}

position2di getPosition(const IGUIElement* element) { return element->getRelativePosition().UpperLeftCorner; }

void setPosition(IGUIElement* element, const position2di& position) {
  const dimension2di size = DesiredRectAccess::of(element).getSize();
  element->setRelativePosition(recti(position, size));
}

IGUIElement* getParent(IGUIElement* element) { return element->getParent(); }

void setParent(IGUIElement* element, IGUIElement* parent) {
  if (parent == nullptr)
    parent = engine.gui != nullptr ? engine.gui->getRootGUIElement() : nullptr;
  if (parent != nullptr && parent != element)
    parent->addChild(element);
}

void focus(IGUIElement* element) {
  if (engine.gui != nullptr)
    engine.gui->setFocus(element);
}

bool isAncestor(IGUIElement* element, IGUIElement* other) {
  for (IGUIElement* at = element; at != nullptr; at = at->getParent())
    if (at == other)
      return true;
  return false;
}

bool isTrulyVisible(IGUIElement* element) {
  for (IGUIElement* at = element; at != nullptr; at = at->getParent())
    if (!at->isVisible())
      return false;
  return true;
}

void setAlignment(IGUIElement* element, int left, int top, int right, int bottom) {
  using irr::gui::EGUI_ALIGNMENT;
  element->setAlignment(static_cast<EGUI_ALIGNMENT>(left), static_cast<EGUI_ALIGNMENT>(right),
                        static_cast<EGUI_ALIGNMENT>(top), static_cast<EGUI_ALIGNMENT>(bottom));
}

recti getAbsolutePosition(const IGUIElement* element) { return element->getAbsolutePosition(); }
int getID(const IGUIElement* element) { return element->getID(); }
void setID(IGUIElement* element, int id) { element->setID(id); }
bool isVisible(const IGUIElement* element) { return element->isVisible(); }
void setVisible(IGUIElement* element, bool visible) { element->setVisible(visible); }
bool isEnabled(const IGUIElement* element) { return const_cast<IGUIElement*>(element)->isEnabled(); }
void setEnabled(IGUIElement* element, bool enabled) { element->setEnabled(enabled); }
bool isNoclipped(const IGUIElement* element) { return element->isNotClipped(); }
void setNoclipped(IGUIElement* element, bool noClip) { element->setNotClipped(noClip); }
void removeElement(IGUIElement* element) { element->remove(); }
void orphan(IGUIElement* element, bool subElement) { element->setSubElement(subElement); }

struct SharedMethod {
  const char* declaration;  // %s: the type's name where it names itself
  asSFuncPtr function;
};

}  // namespace

void registerGuiElementMethods(asIScriptEngine* engine, const char* type) {
  const SharedMethod methods[] = {
      {"void setToolTip(const string@) const", asFUNCTION(setToolTip)},
      {"void setSizeBounds(const recti &in)", asFUNCTION(setSizeBounds)},
      {"void bringToFront()", asFUNCTION(bringToFront)},
      {"dim2di getSize() const", asFUNCTION(getSize)},
      {"void setSize(const dim2di &in)", asFUNCTION(setSize)},
      {"pos2di getPosition() const", asFUNCTION(getPosition)},
      {"void setPosition(const pos2di &in)", asFUNCTION(setPosition)},
      {"GuiElement@+ getParent()", asFUNCTION(getParent)},
      {"void setParent(GuiElement@+)", asFUNCTION(setParent)},
      {"void focus()", asFUNCTION(focus)},
      {"bool isAncestor(GuiElement@+)", asFUNCTION(isAncestor)},
      {"bool isTrulyVisible()", asFUNCTION(isTrulyVisible)},
      {"void setAlignment(ElementAlignment, ElementAlignment, ElementAlignment, ElementAlignment)",
       asFUNCTION(setAlignment)},
      {"recti getAbsolutePosition() const", asFUNCTION(getAbsolutePosition)},
      {"int getID() const", asFUNCTION(getID)},
      {"void setID(int)", asFUNCTION(setID)},
      {"bool isVisible() const", asFUNCTION(isVisible)},
      {"void setVisible(bool)", asFUNCTION(setVisible)},
      {"bool isEnabled() const", asFUNCTION(isEnabled)},
      {"void setEnabled(bool)", asFUNCTION(setEnabled)},
      {"bool isNoclipped() const", asFUNCTION(isNoclipped)},
      {"void setNoclipped(bool)", asFUNCTION(setNoclipped)},
      {"void remove()", asFUNCTION(removeElement)},
      {"void orphan(bool)", asFUNCTION(orphan)},
  };
  for (const SharedMethod& method : methods)
    checked(engine).RegisterObjectMethod(type, method.declaration, method.function, asCALL_CDECL_OBJFIRST);
}

namespace {

void registerHandleCounting(asIScriptEngine* engine, const char* type) {
  checked(engine).RegisterObjectType(type, 0, asOBJ_REF);
  checked(engine).RegisterObjectBehaviour(type, asBEHAVE_ADDREF, "void f()", asFUNCTION(guiHandleAddRef),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour(type, asBEHAVE_RELEASE, "void f()", asFUNCTION(guiHandleRelease),
                                          asCALL_CDECL_OBJLAST);
}

// On `from`: "<to>@+ <method>()", its const twin and the two implicit
// conversions, all on `native`.
void registerCasts(asIScriptEngine* engine, const char* from, const std::string& to, const std::string& method,
                   const asSFuncPtr& native) {
  const std::string declarations[] = {
      to + "@+ " + method + "()",
      "const " + to + "@+ " + method + "() const",
      to + "@+ opImplCast()",
      "const " + to + "@+ opImplCast() const",
  };
  for (const std::string& declaration : declarations)
    checked(engine).RegisterObjectMethod(from, declaration.c_str(), native, asCALL_CDECL_OBJFIRST);
}

}  // namespace

void registerGuiElementBase(asIScriptEngine* engine) {
  registerHandleCounting(engine, "GuiElement");
  registerGuiElementMethods(engine, "GuiElement");
}

void registerGuiElementType(asIScriptEngine* engine, const char* type, GuiCastFunction cast) {
  registerHandleCounting(engine, type);
  registerCasts(engine, "GuiElement", type, std::string("to") + type, asFUNCTION(cast));
  registerCasts(engine, type, "GuiElement", "toGuiElement", asFUNCTION(guiCastToElement));
  registerGuiElementMethods(engine, type);
}
