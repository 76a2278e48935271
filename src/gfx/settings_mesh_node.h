// A mesh scene node that may carry per-node user settings (the stock mesh
// node cannot): the node of a planet extension that stays in front of its
// planet. Otherwise it behaves as the engine's mesh node: it copies the
// mesh's materials (unless read-only), draws every buffer with its material,
// and announces itself as the node being drawn while it draws.
#pragma once

#include <irrlicht.h>

#include "platform/engine/node_settings.h"

namespace irr {
namespace scene {

class CSettingsMeshSceneNode : public IMeshSceneNode, public IUserSettingsNode {
 public:
  // Grabs `mesh` (may be null).
  CSettingsMeshSceneNode(IMesh* mesh, ISceneNode* parent, ISceneManager* manager, s32 id,
                         const core::vector3df& position, const core::vector3df& rotation,
                         const core::vector3df& scale);
  ~CSettingsMeshSceneNode() override;

  void OnRegisterSceneNode() override;
  void render() override;
  const core::aabbox3d<f32>& getBoundingBox() const override;
  video::SMaterial& getMaterial(u32 index) override;
  u32 getMaterialCount() const override;
  ESCENE_NODE_TYPE getType() const override { return ESNT_MESH; }
  void updateAbsolutePosition() override;

  void setMesh(IMesh* mesh) override;
  IMesh* getMesh() override { return mesh_; }
  // Shadows are not drawn for these nodes: none is made.
  IShadowVolumeSceneNode* addShadowVolumeSceneNode(const IMesh* shadowMesh, s32 id, bool zfailmethod,
                                                   f32 infinity) override;
  void setReadOnlyMaterials(bool readonly) override { readOnly_ = readonly; }
  bool isReadOnlyMaterials() const override { return readOnly_; }

 private:
  void copyMaterials();

  IMesh* mesh_ = nullptr;
  core::array<video::SMaterial> materials_;
  core::aabbox3d<f32> box_;
  bool readOnly_ = false;
};

// Adds a settings mesh node under `parent` (the scene root when null). The
// scene holds the node; the caller gets no reference of its own.
CSettingsMeshSceneNode* addSettingsMeshSceneNode(ISceneManager* manager, IMesh* mesh, ISceneNode* parent, s32 id,
                                                 const core::vector3df& position, const core::vector3df& rotation,
                                                 const core::vector3df& scale);

}  // namespace scene
}  // namespace irr
