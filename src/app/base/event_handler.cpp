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

bool EventHandler::OnEvent(const irr::SEvent& event) {
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
