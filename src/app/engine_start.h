// Opening the engine device headless and wiring it to the server.
#pragma once

#include <IEventReceiver.h>

namespace irr {
class IrrlichtDevice;
}

// Takes only the engine's log lines (into the server's log); used while a
// device is opened, before the event handler is filled.
class LogOnlyReceiver : public irr::IEventReceiver {
 public:
  bool OnEvent(const irr::SEvent& event) override;
};
extern LogOnlyReceiver logOnlyReceiver;

// A device on the null video driver: windowed, 16 bits per pixel, no
// stencil buffer, no vertical sync. Its log lines go to `receiver` from the
// first one on (the engine never prints them itself). Null on failure.
irr::IrrlichtDevice* createNullDevice(unsigned width, unsigned height, irr::IEventReceiver* receiver);

// Keeps the device's interfaces for the whole server and creates the sound
// device by name (null: the system's default device). When OpenAL cannot
// start, "Sound Initialization Error: <why>" is logged and the silent device
// is used. A null device keeps nothing and creates no sound device.
void initDeviceGlobals(irr::IrrlichtDevice* device, const char* soundDriverName);

// Undoes initDeviceGlobals: releases the sound device, forgets the device's
// interfaces, and closes and drops `device` (when not null).
void closeDeviceGlobals(irr::IrrlichtDevice* device);

// Lets the graphics start-up read sound descriptors and load sound files
// through the process's sound device.
void installSoundLoadHooks();
// Plays the sound "button_clk" of the session's sound registry (when there
// is one) for the GUI's clicks, scroll bar and selection events; never
// consumes the event.
bool playGuiClickSound(const irr::SEvent& event);
// Fills the event handler's lists: engine log lines, keys (GUI, bindings,
// then consumed), mouse (GUI) and GUI events (the GUI callback map).
void registerEventHandlers();
