#include "gui/scripted_gui_element.h"

#include <IGUIEnvironment.h>

#include <string>

#include "app/base/engine.h"
#include "gui/gui_handles.h"
#include "gui/gui_ids.h"
#include "gui/script_drawing.h"
#include "script/script_contexts.h"
#include "script/script_registration.h"

using namespace AngelScript;

std::set<irr::gui::ScriptedGuiElement*> liveScriptedElements;

namespace irr::gui {

namespace {

enum HandlerMethod { kDraw = 0, kOnKeyEvent = 1, kOnMouseEvent = 2, kOnGuiEvent = 3, kHoverCheck = 4 };

IGUIElement* rootOr(IGUIElement* parent) {
  if (parent == nullptr && engine.gui != nullptr)
    return engine.gui->getRootGUIElement();
  return parent;
}

}  // namespace

ScriptedGuiElement::ScriptedGuiElement(const core::recti& rectangle, IGUIElement* parent, s32 id,
                                       asIScriptObject* handler)
    : IGUIElement(kScriptedGuiElementType, engine.gui, rootOr(parent), id, rectangle), handler_(handler) {
  asITypeInfo* type = handler_->GetObjectType();
  for (int i = 0; i < kScriptedHandlerMethods; ++i) {
    asIScriptFunction* method = type->GetMethodByDecl(kScriptedHandlerDeclarations[i]);
    methodIds_[i] = method != nullptr ? method->GetId() : -1;
  }
  liveScriptedElements.insert(this);
}

ScriptedGuiElement::~ScriptedGuiElement() { releaseHandler(); }

void ScriptedGuiElement::releaseHandler() {
  asIScriptObject* handler = handler_;
  handler_ = nullptr;
  liveScriptedElements.erase(this);
  // Last: the handler's own handles may release this element.
  if (handler != nullptr)
    handler->Release();
}

EventReturn ScriptedGuiElement::call(int index, void* argument) const {
  if (handler_ == nullptr || methodIds_[index] < 0)
    return ER_Pass;
  asIScriptContext* context = takeClientScriptContext();
  if (context == nullptr)
    return ER_Pass;
  // Handles hold the engine element's address.
  IGUIElement* self = const_cast<ScriptedGuiElement*>(this);
  EventReturn result = ER_Pass;
  if (context->Prepare(context->GetEngine()->GetFunctionById(methodIds_[index])) >= 0) {
    context->SetObject(handler_);
    // The call's own count on the element, given back once it has run.
    context->SetArgObject(0, self);
    guiHandleAddRef(self);
    if (argument != nullptr)
      context->SetArgAddress(1, argument);
    if (context->Execute() == asEXECUTION_FINISHED && index != kDraw)
      result = static_cast<EventReturn>(context->GetReturnDWord());
    releaseScriptContext(context);
    guiHandleRelease(self);
  } else {
    releaseScriptContext(context);
  }
  return result;
}

bool ScriptedGuiElement::isPointInside(const core::position2d<s32>& point) const {
  const core::recti clip = AbsoluteClippingRect;
  if (methodIds_[kHoverCheck] >= 0) {
    core::position2di at = point;
    grab();
    const EventReturn answer = call(kHoverCheck, &at);
    drop();  // may be the last reference: no member is read after it
    if (answer == ER_Absorb)
      return true;
    if (answer == ER_Ignore)
      return false;
  }
  return clip.UpperLeftCorner.X <= point.X && point.X <= clip.LowerRightCorner.X &&
         clip.UpperLeftCorner.Y <= point.Y && point.Y <= clip.LowerRightCorner.Y;
}

bool ScriptedGuiElement::OnEvent(const SEvent& event) {
  EventReturn answer = ER_Pass;
  grab();
  switch (event.EventType) {
    case EET_GUI_EVENT: {
      GuiEventRecord record;
      if (translateGuiEvent(event.GUIEvent, record))
        answer = call(kOnGuiEvent, &record);
      break;
    }
    case EET_MOUSE_INPUT_EVENT: {
      MouseEventRecord record;
      if (translateMouseEvent(event.MouseInput, record))
        answer = call(kOnMouseEvent, &record);
      break;
    }
    case EET_KEY_INPUT_EVENT: {
      KeyEventRecord record = translateKeyEvent(event.KeyInput);
      answer = call(kOnKeyEvent, &record);
      break;
    }
    default:
      break;
  }
  bool handled = false;
  if (answer == ER_Absorb)
    handled = true;
  else if (answer != ER_Ignore && Parent != nullptr)
    handled = Parent->OnEvent(event);
  drop();
  return handled;
}

void ScriptedGuiElement::draw() {
  if (!isVisible())
    return;
  if (!NoClip) {
    const core::recti& area = AbsoluteRect;
    const core::recti& clip = AbsoluteClippingRect;
    if (area.LowerRightCorner.Y <= clip.UpperLeftCorner.Y || area.UpperLeftCorner.Y >= clip.LowerRightCorner.Y ||
        area.LowerRightCorner.X <= clip.UpperLeftCorner.X || area.UpperLeftCorner.X >= clip.LowerRightCorner.X)
      return;
  }
  grab();
  call(kDraw, nullptr);
  for (IGUIElement* child : Children)
    child->draw();
  drop();
}

void ScriptedGuiElement::setAbsoluteClip() const {
  if (NoClip) {
    drawClipActive = false;
    return;
  }
  drawClipRect = AbsoluteClippingRect;
  drawClipActive = true;
}

}  // namespace irr::gui

using irr::gui::ScriptedGuiElement;

irr::gui::IGUIElement* createScriptedGuiElement(const irr::core::recti& rectangle, asIScriptObject* handler,
                                                irr::gui::IGUIElement* parent) {
  if (handler == nullptr)
    return nullptr;
  irr::gui::IGUIElement* element = new ScriptedGuiElement(rectangle, parent, reserveGuiId(), handler);
  guiHandleAdopt(element);
  return element;
}

void flushScriptedGuiRemovals() {
  while (!liveScriptedElements.empty()) {
    ScriptedGuiElement* element = *liveScriptedElements.begin();
    element->remove();
    // The removal may have dropped the last reference: the destructor then
    // released the handler and left the set.
    if (liveScriptedElements.count(element) != 0)
      element->releaseHandler();
  }
}

namespace {

void setAbsoluteClip(const irr::gui::IGUIElement* element) {
  static_cast<const ScriptedGuiElement*>(element)->setAbsoluteClip();
}

}  // namespace

void registerScriptedGuiElement(asIScriptEngine* engine) {
  registerGuiElementType(engine, "GuiScripted", guiCastTo<ScriptedGuiElement>);
  checked(engine).RegisterObjectBehaviour("GuiScripted", asBEHAVE_FACTORY,
                                          "GuiScripted@ f(const recti &in, ScriptedGuiHandler@, GuiElement@+)",
                                          asFUNCTION(createScriptedGuiElement), asCALL_CDECL);
  checked(engine).RegisterObjectMethod("GuiScripted", "void setAbsoluteClip() const", asFUNCTION(setAbsoluteClip),
                                       asCALL_CDECL_OBJLAST);
}
