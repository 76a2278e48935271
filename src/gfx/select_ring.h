// Three small scene extensions that the graphics objects place in the scene:
//
//   CSelectRing  a flat coloured square in the horizontal plane, the
//                selection marker and a star system's plane disc;
//   LOD_Manager  an animator that swaps a mesh node's mesh for coarser ones
//                as the camera moves away, with thresholds that scale with
//                the screen's pixel count;
//   approachCam  node settings that draw a node a fixed distance from its
//                parent's centre toward the camera, so that a flat
//                decoration at its parent's place stays in front of it.
#pragma once

#include <irrlicht.h>

#include "platform/engine/node_settings.h"

namespace irr {
namespace scene {

// It may carry user settings (a system plane carries its system's render
// state for the shaders).
class CSelectRing : public ISceneNode, public IUserSettingsNode {
 public:
  // A ring of `radius` and `colour` as a child of `parent` (the scene root
  // of `manager` when the parent is null), at the origin of the parent's
  // space. The parent holds the ring; the creator drops its own reference.
  CSelectRing(ISceneNode* parent, f32 radius, video::SColor colour, ISceneManager* manager = nullptr);
  ~CSelectRing() override;

  void OnRegisterSceneNode() override;
  void render() override;
  const core::aabbox3d<f32>& getBoundingBox() const override { return box_; }
  // The one material, whatever the index.
  video::SMaterial& getMaterial(u32 index) override;
  void updateAbsolutePosition() override;

  // Rebuilds the corners and the box for a new radius and colour.
  void setRadius(f32 radius, video::SColor colour);

  const video::S3DVertex* getVertices() const { return vertices_; }

 private:
  video::S3DVertex vertices_[4];
  video::SMaterial material_;
  core::aabbox3d<f32> box_;
};

class LOD_Manager : public ISceneNodeAnimator {
 public:
  // `scale` is the node's scale: the animator keeps its square.
  explicit LOD_Manager(f32 scale);

  // Gives the mesh node the mesh of the level the camera distance calls
  // for, when that level changed; the node's material 0 survives a swap.
  void animateNode(ISceneNode* node, u32 timeMs) override;
  ISceneNodeAnimator* createClone(ISceneNode* node, ISceneManager* newManager = nullptr) override;
  ESCENE_NODE_ANIMATOR_TYPE getType() const override { return ESNAT_UNKNOWN; }
  bool isEventReceiverEnabled() const override { return false; }
  bool OnEvent(const SEvent& event) override;

  // The level value of a node `distanceSquared` from the camera: the
  // squared distance over (pixel count x 10 x scale squared).
  f32 levelValue(f32 distanceSquared) const;
  // The level (0 to 2) for a level value.
  s32 levelFor(f32 value) const;

  f32 scaleSquared;
  IMesh* thirdMesh = nullptr;   // not counted
  IMesh* secondMesh = nullptr;  // not counted
  IMesh* firstMesh = nullptr;   // the full-detail mesh, not counted
  f32 secondThreshold = 0.0f;
  f32 firstThreshold = 0.0f;
  bool hasThirdLevel = false;
  s32 currentLevel = 0;
};

}  // namespace scene
}  // namespace irr

class approachCam : public irr::scene::INodeUserSettings {
 public:
  explicit approachCam(irr::f32 approach = 0.5f) : distance(approach) {}

  // Moves the node's translation `distance` from its parent's centre toward
  // the game session's camera. A parent at the camera leaves it in place.
  void OnTransformation(irr::scene::ISceneNode* node, irr::core::matrix4& transformation) override;

  irr::f32 distance;
};
