// The particle-system generator's material request callback: materials by
// name from the graphics resource registry. One instance serves the whole
// process; each game session hands it to its generator.
#pragma once

#include "platform/ps/particle_systems.h"

class ResourceFetcher : public ps::MaterialRequestCallback {
 public:
  // Copies the registered material `name`, or the registry's error material
  // when there is none, into `material`; true when the name was found.
  bool requestMaterial(const irr::core::stringw& name, irr::video::SMaterial& material) override;
};

extern ResourceFetcher resourceFetcher;
