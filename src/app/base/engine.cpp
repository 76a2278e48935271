#include "app/base/engine.h"

#include <IrrlichtDevice.h>

#include "core/log.h"

EngineGlobals engine;

void setEngineDevice(irr::IrrlichtDevice* device) {
  engine = EngineGlobals{};
  engine.device = device;
  if (device == nullptr) {
    setEngineLogger(nullptr);
    return;
  }
  engine.driver = device->getVideoDriver();
  engine.gui = device->getGUIEnvironment();
  engine.scene = device->getSceneManager();
  engine.fileSystem = device->getFileSystem();
  engine.timer = device->getTimer();
  setEngineLogger(device->getLogger());
}
