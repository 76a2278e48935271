// The per-node settings that a graphics object's node carries for the
// shaders: the game object whose named states and owner colour the shader
// constants read. Attached as the node's user settings when shaders are on;
// the node holds it.
//
// Reading is cheap and never waits: the values are cached and refreshed
// from the owner every 16th read of a state (under the owner's container
// lock, taken by one try: when busy, the next read tries again) and the
// colour every 8th read (every 30th while the owner has no major empire).
// The shaders read on the main thread only.
#pragma once

#include <irrString.h>

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "gfx/shader_desc.h"
#include "platform/engine/node_settings.h"

class generic_object;

// Also the object state that the shader constants read of the node being
// drawn (shaderObjectStateOf gives it).
class CObjectRenderStateAccess : public irr::scene::INodeUserSettings, public IShaderObjectState {
 public:
  using Value = std::array<float, 4>;

  explicit CObjectRenderStateAccess(generic_object* objectOwner) : owner(objectOwner) {}

  // The state `name` as (value, maximum, amount in cargo, amount reserved)
  // when last refreshed. A name never asked for reads zeros and is kept, so
  // that a later refresh fills it.
  Value getValue(const irr::core::stringw& name);
  // The owning empire's colour, each channel 0..1 (white until known).
  std::array<float, 3> getEmpireColour();

  // The shader constants' view: a state always answers (zeros until a
  // refresh finds it), the colour as above, and the owner's radius and last
  // attack (never attacked: false).
  bool stateVector(const irr::core::stringw& name, irr::f32 (&out)[4]) override;
  irr::video::SColorf ownerColor() override;
  irr::f32 radius() override;
  bool lastAttackedMs(irr::u32& when) override;

  // Not counted: the graphics object that made the settings holds the owner
  // for as long as its node lives.
  generic_object* owner;

 private:
  void refreshStates();

  uint8_t stateCountdown_ = 0;
  uint8_t colourCountdown_ = 0;
  std::array<float, 3> colour_{1.0f, 1.0f, 1.0f};
  // Sorted by name.
  std::vector<std::pair<irr::core::stringw, Value>> values_;
};

// The render state that `node` carries as its user settings; null for none
// and for nodes without settings. What shaderObjectStateOf points to.
IShaderObjectState* renderStateOfNode(irr::scene::ISceneNode* node);
