// The GUI callback map: one process-wide table from a GUI element id to the
// handler of that element's events.
//
// The engine's GUI events reach dispatchGuiCallback (through the event
// handler); it looks up the id of the element that raised the event and runs
// the bound handler. A handler is a plain function, a script function of the
// client engine (bound by the script host) or a GuiCallback object. The map
// does not own the objects: whoever deletes one removes or rebinds its id
// first. Binding and dispatch run on the main thread only; nothing is locked.
#pragma once

#include <IEventReceiver.h>

#include <cstdint>

// An object that receives GUI events.
class GuiCallback {
 public:
  virtual bool OnEvent(const irr::SEvent& event) = 0;
  virtual ~GuiCallback() = default;
};

// A plain handler; true when it handled the event.
using GuiHandlerFunction = bool (*)(const irr::SEvent& event);

enum GuiCallbackKind : uint32_t {
  kGuiCallbackFunction = 0,  // target: `function`
  kGuiCallbackScript = 1,    // target: `scriptFunction` (client engine)
  kGuiCallbackObject = 2,    // target: `object`
};

struct GuiCallbackEntry {
  GuiHandlerFunction function = nullptr;
  int32_t scriptFunction = -1;
  GuiCallback* object = nullptr;
  uint32_t kind = kGuiCallbackFunction;
};

// Runs a script handler: the script host installs it when its engines exist.
// Without one, script-bound ids count as unhandled.
using GuiScriptDispatcher = bool (*)(int32_t functionId, const irr::SEvent& event);
void setGuiScriptDispatcher(GuiScriptDispatcher dispatcher);

// The entry of an id, inserted (unbound) when absent. The caller fills in the
// target and the kind together.
GuiCallbackEntry& guiCallbackEntry(int32_t id);
// Erases the entry of an id, if any.
void removeGuiCallback(int32_t id);
// Erases every entry: a game session starts its GUI from an empty map and
// empties it again as it ends.
void clearGuiCallbacks();
// Binds an id to a plain function or an object.
void bindGuiCallbackFunction(GuiHandlerFunction function, int32_t id);
void bindGuiCallbackObject(GuiCallback* callback, int32_t id);

// Runs the handler bound to the element that raised a GUI event. False for
// other events, elements without an id entry and entries with no target.
bool dispatchGuiCallback(const irr::SEvent& event);
