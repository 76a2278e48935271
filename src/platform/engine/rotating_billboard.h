// A billboard that also turns about the line of sight by a rotation angle,
// and carries one further switch that the render groups set on the presence
// rings of star systems. Besides that it is a billboard as the engine's own:
// a size (with separate top and bottom edge widths), top and bottom colours
// and one material.
#pragma once

#include <irrlicht.h>

#include "platform/engine/node_settings.h"

namespace irr {
namespace scene {

class CRotatingBillboardSceneNode : public IBillboardSceneNode, public IUserSettingsNode {
 public:
  CRotatingBillboardSceneNode(ISceneNode* parent, ISceneManager* manager, s32 id,
                              const core::vector3df& position, const core::dimension2df& size,
                              video::SColor topColor = video::SColor(0xFFFFFFFF),
                              video::SColor bottomColor = video::SColor(0xFFFFFFFF));

  // The turn about the line of sight, in degrees (0: upright).
  f32 getRotationAngle() const { return angle_; }
  void setRotationAngle(f32 degrees) { angle_ = degrees; }
  // The further switch: kept for its users; drawing does not read it.
  bool getExtraSwitch() const { return extraSwitch_; }
  void setExtraSwitch(bool on) { extraSwitch_ = on; }

  void setSize(const core::dimension2d<f32>& size) override;
  void setSize(f32 height, f32 bottomEdgeWidth, f32 topEdgeWidth) override;
  const core::dimension2d<f32>& getSize() const override { return size_; }
  void getSize(f32& height, f32& bottomEdgeWidth, f32& topEdgeWidth) const override;
  void setColor(const video::SColor& overallColor) override;
  void setColor(const video::SColor& topColor, const video::SColor& bottomColor) override;
  void getColor(video::SColor& topColor, video::SColor& bottomColor) const override;

  void OnRegisterSceneNode() override;
  void render() override;
  const core::aabbox3d<f32>& getBoundingBox() const override { return box_; }
  video::SMaterial& getMaterial(u32) override { return material_; }
  u32 getMaterialCount() const override { return 1; }
  void updateAbsolutePosition() override;
  ESCENE_NODE_TYPE getType() const override { return ESNT_BILLBOARD; }

 private:
  void updateBox();

  core::dimension2d<f32> size_;
  f32 topEdgeWidth_;
  video::SColor topColor_;
  video::SColor bottomColor_;
  f32 angle_ = 0.0f;
  bool extraSwitch_ = false;
  video::SMaterial material_;
  core::aabbox3d<f32> box_;
};

// Adds a rotating billboard under `parent` (the scene root when null). The
// scene holds the node; the caller gets no reference of its own.
CRotatingBillboardSceneNode* addRotatingBillboardSceneNode(ISceneManager* manager, ISceneNode* parent,
                                                           const core::dimension2df& size,
                                                           const core::vector3df& position, s32 id,
                                                           video::SColor topColor = video::SColor(0xFFFFFFFF),
                                                           video::SColor bottomColor = video::SColor(0xFFFFFFFF));

}  // namespace scene
}  // namespace irr
