// The per-node settings that a graphics object's node carries for the
// shaders: the game object whose named states and owner colour the shader
// constants read. Attached as the node's user settings when shaders are on;
// the node holds it.
#pragma once

#include "platform/engine/node_settings.h"

class generic_object;

class CObjectRenderStateAccess : public irr::scene::INodeUserSettings {
 public:
  explicit CObjectRenderStateAccess(generic_object* objectOwner) : owner(objectOwner) {}

  // Not counted: the graphics object that made the settings holds the owner
  // for as long as its node lives.
  generic_object* owner;
};
