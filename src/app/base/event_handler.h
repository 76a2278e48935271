// The server's receiver of engine events.
//
// For each engine event type it keeps a list of handler functions in
// registration order and offers each event to them until one consumes it.
// Start-up fills the lists once; events are delivered on the main thread
// only, so the lists are not locked.
#pragma once

#include <IEventReceiver.h>

#include <map>
#include <vector>

// A handler: true when it consumed the event.
using EventHandlerFunction = bool (*)(const irr::SEvent& event);

class EventHandler : public irr::IEventReceiver {
 public:
  // Appends `handler` to the list of `type`; a null handler is not added.
  void addEventHandler(irr::EEVENT_TYPE type, EventHandlerFunction handler);
  // True when some handler of the event's type consumed it.
  bool OnEvent(const irr::SEvent& event) override;
  // Empties every list.
  void clear();

 private:
  std::map<int, std::vector<EventHandlerFunction>> handlers_;
};

extern EventHandler eventHandler;

// Modifier keys, for the input code: Shift and Control as the last key event
// reported them; Alt held since a press of an Alt key (left, right or the
// generic menu key) that no release has followed yet. OnEvent keeps Alt for
// every key event, whichever handler consumes it.
extern bool shiftKeyDown;
extern bool controlKeyDown;
extern bool altKeyDown;

// Log-text events: consumes every one and logs its text ("%s\n") when the
// event's level is not below the log level and the text is not empty. This is how the engine's own log lines reach the server's log.
bool logTextEventHandler(const irr::SEvent& event);
// Consumes any event: the last key handler, so no key event goes unhandled.
bool consumeEvent(const irr::SEvent& event);
