#include "gfx/settings_mesh_node.h"

namespace irr {
namespace scene {

CSettingsMeshSceneNode::CSettingsMeshSceneNode(IMesh* mesh, ISceneNode* parent, ISceneManager* manager, s32 id,
                                               const core::vector3df& position, const core::vector3df& rotation,
                                               const core::vector3df& scale)
    : IMeshSceneNode(parent, manager, id, position, rotation, scale) {
  setMesh(mesh);
}

CSettingsMeshSceneNode::~CSettingsMeshSceneNode() {
  if (mesh_ != nullptr)
    mesh_->drop();
}

void CSettingsMeshSceneNode::setMesh(IMesh* mesh) {
  if (mesh == nullptr)
    return;  // as the engine's node: a null mesh changes nothing
  mesh->grab();
  if (mesh_ != nullptr)
    mesh_->drop();
  mesh_ = mesh;
  copyMaterials();
}

void CSettingsMeshSceneNode::copyMaterials() {
  materials_.clear();
  if (mesh_ == nullptr)
    return;
  for (u32 i = 0; i < mesh_->getMeshBufferCount(); ++i) {
    IMeshBuffer* buffer = mesh_->getMeshBuffer(i);
    materials_.push_back(buffer != nullptr ? buffer->getMaterial() : video::SMaterial());
  }
}

video::SMaterial& CSettingsMeshSceneNode::getMaterial(u32 index) {
  if (mesh_ != nullptr && readOnly_ && index < mesh_->getMeshBufferCount())
    return mesh_->getMeshBuffer(index)->getMaterial();
  if (index < materials_.size())
    return materials_[index];
  return ISceneNode::getMaterial(index);
}

u32 CSettingsMeshSceneNode::getMaterialCount() const {
  if (mesh_ != nullptr && readOnly_)
    return mesh_->getMeshBufferCount();
  return materials_.size();
}

const core::aabbox3d<f32>& CSettingsMeshSceneNode::getBoundingBox() const {
  return mesh_ != nullptr ? mesh_->getBoundingBox() : box_;
}

void CSettingsMeshSceneNode::OnRegisterSceneNode() {
  if (!IsVisible)
    return;
  video::IVideoDriver* driver = SceneManager->getVideoDriver();
  bool transparent = false;
  for (u32 i = 0; i < getMaterialCount(); ++i) {
    video::IMaterialRenderer* renderer = driver->getMaterialRenderer(getMaterial(i).MaterialType);
    if (renderer != nullptr && renderer->isTransparent())
      transparent = true;
  }
  SceneManager->registerNodeForRendering(this, transparent ? ESNRP_TRANSPARENT : ESNRP_SOLID);
  ISceneNode::OnRegisterSceneNode();
}

void CSettingsMeshSceneNode::render() {
  if (mesh_ == nullptr)
    return;
  video::IVideoDriver* driver = SceneManager->getVideoDriver();
  NodeDrawingScope drawing(this);
  driver->setTransform(video::ETS_WORLD, AbsoluteTransformation);
  for (u32 i = 0; i < mesh_->getMeshBufferCount(); ++i) {
    IMeshBuffer* buffer = mesh_->getMeshBuffer(i);
    if (buffer == nullptr)
      continue;
    driver->setMaterial(getMaterial(i));
    driver->drawMeshBuffer(buffer);
  }
}

void CSettingsMeshSceneNode::updateAbsolutePosition() {
  ISceneNode::updateAbsolutePosition();
  applyUserSettings(this, AbsoluteTransformation);
}

IShadowVolumeSceneNode* CSettingsMeshSceneNode::addShadowVolumeSceneNode(const IMesh* shadowMesh, s32 id,
                                                                         bool zfailmethod, f32 infinity) {
  (void)shadowMesh;
  (void)id;
  (void)zfailmethod;
  (void)infinity;
  return nullptr;
}

CSettingsMeshSceneNode* addSettingsMeshSceneNode(ISceneManager* manager, IMesh* mesh, ISceneNode* parent, s32 id,
                                                 const core::vector3df& position, const core::vector3df& rotation,
                                                 const core::vector3df& scale) {
  if (manager == nullptr)
    return nullptr;
  if (parent == nullptr)
    parent = manager->getRootSceneNode();
  auto* node = new CSettingsMeshSceneNode(mesh, parent, manager, id, position, rotation, scale);
  node->drop();  // the parent holds it
  return node;
}

}  // namespace scene
}  // namespace irr
