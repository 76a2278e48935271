// For one test: a headless scene with the pooled burst nodes and a
// particle-system generator that knows the structure and sub-system hits,
// so that hits on graphics objects start particle systems one can count.
#pragma once

#include <irrlicht.h>

#include <fstream>
#include <string>
#include <vector>

#include "app/base/engine.h"
#include "gfx/effect_node_pools.h"
#include "gfx/particle_host.h"
#include "gfx/particle_stages.h"
#include "support/null_device.h"
#include "support/scratch_dir.h"

class HitParticlesScope {
 public:
  HitParticlesScope() : device_(createTestDevice()) {
    engine.scene = device_->getSceneManager();
    createBurstNodePool();
    const std::string path = (scratchDir() / "hit_particles.txt").string();
    std::ofstream(path) << "ParticleSystem: " << irr::core::stringc(structureHitEffect.particleSystem).c_str()
                        << "\nEndParticleSystem\nParticleSystem: "
                        << irr::core::stringc(subSystemHitEffect.particleSystem).c_str() << "\nEndParticleSystem\n";
    std::vector<irr::core::stringc> files{path.c_str()};
    startParticleSystems(nullptr, files);
  }
  ~HitParticlesScope() {
    releaseParticleSystems();
    releaseBurstNodePool();
    engine = EngineGlobals{};
    device_->drop();
  }
  HitParticlesScope(const HitParticlesScope&) = delete;
  HitParticlesScope& operator=(const HitParticlesScope&) = delete;

  irr::scene::ISceneManager* scene() const { return device_->getSceneManager(); }
  static irr::u32 running() { return particleSystemGenerator->getRunningCount(); }

 private:
  irr::IrrlichtDevice* device_;
};
