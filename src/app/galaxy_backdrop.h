// The distant-galaxy backdrop: 250 billboards of faint galaxies scattered
// over a shell far beyond the playing field, built once per game session
// when "bDisplayBackground" is set.
//
// Each billboard draws, in this order: u, a and b from the thread's
// generator, the tint and its strength from the process-wide rand(), its
// width and height from the thread's generator, and its material number
// from rand(). It stands at distance sqrt(u) x 49,000,000 + 1,000,000 in the
// direction of longitude a and latitude b, is 150,000 to 600,000 units wide
// and high, takes the named material "dist_glx_1" .. "dist_glx_9", and is
// tinted red, blue or grey.
#pragma once

#include <irrString.h>

namespace irr {
namespace scene {
class ISceneManager;
class ISceneNode;
}  // namespace scene
namespace video {
class SMaterial;
}
}  // namespace irr

// Finds a named material of the graphics resources; null when there is none.
using NamedMaterialLookup = const irr::video::SMaterial* (*)(const irr::core::stringc& name);

// Builds the backdrop in `scene` and returns its parent node, which the
// session holds until removeGalaxyBackdrop. Billboards whose material the
// lookup (when given) lacks keep the scene's default material. Null, with
// nothing built, when "bDisplayBackground" is off or there is no scene.
irr::scene::ISceneNode* createGalaxyBackdrop(irr::scene::ISceneManager* scene, NamedMaterialLookup materials);
// Removes the backdrop from its scene and lets go of it.
void removeGalaxyBackdrop();
