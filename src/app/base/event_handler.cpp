#include "app/base/event_handler.h"

#include "core/log.h"

EventHandler eventHandler;
bool shiftKeyDown = false;
bool controlKeyDown = false;
bool altKeyDown = false;

void EventHandler::addEventHandler(irr::EEVENT_TYPE type, EventHandlerFunction handler) {
  if (handler != nullptr)
    handlers_[static_cast<int>(type)].push_back(handler);
}

namespace {

// The engine's key records carry Shift and Control only: Alt is followed
// here from the presses and releases of the Alt keys themselves, before any
// handler may consume them.
void followAltKey(const irr::SEvent& event) {
  if (event.EventType != irr::EET_KEY_INPUT_EVENT)
    return;
  switch (event.KeyInput.Key) {
    case irr::KEY_MENU:
    case irr::KEY_LMENU:
    case irr::KEY_RMENU:
      altKeyDown = event.KeyInput.PressedDown;
      break;
    default:
      break;
  }
}

}  // namespace

bool EventHandler::OnEvent(const irr::SEvent& event) {
  followAltKey(event);
  for (EventHandlerFunction handler : handlers_[static_cast<int>(event.EventType)]) {
    if (handler(event))
      return true;
  }
  return false;
}

void EventHandler::clear() { handlers_.clear(); }

bool logTextEventHandler(const irr::SEvent& event) {
  const char* text = event.LogEvent.Text;
  if (text == nullptr || text[0] == '\0')
    return true;
  // The level on the engine's scale, which numbers one above ours.
  if (static_cast<int>(event.LogEvent.Level) >= currentLogLevel() + 1)
    logPrint("%s\n", text);
  return true;
}

bool consumeEvent(const irr::SEvent&) { return true; }
