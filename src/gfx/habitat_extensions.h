// Planet extensions: moons that circle a planet and rings, described once
// per game session under a name and added to a planet's graphics by the
// planet script methods "addExtension". An added extension is a mesh node
// under the planet's node with a material picked at random, a scale and an
// orbit random within the description's ranges unless the call fixes them,
// and a level-of-detail animator when the description has coarser meshes.
//
// The session registers "moon", "space_ring" and "natural_ring" once its
// graphics resources are loaded and clears them all when it ends; scripts
// only look names up in between.
#pragma once

#include <irrlicht.h>

#include <cstdint>

#include "core/names.h"

struct habitat_extension {
  habitat_extension();
  habitat_extension(const habitat_extension&) = delete;
  habitat_extension& operator=(const habitat_extension&) = delete;

  // The meshes are the model registry's (not counted). No mesh: the
  // extension shows nothing; no second mesh: no level-of-detail animator.
  irr::scene::IMesh* mesh = nullptr;
  irr::scene::IMesh* secondMesh = nullptr;
  irr::scene::IMesh* thirdMesh = nullptr;
  float firstThreshold = 0.0f;
  float secondThreshold = 0.0f;
  // One is copied over each node's material 0; none keeps the mesh's own.
  irr::core::array<irr::video::SMaterial> materials;
  // The scene node id of every node of this extension: from a process-wide
  // counter that starts at 100000 and grows by one per description made.
  int32_t id;
  bool orbits = false;
  bool randomScale = false;
  // The node and its orbit are not scaled with the planet's node.
  bool ignoreParentScale = false;
  float orbitRadiusMin = 0.0f;
  float orbitRadiusMax = 0.0f;
  float scaleMin = 0.0f;
  float scaleMax = 0.0f;
};

// The descriptions by name; owned.
extern NamedVar<habitat_extension*>::Registry habitatExtensions;

// A new empty description registered as `name`; null (and nothing made)
// when the name is taken.
habitat_extension* createHabitatExtension(const irr::core::stringw& name);
// The registry index of `name`, or -1.
irr::s32 findHabitatExtension(const irr::core::stringw& name);
// The description at a registry index (null out of range).
habitat_extension* habitatExtensionAt(irr::s32 index);
// Deletes every description and empties the registry.
void clearHabitatExtensions();

// Adds the extension's node under `parent`: an orbit `radius`, a `scale`
// and an orbit `speed` above 0 are used as given, others are drawn from the
// description's ranges (or, for the speed, follow from the radius). Returns
// the node (held by its parent), or null when the description has no mesh
// or there is no parent.
irr::scene::ISceneNode* addExtensionGraphics(const habitat_extension* extension, irr::scene::ISceneNode* parent,
                                             float radius, float scale, float speed);

// The session's descriptions, from the registered models and materials:
// "moon" (the planet spheres, materials "moon_1", "moon_2", ... while
// registered), "space_ring" (model "spaceRing") and "natural_ring" (model
// "planet_ring").
void registerHabitatExtensions();
