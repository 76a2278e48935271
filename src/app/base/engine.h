// The engine device and its interfaces, kept for the whole process once
// start-up has opened the device (null until then).
#pragma once

namespace irr {
class IrrlichtDevice;
class ITimer;
namespace gui {
class IGUIEnvironment;
}
namespace io {
class IFileSystem;
}
namespace scene {
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
};

extern EngineGlobals engine;

// Takes the interfaces of `device` (all null when it is null) and makes the
// device's logger the log's level source.
void setEngineDevice(irr::IrrlichtDevice* device);
