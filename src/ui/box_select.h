// Box selection in the strategic view: a rectangle dragged on the screen
// becomes a six-sided volume (near, far and one plane per side of the
// rectangle, normals facing inward), and the objects near the camera inside
// it are sorted by preference:
//   1. the player's ships and stations, 2. the player's other objects,
//   3. others' ships, 4. others' planets, 5. anything else of others'
// (others' objects only when the player's empire can see them). Only the
// first group that is not empty is selected, through the "gui" module's
// "void onBoxSelect(Object@)" when it has one (called once per object),
// else directly. Reach: objects in open space within 85000 of the camera,
// and the objects of star systems whose centre is nearer than the system's
// radius + 85000. When nothing was within reach, the star systems whose
// centre lies in the volume are selected instead.
//
// Without Shift the old selection is emptied first, even when the box then
// selects nothing.
#pragma once

#include <line3d.h>
#include <vector3d.h>

#include <cstdint>
#include <vector>

#include "universe/spatial/oct_tree.h"

class generic_object;

// A plane of the volume: points in front of it have a positive distance.
struct BoxPlane {
  irr::core::vector3df normal;
  float d = 0.0f;
  float distance(const irr::core::vector3df& point) const { return normal.dotProduct(point) + d; }
};

struct BoxVolume {
  BoxPlane planes[6];  // near, far, then the sides

  // The centre lies inside every plane (within 1e-6); with `touching` a
  // sphere of `radius` that reaches into the volume also counts.
  bool contains(const irr::core::vector3df& centre, float radius = 0.0f, bool touching = false) const;
};

// The volume under the screen rectangle with corners (x1, y1) and (x2, y2),
// seen from the active camera; false without one.
bool makeBoxVolume(int32_t x1, int32_t y1, int32_t x2, int32_t y2, BoxVolume& out);

// Appends every item object of the tree that the volume holds (centre
// inside; with `touching` also a sphere that reaches into it), visiting all
// nodes.
void collectInVolume(const OctTree<generic_object>::child& root, const BoxVolume& volume, bool touching,
                     std::vector<generic_object*>& out);

// The box selection of the rectangle (x1, y1)-(x2, y2) in screen pixels
// (see the file's head). Nothing happens without a galaxy or a camera.
void boxSelect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
