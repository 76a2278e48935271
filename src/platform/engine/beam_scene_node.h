// The beam scene node: a band of a given width from a start point to an end
// point (in the parent's space) that always faces the camera, tinted with one
// colour. It has two materials: material 0 is drawn always, material 1 over
// it unless the beam is told it has one material only. Static beams and
// engine glows of model particle systems, and the weapon effects' beams, are
// such nodes.
#pragma once

#include <irrlicht.h>

#include "platform/engine/node_settings.h"

namespace irr {
namespace scene {

class CBeamSceneNode : public ISceneNode, public IUserSettingsNode {
 public:
  CBeamSceneNode(ISceneNode* parent, ISceneManager* manager, const core::vector3df& start,
                 const core::vector3df& end, s32 id, f32 width);

  const core::vector3df& getStart() const { return start_; }
  const core::vector3df& getEnd() const { return end_; }
  void setStart(const core::vector3df& start);
  // Moves the beam's far end (a weapon's beam follows its target).
  void setEnd(const core::vector3df& end);
  f32 getWidth() const { return width_; }
  void setWidth(f32 width);
  const video::SColor& getColor() const { return color_; }
  void setColor(const video::SColor& color) { color_ = color; }

  // False: the beam has one material only (material 1 is neither drawn nor
  // counted). Beams start with two.
  void setSecondMaterial(bool used) { secondMaterial_ = used; }
  bool hasSecondMaterial() const { return secondMaterial_; }

  void OnRegisterSceneNode() override;
  void render() override;
  const core::aabbox3d<f32>& getBoundingBox() const override { return box_; }
  // Materials 0 and 1; any other index is material 0.
  video::SMaterial& getMaterial(u32 index) override;
  u32 getMaterialCount() const override { return secondMaterial_ ? 2 : 1; }
  void updateAbsolutePosition() override;
  ESCENE_NODE_TYPE getType() const override { return ESNT_UNKNOWN; }

 private:
  void updateBox();

  core::vector3df start_;
  core::vector3df end_;
  f32 width_;
  video::SColor color_{0xFFFFFFFF};
  bool secondMaterial_ = true;
  video::SMaterial materials_[2];
  core::aabbox3d<f32> box_;
};

// Adds a beam under `parent` (the scene root when null). The scene holds the
// node; the caller gets no reference of its own.
CBeamSceneNode* addBeamSceneNode(ISceneManager* manager, ISceneNode* parent, const core::vector3df& start,
                                 const core::vector3df& end, s32 id, f32 width);

}  // namespace scene
}  // namespace irr
