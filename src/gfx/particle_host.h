// The game session's particle-system generator: made while the session
// loads its resources, advanced in every simulation frame's "Special FX
// Update" phase under sceneLock, and released when the session ends.
#pragma once

#include <irrString.h>

#include <vector>

#include "platform/ps/particle_systems.h"

// Null between game sessions.
extern ps::IParticleSystemGenerator* particleSystemGenerator;

// Makes the generator with `materials` as its material request callback,
// loads the definition files of `files` in list order and empties the list.
// The generator's messages go to the log.
void startParticleSystems(ps::MaterialRequestCallback* materials, std::vector<irr::core::stringc>& files);
// Steps the running particle systems (nothing without a generator).
void updateParticleSystems(float seconds);
// Ends every running system and releases the generator.
void releaseParticleSystems();
