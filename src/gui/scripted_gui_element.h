// GUI elements whose drawing, events and hit test are a client script
// object's (script type `GuiScripted`, handler interface
// `ScriptedGuiHandler`).
//
// The element owns one reference to its handler object and looks up the
// handler's five methods once (gui_events.h, kScriptedHandlerDeclarations);
// a missing method falls back to the engine's way: the clipping rectangle
// for the hit test (edges inclusive), the parent for events, nothing for
// drawing. Each call runs on a client context of the calling thread's pool
// and passes the element as a counted handle.
//
// Event results: ER_Absorb consumes the event, ER_Ignore stops it
// unhandled, anything else (a script exception too) hands it to the parent.
//
// liveScriptedElements holds every element that still holds its handler;
// flushScriptedGuiRemovals detaches them all from the GUI tree and releases
// their handlers before the script engines go. Used on the GUI thread only.
#pragma once

#include <IGUIElement.h>
#include <angelscript.h>

#include <cstdint>
#include <set>

#include "gui/gui_events.h"

// Our element type: past the engine's own (its last, 24, is the root).
constexpr irr::gui::EGUI_ELEMENT_TYPE kScriptedGuiElementType = static_cast<irr::gui::EGUI_ELEMENT_TYPE>(0x100);

namespace irr::gui {

class ScriptedGuiElement : public IGUIElement {
 public:
  // Under `parent` (the GUI root when null), taking over one reference to
  // `handler`, which must not be null.
  ScriptedGuiElement(const core::recti& rectangle, IGUIElement* parent, s32 id,
                     AngelScript::asIScriptObject* handler);
  ~ScriptedGuiElement() override;

  bool OnEvent(const SEvent& event) override;
  bool isPointInside(const core::position2d<s32>& point) const override;
  void draw() override;
  const c8* getTypeName() const override { return "scripted"; }

  // "void setAbsoluteClip() const": the drawing clip becomes the element's
  // clipping rectangle, or none for an element drawn unclipped.
  void setAbsoluteClip() const;

  AngelScript::asIScriptObject* handler() const { return handler_; }
  // Releases the handler (flush and destruction).
  void releaseHandler();

 private:
  // Runs handler method `index`; ER_Pass when it is missing or fails.
  EventReturn call(int index, void* argument) const;

  AngelScript::asIScriptObject* handler_;
  int32_t methodIds_[kScriptedHandlerMethods];
};

}  // namespace irr::gui

extern std::set<irr::gui::ScriptedGuiElement*> liveScriptedElements;

// The `GuiScripted` factory: null for a null handler (nothing made, no id
// taken); else a new element with the next GUI id, counted once in the
// handle registry. The handle is the element's IGUIElement address.
irr::gui::IGUIElement* createScriptedGuiElement(const irr::core::recti& rectangle,
                                                AngelScript::asIScriptObject* handler, irr::gui::IGUIElement* parent);

// Detaches every live scripted element and releases its handler.
void flushScriptedGuiRemovals();

// `GuiScripted` with its factory, casts, shared methods and
// setAbsoluteClip. GuiElement and ScriptedGuiHandler must exist.
void registerScriptedGuiElement(AngelScript::asIScriptEngine* engine);
