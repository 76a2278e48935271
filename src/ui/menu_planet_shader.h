// The shader constants of the main menu's planet: its pixel shader samples
// two textures, the surface on unit 0 and the clouds on unit 1. Nothing
// installs it on a material yet.
#pragma once

#include <IShaderConstantSetCallBack.h>

class MenuPlanetShader : public irr::video::IShaderConstantSetCallBack {
 public:
  void OnSetMaterial(const irr::video::SMaterial&) override {}
  // Sets the pixel-shader constant "texture" to the texture units 0 and 1,
  // two integers handed over through the float-array form (count 2).
  void OnSetConstants(irr::video::IMaterialRendererServices* services, irr::s32 userData) override;
};
