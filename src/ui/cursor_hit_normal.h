// The surface under the cursor: the normal of the triangle that the mouse
// ray meets on the pick target (the strategic view's debug point picking),
// and the pick target itself, a triangle selector held for the session.
#pragma once

#include <triangle3d.h>
#include <vector3d.h>

namespace irr {
namespace scene {
class ITriangleSelector;
}
}  // namespace irr

// Makes `selector` (grabbed; null for none) the pick target, letting the
// previous one go.
void setCursorPickTarget(irr::scene::ITriangleSelector* selector);
irr::scene::ITriangleSelector* getCursorPickTarget();
// Session end: the pick target is let go (its scene nodes go with the
// scene).
void releaseCursorPickTarget();

// (b - a) x (c - a), made unit length when its squared length differs from
// 0 by more than 1e-8; a degenerate triangle (corners on a line) gives the
// zero vector.
irr::core::vector3df triangleNormal(const irr::core::triangle3df& triangle);

// Casts the ray under the cursor from the active camera at the pick
// target. On a hit writes the hit triangle's normal (triangleNormal) to
// `normal`, multiplies `scale` component-wise by the hit scene node's scale
// and returns true; without a target, a camera or a hit nothing is written
// and false comes back.
bool cursorHitNormal(irr::core::vector3df& normal, irr::core::vector3df& scale);
