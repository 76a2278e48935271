#include "platform/engine/beam_scene_node.h"

namespace irr {
namespace scene {

CBeamSceneNode::CBeamSceneNode(ISceneNode* parent, ISceneManager* manager, const core::vector3df& start,
                               const core::vector3df& end, s32 id, f32 width)
    : ISceneNode(parent, manager, id), start_(start), end_(end), width_(width) {
  updateBox();
}

void CBeamSceneNode::setStart(const core::vector3df& start) {
  start_ = start;
  updateBox();
}

void CBeamSceneNode::setEnd(const core::vector3df& end) {
  end_ = end;
  updateBox();
}

void CBeamSceneNode::setWidth(f32 width) {
  width_ = width;
  updateBox();
}

void CBeamSceneNode::updateBox() {
  const f32 half = core::abs_(width_) * 0.5f;
  box_.reset(start_);
  box_.addInternalPoint(end_);
  box_.MinEdge -= core::vector3df(half, half, half);
  box_.MaxEdge += core::vector3df(half, half, half);
}

video::SMaterial& CBeamSceneNode::getMaterial(u32 index) { return materials_[index == 1 ? 1 : 0]; }

void CBeamSceneNode::OnRegisterSceneNode() {
  if (!IsVisible)
    return;
  SceneManager->registerNodeForRendering(this, ESNRP_TRANSPARENT);
  ISceneNode::OnRegisterSceneNode();
}

void CBeamSceneNode::updateAbsolutePosition() {
  ISceneNode::updateAbsolutePosition();
  applyUserSettings(this, AbsoluteTransformation);
}

void CBeamSceneNode::render() {
  video::IVideoDriver* driver = SceneManager->getVideoDriver();
  ICameraSceneNode* camera = SceneManager->getActiveCamera();
  if (driver == nullptr || camera == nullptr)
    return;
  const NodeDrawingScope drawing(this);

  // The band lies across the beam and across the line of sight.
  core::vector3df start = start_;
  core::vector3df end = end_;
  AbsoluteTransformation.transformVect(start);
  AbsoluteTransformation.transformVect(end);
  const core::vector3df along = end - start;
  const core::vector3df view = camera->getAbsolutePosition() - start;
  core::vector3df side = along.crossProduct(view);
  if (side.getLengthSQ() <= 1e-12f)
    return;
  side.setLength(width_ * 0.5f);

  video::S3DVertex vertices[4] = {
      video::S3DVertex(start - side, view, color_, core::vector2df(0, 0)),
      video::S3DVertex(start + side, view, color_, core::vector2df(0, 1)),
      video::S3DVertex(end - side, view, color_, core::vector2df(1, 0)),
      video::S3DVertex(end + side, view, color_, core::vector2df(1, 1)),
  };
  const u16 indices[6] = {0, 1, 2, 1, 3, 2};
  driver->setTransform(video::ETS_WORLD, core::IdentityMatrix);
  for (u32 i = 0; i < getMaterialCount(); ++i) {
    driver->setMaterial(materials_[i]);
    driver->drawIndexedTriangleList(vertices, 4, indices, 2);
  }
}

CBeamSceneNode* addBeamSceneNode(ISceneManager* manager, ISceneNode* parent, const core::vector3df& start,
                                 const core::vector3df& end, s32 id, f32 width) {
  if (manager == nullptr)
    return nullptr;
  if (parent == nullptr)
    parent = manager->getRootSceneNode();
  auto* node = new CBeamSceneNode(parent, manager, start, end, id, width);
  node->drop();  // the parent holds it
  return node;
}

}  // namespace scene
}  // namespace irr
