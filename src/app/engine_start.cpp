#include "app/engine_start.h"

#include <irrlicht.h>

#include <cstdlib>

#include "app/base/engine.h"
#include "app/base/event_handler.h"
#include "audio/sound.h"
#include "audio/sound_descriptors.h"
#include "audio/sound_device.h"
#include "core/file_access.h"
#include "core/log.h"
#include "gfx/gfx_resources.h"
#include "gui/base/gui_callbacks.h"
#include "ui/key_bindings.h"
#include "ui/object_picking.h"
#include "ui/view_input.h"

LogOnlyReceiver logOnlyReceiver;

namespace {

bool forwardKeyToGui(const irr::SEvent& event) {
  return engine.gui != nullptr && engine.gui->postEventFromUser(event);
}

bool forwardMouseToGui(const irr::SEvent& event) {
  // Strategic view: the last mouse event tells where the cursor is.
  noteViewCursor(event);
  const bool used = engine.gui != nullptr && engine.gui->postEventFromUser(event);
  // Picking: the mouse is over the GUI, no longer over an object.
  if (used && event.MouseInput.Event == irr::EMIE_MOUSE_MOVED)
    setHoveredObject(nullptr);
  return used;
}

// Runs the key's binding with the key flags; the Shift and Control states
// are kept for the rest of the input code. Alt is the event handler's.
bool onKeyBinding(const irr::SEvent& event) {
  const irr::SEvent::SKeyInput& key = event.KeyInput;
  shiftKeyDown = key.Shift;
  controlKeyDown = key.Control;
  const KeyBindings* table = activeKeyBindings();
  if (table == nullptr || static_cast<unsigned>(key.Key) >= KeyBindings::kKeyCount)
    return false;
  uint8_t flags = 0;
  if (key.PressedDown)
    flags |= KF_Pressed;
  if (key.Control)
    flags |= KF_Control;
  if (key.Shift)
    flags |= KF_Shift;
  if (altKeyDown)
    flags |= KF_Alt;
  return table->slot(static_cast<uint8_t>(key.Key)).execute(flags);
}

}  // namespace

bool LogOnlyReceiver::OnEvent(const irr::SEvent& event) {
  return event.EventType == irr::EET_LOG_TEXT_EVENT && logTextEventHandler(event);
}

irr::IrrlichtDevice* createNullDevice(unsigned width, unsigned height, irr::IEventReceiver* receiver) {
  irr::SIrrlichtCreationParameters params;
  params.DriverType = irr::video::EDT_NULL;
  params.WindowSize = irr::core::dimension2du(width, height);
  params.Bits = 16;
  params.Fullscreen = false;
  params.Stencilbuffer = false;
  params.Vsync = false;
  // Every engine line reaches the receiver, which applies the server's level.
  params.LoggingLevel = irr::ELL_INFORMATION;
  params.EventReceiver = receiver;
  return irr::createDeviceEx(params);
}

void initDeviceGlobals(irr::IrrlichtDevice* device, const char* soundDriverName) {
  setEngineDevice(device);
  if (device == nullptr)
    return;
  setFileSystem(device->getFileSystem());
  // A headless server plays into OpenAL Soft's null backend unless told
  // otherwise; it must be chosen before the first OpenAL call.
  setenv("ALSOFT_DRIVERS", "null", 0);
  try {
    soundDevice = audio::createSoundDevice(soundDriverName);
  } catch (const char* error) {
    logError("Sound Initialization Error: %s\n", error);
    soundDevice = new audio::CDummySoundDevice;
  }
}

void closeDeviceGlobals(irr::IrrlichtDevice* device) {
  if (soundDevice != nullptr) {
    soundDevice->drop();
    soundDevice = nullptr;
  }
  setEngineDevice(nullptr);
  setFileSystem(nullptr);
  if (device != nullptr) {
    device->closeDevice();
    device->drop();
  }
}

// Sound descriptors and sound files of the graphics start-up.
void installSoundLoadHooks() {
  gfxLoadHooks.loadSoundDescriptors = [](GfxResourceRegistry& registry, const irr::core::stringc& path) {
    loadSoundDescriptors(registry.sounds, path.c_str());
  };
  gfxLoadHooks.loadSoundSource = [](const char* path) -> audio::ISoundSource* {
    return soundDevice != nullptr ? soundDevice->loadSoundSource(irr::core::stringw(path)) : nullptr;
  };
  gfxLoadHooks.dropSoundSource = [](audio::ISoundSource* source) { source->drop(); };
}

// GUI click sound: the engine's GUI event codes 5, 6, 10, 19 and 28 play
// "button_clk" when the session registered one.
bool playGuiClickSound(const irr::SEvent& event) {
  switch (static_cast<int>(event.GUIEvent.EventType)) {
    case 5:  // a button clicked
    case 6:
    case 10:
    case 19:
    case 28:
      break;
    default:
      return false;
  }
  audio::ISoundSource* const* click = findNamedValue<audio::ISoundSource*>(gfxResources.sounds, L"button_clk");
  if (click != nullptr && *click != nullptr && soundDevice != nullptr)
    soundDevice->createSound(*click, false, false);
  return false;
}

void registerEventHandlers() {
  eventHandler.addEventHandler(irr::EET_LOG_TEXT_EVENT, logTextEventHandler);
  eventHandler.addEventHandler(irr::EET_KEY_INPUT_EVENT, forwardKeyToGui);
  eventHandler.addEventHandler(irr::EET_KEY_INPUT_EVENT, onKeyBinding);
  eventHandler.addEventHandler(irr::EET_KEY_INPUT_EVENT, consumeEvent);
  eventHandler.addEventHandler(irr::EET_MOUSE_INPUT_EVENT, forwardMouseToGui);
  // Strategic view: what the GUI left of the mouse.
  eventHandler.addEventHandler(irr::EET_MOUSE_INPUT_EVENT, onViewMouseEvent);
  eventHandler.addEventHandler(irr::EET_GUI_EVENT, playGuiClickSound);
  eventHandler.addEventHandler(irr::EET_GUI_EVENT, dispatchGuiCallback);
}
