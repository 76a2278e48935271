#include "gfx/fleet_icon.h"

#include <irrlicht.h>

#include <algorithm>

#include "empire/empire.h"
#include "gfx/game_camera.h"
#include "gfx/gfx_resources.h"
#include "gfx/graphics_object.h"
#include "universe/objects/game_object.h"

namespace {

// From about 2,133 units on the icon stays this large.
constexpr float kLargestIcon = 128.0f;
constexpr float kSizePerDistance = 0.06f;

irr::scene::ISceneNode* cameraNodeFor(irr::scene::ISceneNode* node) {
  if (gameCamera.node != nullptr)
    return gameCamera.node;
  return node->getSceneManager() != nullptr ? node->getSceneManager()->getActiveCamera() : nullptr;
}

}  // namespace

fleet_icon::fleet_icon(graphicsObject& owner) {
  irr::scene::ISceneNode* node = owner.getNode();
  if (node == nullptr || node->getSceneManager() == nullptr)
    return;
  const irr::video::SColor white(0xFFFFFFFFu);
  billboard_ = node->getSceneManager()->addBillboardSceneNode(node->getParent(), irr::core::dimension2df(10.0f, 10.0f),
                                                              irr::core::vector3df(0.0f, 0.0f, 0.0f), -1, white, white);
  if (billboard_ == nullptr)
    return;
  billboard_->getMaterial(0) = *getMaterial(L"fleet_leader");
  billboard_->setVisible(false);
  billboard_->grab();
}

fleet_icon::~fleet_icon() {
  if (billboard_ == nullptr)
    return;
  billboard_->remove();
  billboard_->drop();
}

void fleet_icon::setVisible(bool visible) {
  if (billboard_ != nullptr)
    billboard_->setVisible(visible);
}

void fleet_icon::update(graphicsObject& owner) {
  irr::scene::ISceneNode* node = owner.getNode();
  if (billboard_ == nullptr || node == nullptr)
    return;
  generic_object* object = owner.getOwner();
  empire* local = activeEmpire.load();
  empire* fleetOwner = object != nullptr ? object->getOwner() : nullptr;
  if (local == nullptr || fleetOwner != local || owner.isHidden()) {
    billboard_->setVisible(false);
    return;
  }
  billboard_->setVisible(true);
  const irr::video::SColor colour(fleetOwner->color);
  billboard_->setColor(colour);

  irr::scene::ISceneNode* camera = cameraNodeFor(node);
  if (camera == nullptr)
    return;
  const float distance =
      static_cast<float>(camera->getAbsolutePosition().getDistanceFrom(node->getAbsolutePosition()));
  const float size = std::min(distance * kSizePerDistance, kLargestIcon);
  irr::core::vector3df up(0.0f, 1.0f, 0.0f);
  if (auto* lens = dynamic_cast<irr::scene::ICameraSceneNode*>(camera))
    up = lens->getUpVector();
  if (billboard_->getParent() != node->getParent() && node->getParent() != nullptr)
    billboard_->setParent(node->getParent());
  billboard_->setSize(irr::core::dimension2df(size, size));
  billboard_->setPosition(node->getPosition() + up * size);
  billboard_->updateAbsolutePosition();
}

void addFleetIcon(graphicsObject& graphics) { graphics.addExtension(new fleet_icon(graphics)); }

void removeFleetIcons(graphicsObject& graphics) {
  // removeExtension searches from the end: walking down keeps the indices.
  for (irr::s32 i = static_cast<irr::s32>(graphics.getExtensions().size()) - 1; i >= 0; --i) {
    if (i >= static_cast<irr::s32>(graphics.getExtensions().size()))
      continue;
    if (auto* icon = dynamic_cast<fleet_icon*>(graphics.getExtensions()[static_cast<irr::u32>(i)]))
      graphics.removeExtension(icon);
  }
}
