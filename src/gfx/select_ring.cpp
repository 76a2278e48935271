#include "gfx/select_ring.h"

#include "app/base/config.h"
#include "gfx/game_camera.h"

namespace irr {
namespace scene {

namespace {

// Two triangles over the four corners, shared by every ring.
const u16 kRingIndices[6] = {0, 1, 2, 1, 2, 3};

ISceneManager* managerOf(ISceneNode* parent, ISceneManager* manager) {
  return manager != nullptr ? manager : parent->getSceneManager();
}

ISceneNode* parentOrRoot(ISceneNode* parent, ISceneManager* manager) {
  return parent != nullptr ? parent : manager->getRootSceneNode();
}

}  // namespace

CSelectRing::CSelectRing(ISceneNode* parent, f32 radius, video::SColor colour, ISceneManager* manager)
    : ISceneNode(parentOrRoot(parent, managerOf(parent, manager)), managerOf(parent, manager), -1) {
  setRadius(radius, colour);
}

CSelectRing::~CSelectRing() = default;

void CSelectRing::setRadius(f32 radius, video::SColor colour) {
  const core::vector3df up(0.0f, 1.0f, 0.0f);
  vertices_[0] = video::S3DVertex(core::vector3df(-radius, 0.0f, -radius), up, colour, core::vector2df(0.0f, 0.0f));
  vertices_[1] = video::S3DVertex(core::vector3df(-radius, 0.0f, radius), up, colour, core::vector2df(1.0f, 0.0f));
  vertices_[2] = video::S3DVertex(core::vector3df(radius, 0.0f, -radius), up, colour, core::vector2df(0.0f, 1.0f));
  vertices_[3] = video::S3DVertex(core::vector3df(radius, 0.0f, radius), up, colour, core::vector2df(1.0f, 1.0f));
  box_ = core::aabbox3d<f32>(-radius, -0.01f, -radius, radius, 0.01f, radius);
}

void CSelectRing::OnRegisterSceneNode() {
  if (IsVisible)
    SceneManager->registerNodeForRendering(this);
  ISceneNode::OnRegisterSceneNode();
}

void CSelectRing::updateAbsolutePosition() {
  ISceneNode::updateAbsolutePosition();
  applyUserSettings(this, AbsoluteTransformation);
}

void CSelectRing::render() {
  const NodeDrawingScope drawing(this);
  video::IVideoDriver* driver = SceneManager->getVideoDriver();
  driver->setTransform(video::ETS_WORLD, AbsoluteTransformation);
  driver->setMaterial(material_);
  driver->drawIndexedTriangleList(vertices_, 4, kRingIndices, 2);
}

video::SMaterial& CSelectRing::getMaterial(u32 index) {
  (void)index;
  return material_;
}

LOD_Manager::LOD_Manager(f32 scale) : scaleSquared(scale * scale) {}

f32 LOD_Manager::levelValue(f32 distanceSquared) const {
  // The configured resolution, not the window's.
  const f32 pixels = static_cast<f32>(screenWidth) * static_cast<f32>(screenHeight);
  // A scale of 0 gives an infinite value: the coarsest level.
  return distanceSquared / (pixels * 10.0f * scaleSquared);
}

s32 LOD_Manager::levelFor(f32 value) const {
  if (hasThirdLevel) {
    if (value > firstThreshold && value > secondThreshold)
      return 2;
    return value > firstThreshold ? 1 : 0;
  }
  return value > firstThreshold ? 1 : 0;
}

void LOD_Manager::animateNode(ISceneNode* node, u32 timeMs) {
  (void)timeMs;
  if (node == nullptr || node->getSceneManager() == nullptr)
    return;
  ICameraSceneNode* camera = node->getSceneManager()->getActiveCamera();
  if (camera == nullptr)
    return;
  const f32 distanceSquared =
      static_cast<f32>(camera->getAbsolutePosition().getDistanceFromSQ(node->getAbsolutePosition()));
  const s32 level = levelFor(levelValue(distanceSquared));
  if (level == currentLevel)
    return;
  auto* meshNode = dynamic_cast<IMeshSceneNode*>(node);
  IMesh* mesh = level == 0 ? firstMesh : (level == 1 ? secondMesh : thirdMesh);
  if (meshNode == nullptr || mesh == nullptr)
    return;
  currentLevel = level;
  const bool hasMaterial = node->getMaterialCount() > 0;
  video::SMaterial kept;
  if (hasMaterial)
    kept = node->getMaterial(0);
  meshNode->setMesh(mesh);
  if (hasMaterial && node->getMaterialCount() > 0)
    node->getMaterial(0) = kept;
}

ISceneNodeAnimator* LOD_Manager::createClone(ISceneNode* node, ISceneManager* newManager) {
  (void)node;
  (void)newManager;
  return nullptr;
}

bool LOD_Manager::OnEvent(const SEvent& event) {
  (void)event;
  return false;
}

}  // namespace scene
}  // namespace irr

void approachCam::OnTransformation(irr::scene::ISceneNode* node, irr::core::matrix4& transformation) {
  if (node == nullptr || node->getParent() == nullptr)
    return;
  irr::scene::ISceneNode* camera = gameCamera.node;
  if (camera == nullptr && node->getSceneManager() != nullptr)
    camera = node->getSceneManager()->getActiveCamera();
  if (camera == nullptr)
    return;
  irr::core::vector3df toward = camera->getAbsolutePosition() - node->getParent()->getAbsolutePosition();
  if (!irr::core::iszero(toward.getLengthSQ(), 0.00000001f))
    toward.setLength(distance);
  transformation.setTranslation(transformation.getTranslation() + toward);
}
