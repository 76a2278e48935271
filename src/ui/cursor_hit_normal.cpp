#include "ui/cursor_hit_normal.h"

#include <ISceneCollisionManager.h>
#include <ISceneManager.h>
#include <ISceneNode.h>
#include <ITriangleSelector.h>

#include <cmath>

#include "app/base/engine.h"
#include "ui/object_picking.h"

namespace {

irr::scene::ITriangleSelector* pickTarget = nullptr;

}  // namespace

void setCursorPickTarget(irr::scene::ITriangleSelector* selector) {
  if (selector == pickTarget)
    return;
  if (selector != nullptr)
    selector->grab();
  if (pickTarget != nullptr)
    pickTarget->drop();
  pickTarget = selector;
}

irr::scene::ITriangleSelector* getCursorPickTarget() { return pickTarget; }

void releaseCursorPickTarget() { setCursorPickTarget(nullptr); }

irr::core::vector3df triangleNormal(const irr::core::triangle3df& triangle) {
  const irr::core::vector3df u = triangle.pointB - triangle.pointA;
  const irr::core::vector3df v = triangle.pointC - triangle.pointA;
  irr::core::vector3df n(u.Y * v.Z - u.Z * v.Y, u.Z * v.X - u.X * v.Z, u.X * v.Y - u.Y * v.X);
  const float squared = n.X * n.X + n.Y * n.Y + n.Z * n.Z;
  if (std::fabs(squared) > 1e-8f)
    n *= 1.0f / std::sqrt(squared);
  return n;
}

bool cursorHitNormal(irr::core::vector3df& normal, irr::core::vector3df& scale) {
  if (pickTarget == nullptr || engine.scene == nullptr)
    return false;
  irr::scene::ISceneCollisionManager* collision = engine.scene->getSceneCollisionManager();
  irr::core::line3df ray;
  if (collision == nullptr || !cursorRay(ray))
    return false;
  irr::core::vector3df point;
  irr::core::triangle3df triangle;
  irr::scene::ISceneNode* node = nullptr;
  if (!collision->getCollisionPoint(ray, pickTarget, point, triangle, node))
    return false;
  normal = triangleNormal(triangle);
  if (node != nullptr)
    scale *= node->getScale();
  return true;
}
