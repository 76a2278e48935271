#include "platform/engine/rotating_billboard.h"

#include <cmath>

namespace irr {
namespace scene {

CRotatingBillboardSceneNode::CRotatingBillboardSceneNode(ISceneNode* parent, ISceneManager* manager, s32 id,
                                                         const core::vector3df& position,
                                                         const core::dimension2df& size, video::SColor topColor,
                                                         video::SColor bottomColor)
    : IBillboardSceneNode(parent, manager, id, position),
      size_(size),
      topEdgeWidth_(size.Width),
      topColor_(topColor),
      bottomColor_(bottomColor) {
  updateBox();
}

void CRotatingBillboardSceneNode::updateBox() {
  const f32 half = core::max_(size_.Width, size_.Height, topEdgeWidth_) * 0.5f;
  box_.MinEdge.set(-half, -half, -half);
  box_.MaxEdge.set(half, half, half);
}

void CRotatingBillboardSceneNode::setSize(const core::dimension2d<f32>& size) {
  size_ = size;
  if (core::equals(size_.Width, 0.0f))
    size_.Width = 1.0f;
  if (core::equals(size_.Height, 0.0f))
    size_.Height = 1.0f;
  topEdgeWidth_ = size_.Width;
  updateBox();
}

void CRotatingBillboardSceneNode::setSize(f32 height, f32 bottomEdgeWidth, f32 topEdgeWidth) {
  size_.set(bottomEdgeWidth, height);
  topEdgeWidth_ = topEdgeWidth;
  updateBox();
}

void CRotatingBillboardSceneNode::getSize(f32& height, f32& bottomEdgeWidth, f32& topEdgeWidth) const {
  height = size_.Height;
  bottomEdgeWidth = size_.Width;
  topEdgeWidth = topEdgeWidth_;
}

void CRotatingBillboardSceneNode::setColor(const video::SColor& overallColor) {
  topColor_ = overallColor;
  bottomColor_ = overallColor;
}

void CRotatingBillboardSceneNode::setColor(const video::SColor& topColor, const video::SColor& bottomColor) {
  topColor_ = topColor;
  bottomColor_ = bottomColor;
}

void CRotatingBillboardSceneNode::getColor(video::SColor& topColor, video::SColor& bottomColor) const {
  topColor = topColor_;
  bottomColor = bottomColor_;
}

void CRotatingBillboardSceneNode::OnRegisterSceneNode() {
  if (!IsVisible)
    return;
  SceneManager->registerNodeForRendering(this);
  ISceneNode::OnRegisterSceneNode();
}

void CRotatingBillboardSceneNode::updateAbsolutePosition() {
  ISceneNode::updateAbsolutePosition();
  applyUserSettings(this, AbsoluteTransformation);
}

void CRotatingBillboardSceneNode::render() {
  video::IVideoDriver* driver = SceneManager->getVideoDriver();
  ICameraSceneNode* camera = SceneManager->getActiveCamera();
  if (driver == nullptr || camera == nullptr)
    return;
  const NodeDrawingScope drawing(this);

  const core::vector3df centre = getAbsolutePosition();
  core::vector3df view = camera->getTarget() - camera->getAbsolutePosition();
  view.normalize();
  core::vector3df right = camera->getUpVector().crossProduct(view);
  if (right.getLengthSQ() <= 1e-12f)
    right.set(1, 0, 0);
  right.normalize();
  core::vector3df up = view.crossProduct(right);
  up.normalize();
  // Turn both axes about the line of sight.
  const f32 radians = angle_ * core::DEGTORAD;
  const f32 c = std::cos(radians);
  const f32 s = std::sin(radians);
  const core::vector3df turnedRight = right * c + up * s;
  const core::vector3df turnedUp = up * c - right * s;

  const core::vector3df top = turnedUp * (size_.Height * 0.5f);
  const core::vector3df bottomSide = turnedRight * (size_.Width * 0.5f);
  const core::vector3df topSide = turnedRight * (topEdgeWidth_ * 0.5f);
  const core::vector3df normal = -view;
  video::S3DVertex vertices[4] = {
      video::S3DVertex(centre - top + bottomSide, normal, bottomColor_, core::vector2df(1, 1)),
      video::S3DVertex(centre + top + topSide, normal, topColor_, core::vector2df(1, 0)),
      video::S3DVertex(centre + top - topSide, normal, topColor_, core::vector2df(0, 0)),
      video::S3DVertex(centre - top - bottomSide, normal, bottomColor_, core::vector2df(0, 1)),
  };
  const u16 indices[6] = {0, 2, 1, 0, 3, 2};
  driver->setTransform(video::ETS_WORLD, core::IdentityMatrix);
  driver->setMaterial(material_);
  driver->drawIndexedTriangleList(vertices, 4, indices, 2);
}

CRotatingBillboardSceneNode* addRotatingBillboardSceneNode(ISceneManager* manager, ISceneNode* parent,
                                                           const core::dimension2df& size,
                                                           const core::vector3df& position, s32 id,
                                                           video::SColor topColor, video::SColor bottomColor) {
  if (manager == nullptr)
    return nullptr;
  if (parent == nullptr)
    parent = manager->getRootSceneNode();
  auto* node = new CRotatingBillboardSceneNode(parent, manager, id, position, size, topColor, bottomColor);
  node->drop();  // the parent holds it
  return node;
}

}  // namespace scene
}  // namespace irr
