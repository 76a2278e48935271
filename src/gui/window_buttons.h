// The handler bound to the title-bar buttons of the program's own windows.
#pragma once

#include <IEventReceiver.h>

// Lets the window act on its own title-bar buttons (close, minimise,
// maximise): the engine's window does the work, so the event stays
// unhandled here and goes on to it.
bool windowButtonCallback(const irr::SEvent& event);
