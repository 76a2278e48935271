#include "ui/menu_planet_shader.h"

#include <IMaterialRendererServices.h>

#include <cstring>

void MenuPlanetShader::OnSetConstants(irr::video::IMaterialRendererServices* services, irr::s32) {
  if (services == nullptr)
    return;
  // The sampler units are integers; the float-array form passes their bits
  // on unchanged.
  const irr::s32 units[2] = {0, 1};
  irr::f32 asFloats[2];
  std::memcpy(asFloats, units, sizeof units);
  services->setPixelShaderConstant("texture", asFloats, 2);
}
