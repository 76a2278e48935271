#include "ui/mini_view_script.h"

#include <cstddef>

#include "app/base/engine.h"
#include "gui/gui_handles.h"
#include "gui/gui_ids.h"
#include "script/script_registration.h"
#include "ui/mini_view.h"
#include "universe/objects/solar_system.h"

using namespace AngelScript;
using irr::gui::IGUIElement;

namespace {

MiniView* view(IGUIElement* element) { return static_cast<MiniView*>(element); }

IGUIElement* makeMiniView(const irr::core::recti& area, IGUIElement* parent) {
  if (engine.gui == nullptr)
    return nullptr;
  IGUIElement* made = new MiniView(engine.gui, area, parent, reserveGuiId());
  guiHandleAdopt(made);  // the parent holds it; our reference is the handle's
  return made;
}

void update(IGUIElement* element) { view(element)->update(); }
void setSystem(IGUIElement* element, solarSystem* system) { view(element)->setSystem(system); }
solarSystem* getSystem(IGUIElement* element) { return view(element)->getSystem(); }

// The fields scripts read and write, at their place in the element (a
// handle holds the element's IGUIElement address, which is the view's).
template <typename Field>
int offsetOf(Field MiniView::*field) {
  const MiniView* base = nullptr;
  alignas(MiniView) static unsigned char probe[sizeof(MiniView)];
  base = reinterpret_cast<const MiniView*>(probe);
  return static_cast<int>(reinterpret_cast<const unsigned char*>(&(base->*field)) -
                          reinterpret_cast<const unsigned char*>(static_cast<const IGUIElement*>(base)));
}

}  // namespace

void registerGuiMiniView(asIScriptEngine* engine) {
  registerGuiElementType(engine, "GuiMiniView", guiCastTo<MiniView>);
  checked(engine).RegisterObjectBehaviour("GuiMiniView", asBEHAVE_FACTORY,
                                          "GuiMiniView@ f(const recti &in, GuiElement@+)", asFUNCTION(makeMiniView),
                                          asCALL_CDECL);
  checked(engine).RegisterObjectMethod("GuiMiniView", "void update()", asFUNCTION(update), asCALL_CDECL_OBJFIRST);
  const struct {
    const char* declaration;
    bool MiniView::*field;
  } flags[] = {
      {"bool display_planets", &MiniView::display_planets},   {"bool display_units", &MiniView::display_units},
      {"bool display_smallunits", &MiniView::display_smallunits}, {"bool display_oddities", &MiniView::display_oddities},
      {"bool display_names", &MiniView::display_names},       {"bool display_orbits", &MiniView::display_orbits},
  };
  for (const auto& flag : flags)
    checked(engine).RegisterObjectProperty("GuiMiniView", flag.declaration, offsetOf(flag.field));
  checked(engine).RegisterObjectProperty("GuiMiniView", "MiniViewMode mode", offsetOf(&MiniView::mode));
}

void registerMiniViewSystemPair(asIScriptEngine* engine) {
  checked(engine).RegisterObjectMethod("GuiMiniView", "void setSystem(System@+)", asFUNCTION(setSystem),
                                       asCALL_CDECL_OBJFIRST);
  checked(engine).RegisterObjectMethod("GuiMiniView", "System@+ getSystem()", asFUNCTION(getSystem),
                                       asCALL_CDECL_OBJFIRST);
}
