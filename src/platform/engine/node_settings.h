// Per-node user settings and the node being drawn: what our engine build
// adds to scene nodes.
//
// A node of our own classes (the empty settings node, the beam, the rotating
// billboard) may carry one INodeUserSettings object, counted: the node grabs
// it and drops it when replaced or when the node goes. Whenever such a node
// computes its absolute transformation, the settings' transformation hook
// gets the node and that transformation, and may change it (a node drawn a
// fixed distance toward the camera, for example). Shader constants read the
// settings of the node being drawn, which our nodes announce while they
// draw. Engine nodes of the stock classes carry no settings.
#pragma once

#include <irrlicht.h>

namespace irr {
namespace scene {

class INodeUserSettings : public virtual IReferenceCounted {
 public:
  // Called each time the node's absolute transformation is computed, after
  // the parent's and the node's own transformations are combined.
  virtual void OnTransformation(ISceneNode* node, core::matrix4& transformation) {
    (void)node;
    (void)transformation;
  }
};

// The settings slot of our own scene node classes.
class IUserSettingsNode {
 public:
  IUserSettingsNode() = default;
  IUserSettingsNode(const IUserSettingsNode&) = delete;
  IUserSettingsNode& operator=(const IUserSettingsNode&) = delete;
  virtual ~IUserSettingsNode();

  INodeUserSettings* getUserSettings() const { return settings_; }
  // Grabs `settings` (null clears) and drops the ones held before.
  void setUserSettings(INodeUserSettings* settings);

 protected:
  // Runs the hook of the settings held, if any, on `transformation`.
  void applyUserSettings(ISceneNode* node, core::matrix4& transformation);

 private:
  INodeUserSettings* settings_ = nullptr;
};

// The settings that `node` carries; null for none and for stock engine nodes.
INodeUserSettings* getNodeUserSettings(ISceneNode* node);

// The node whose drawing runs now (null outside drawing). Drawing happens on
// the main thread only.
ISceneNode* getNodeBeingDrawn();
void setNodeBeingDrawn(ISceneNode* node);

// Marks `node` as the node being drawn for one scope.
class NodeDrawingScope {
 public:
  explicit NodeDrawingScope(ISceneNode* node) : previous_(getNodeBeingDrawn()) { setNodeBeingDrawn(node); }
  ~NodeDrawingScope() { setNodeBeingDrawn(previous_); }
  NodeDrawingScope(const NodeDrawingScope&) = delete;
  NodeDrawingScope& operator=(const NodeDrawingScope&) = delete;

 private:
  ISceneNode* previous_;
};

// An empty scene node (it draws nothing, its children are drawn) that may
// carry user settings.
class CSettingsEmptySceneNode : public ISceneNode, public IUserSettingsNode {
 public:
  CSettingsEmptySceneNode(ISceneNode* parent, ISceneManager* manager, s32 id);

  void OnRegisterSceneNode() override;
  void render() override {}
  const core::aabbox3d<f32>& getBoundingBox() const override { return box_; }
  void updateAbsolutePosition() override;
  ESCENE_NODE_TYPE getType() const override { return ESNT_EMPTY; }

 private:
  core::aabbox3d<f32> box_;
};

// Adds an empty settings node under `parent` (the scene root when null). The
// scene holds the node; the caller gets no reference of its own.
CSettingsEmptySceneNode* addSettingsEmptySceneNode(ISceneManager* manager, ISceneNode* parent, s32 id);

}  // namespace scene
}  // namespace irr
