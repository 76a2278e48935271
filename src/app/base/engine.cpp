#include "app/base/engine.h"

#include <IrrlichtDevice.h>
#include <ISceneManager.h>

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
  engine.logger = device->getLogger();
  engine.cursor = device->getCursorControl();
  if (engine.scene != nullptr)
    engine.collision = engine.scene->getSceneCollisionManager();
  setEngineLogger(device->getLogger());
}
