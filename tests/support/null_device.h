// A headless engine device for tests: the null video driver, 640x480 at 16
// bits, and the engine's own log lines silenced.
#pragma once

#include <irrlicht.h>

inline irr::IrrlichtDevice* createTestDevice() {
  irr::SIrrlichtCreationParameters params;
  params.DriverType = irr::video::EDT_NULL;
  params.WindowSize = irr::core::dimension2d<irr::u32>(640, 480);
  params.Bits = 16;
  params.LoggingLevel = irr::ELL_NONE;
  return irr::createDeviceEx(params);
}
