#include "gfx/particle_host.h"

#include "core/log.h"

ps::IParticleSystemGenerator* particleSystemGenerator = nullptr;

namespace {

void logGeneratorMessage(ps::MessageLevel level, const char* text) {
  if (level == ps::MessageLevel::Error)
    logError("%s", text);
  else
    logWarning("%s", text);
}

}  // namespace

void startParticleSystems(ps::MaterialRequestCallback* materials, std::vector<irr::core::stringc>& files) {
  releaseParticleSystems();
  particleSystemGenerator = ps::createParticleSystemGenerator(logGeneratorMessage);
  particleSystemGenerator->setMaterialRequestCallback(materials);
  for (const irr::core::stringc& path : files)
    particleSystemGenerator->loadDefinitions(path.c_str());
  files.clear();
}

void updateParticleSystems(float seconds) {
  if (particleSystemGenerator != nullptr)
    particleSystemGenerator->update(seconds);
}

void releaseParticleSystems() {
  if (particleSystemGenerator == nullptr)
    return;
  particleSystemGenerator->drop();
  particleSystemGenerator = nullptr;
}
