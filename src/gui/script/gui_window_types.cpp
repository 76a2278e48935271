#include "gui/script/gui_window_types.h"

#include <IGUIButton.h>
#include <IGUIEnvironment.h>

#include "app/base/engine.h"
#include "gui/base/gui_callbacks.h"
#include "gui/elements/extended_window.h"
#include "gui/gui_ids.h"
#include "gui/script/gui_element_types.h"
#include "gui/script/gui_type_support.h"
#include "gui/window_buttons.h"
#include "script/script_registration.h"

using namespace AngelScript;
using namespace guitypes;
using irr::core::recti;
using irr::gui::CGUIWindowEx;
using irr::gui::IGUIElement;

namespace {

// WindowMode bits.
constexpr int kWindowClose = 1;
constexpr int kWindowMinimize = 2;
constexpr int kWindowResize = 4;
constexpr int kWindowModal = 8;

CGUIWindowEx* window(IGUIElement* element) { return static_cast<CGUIWindowEx*>(element); }

IGUIElement* makeWindow(const recti& area, ScriptString* title, int flags, IGUIElement* parent) {
  const bool titled = title != nullptr;
  const irr::core::stringw text = takeText(title);
  if (engine.gui == nullptr)
    return nullptr;
  const irr::s32 id = reserveGuiId();
  IGUIElement* owner = guiParentOrRoot(parent);
  if ((flags & kWindowModal) != 0)
    owner = engine.gui->addModalScreen(owner);
  auto* made = new CGUIWindowEx(engine.gui, owner, id, area);
  if (titled)
    made->setText(text.c_str());
  irr::gui::IGUIButton* close = made->getCloseButton();
  irr::gui::IGUIButton* restore = made->getMaximizeButton();
  irr::gui::IGUIButton* minimize = made->getMinimizeButton();
  if ((flags & kWindowClose) == 0) {
    close->setVisible(false);
    restore->setRelativePosition(close->getRelativePosition());
  } else {
    bindGuiCallbackFunction(windowCloseCallback, id);
  }
  if ((flags & kWindowMinimize) != 0) {
    const irr::s32 buttons = reserveGuiId();
    minimize->setID(buttons);
    restore->setID(buttons);
    minimize->setVisible(true);
    bindGuiCallbackFunction(windowButtonCallback, buttons);
    minimize->setRelativePosition(restore->getRelativePosition());
  }
  made->setResizable((flags & kWindowResize) != 0);
  return enterAllocated(made);
}

void setResizable(IGUIElement* element, bool resizable) { window(element)->setResizable(resizable); }
void setWindowsDragMode(IGUIElement* element, bool titleBarOnly) { window(element)->setWindowsDragMode(titleBarOnly); }
void setTitle(IGUIElement* element, ScriptString* text) { setElementText(element, text); }

}  // namespace

void registerGuiWindow(asIScriptEngine* engine) {
  registerKind(engine, "GuiWindow", guiCastTo<CGUIWindowEx>);
  checked(engine).RegisterObjectBehaviour("GuiWindow", asBEHAVE_FACTORY,
                                          "GuiWindow@ f(const recti &in, const string@, int, GuiElement@+)",
                                          asFUNCTION(makeWindow), asCALL_CDECL);
  checked(engine).RegisterObjectMethod("GuiWindow", "void setResizable(const bool)", asFUNCTION(setResizable),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod("GuiWindow", "void setWindowsDragMode(const bool)",
                                       asFUNCTION(setWindowsDragMode), asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod("GuiWindow", "void setText(const string@)", asFUNCTION(setTitle),
                                       asCALL_CDECL_OBJFIRST);
}
