#include "platform/engine/node_settings.h"

namespace irr {
namespace scene {

namespace {
ISceneNode* nodeBeingDrawn = nullptr;
}

IUserSettingsNode::~IUserSettingsNode() {
  if (settings_ != nullptr)
    settings_->drop();
}

void IUserSettingsNode::setUserSettings(INodeUserSettings* settings) {
  if (settings != nullptr)
    settings->grab();
  if (settings_ != nullptr)
    settings_->drop();
  settings_ = settings;
}

void IUserSettingsNode::applyUserSettings(ISceneNode* node, core::matrix4& transformation) {
  if (settings_ != nullptr)
    settings_->OnTransformation(node, transformation);
}

INodeUserSettings* getNodeUserSettings(ISceneNode* node) {
  const auto* carrier = dynamic_cast<IUserSettingsNode*>(node);
  return carrier != nullptr ? carrier->getUserSettings() : nullptr;
}

ISceneNode* getNodeBeingDrawn() { return nodeBeingDrawn; }

void setNodeBeingDrawn(ISceneNode* node) { nodeBeingDrawn = node; }

CSettingsEmptySceneNode::CSettingsEmptySceneNode(ISceneNode* parent, ISceneManager* manager, s32 id)
    : ISceneNode(parent, manager, id) {
  setAutomaticCulling(EAC_OFF);
}

void CSettingsEmptySceneNode::OnRegisterSceneNode() {
  if (IsVisible)
    ISceneNode::OnRegisterSceneNode();
}

void CSettingsEmptySceneNode::updateAbsolutePosition() {
  ISceneNode::updateAbsolutePosition();
  applyUserSettings(this, AbsoluteTransformation);
}

CSettingsEmptySceneNode* addSettingsEmptySceneNode(ISceneManager* manager, ISceneNode* parent, s32 id) {
  if (manager == nullptr)
    return nullptr;
  if (parent == nullptr)
    parent = manager->getRootSceneNode();
  auto* node = new CSettingsEmptySceneNode(parent, manager, id);
  node->drop();  // the parent holds it
  return node;
}

}  // namespace scene
}  // namespace irr
