#include "gui/base/gui_callbacks.h"

#include <IGUIElement.h>

#include <map>

namespace {

std::map<int32_t, GuiCallbackEntry>& guiCallbackMap() {
  static std::map<int32_t, GuiCallbackEntry> map;
  return map;
}

GuiScriptDispatcher scriptDispatcher = nullptr;

}  // namespace

void setGuiScriptDispatcher(GuiScriptDispatcher dispatcher) { scriptDispatcher = dispatcher; }

GuiCallbackEntry& guiCallbackEntry(int32_t id) { return guiCallbackMap()[id]; }

void removeGuiCallback(int32_t id) { guiCallbackMap().erase(id); }

void clearGuiCallbacks() { guiCallbackMap().clear(); }

void bindGuiCallbackFunction(GuiHandlerFunction function, int32_t id) {
  GuiCallbackEntry& entry = guiCallbackEntry(id);
  entry = GuiCallbackEntry{};
  entry.function = function;
  entry.kind = kGuiCallbackFunction;
}

void bindGuiCallbackObject(GuiCallback* callback, int32_t id) {
  GuiCallbackEntry& entry = guiCallbackEntry(id);
  entry = GuiCallbackEntry{};
  entry.object = callback;
  entry.kind = kGuiCallbackObject;
}

bool dispatchGuiCallback(const irr::SEvent& event) {
  if (event.EventType != irr::EET_GUI_EVENT || event.GUIEvent.Caller == nullptr)
    return false;
  const auto& map = guiCallbackMap();
  const auto found = map.find(event.GUIEvent.Caller->getID());
  if (found == map.end())
    return false;
  const GuiCallbackEntry& entry = found->second;
  switch (entry.kind) {
    case kGuiCallbackFunction:
      return entry.function != nullptr && entry.function(event);
    case kGuiCallbackScript:
      return scriptDispatcher != nullptr && scriptDispatcher(entry.scriptFunction, event);
    case kGuiCallbackObject:
      return entry.object != nullptr && entry.object->OnEvent(event);
    default:
      return false;
  }
}
