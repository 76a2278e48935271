// The engine device and its interfaces, kept for the whole process once
// start-up has opened the device (null until then).
#pragma once

namespace irr {
class IrrlichtDevice;
class ILogger;
class ITimer;
namespace gui {
class ICursorControl;
class IGUIEnvironment;
}
namespace io {
class IFileSystem;
}
namespace scene {
class ISceneCollisionManager;
class ISceneManager;
}
namespace video {
class IVideoDriver;
}
}  // namespace irr

struct EngineGlobals {
  irr::IrrlichtDevice* device = nullptr;
  irr::video::IVideoDriver* driver = nullptr;
  irr::gui::IGUIEnvironment* gui = nullptr;
  irr::scene::ISceneManager* scene = nullptr;
  irr::io::IFileSystem* fileSystem = nullptr;
  irr::ITimer* timer = nullptr;
  // Graphics start-up: the engine's logger, the cursor and the scene's
  // collision manager.
  irr::ILogger* logger = nullptr;
  irr::gui::ICursorControl* cursor = nullptr;
  irr::scene::ISceneCollisionManager* collision = nullptr;
};

extern EngineGlobals engine;

// Takes the interfaces of `device` (all null when it is null) and makes the
// device's logger the log's level source.
void setEngineDevice(irr::IrrlichtDevice* device);
