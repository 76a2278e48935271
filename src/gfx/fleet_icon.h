// The fleet-leader icon: a camera-facing billboard with the "fleet_leader"
// material that marks the local player's fleet commanders in the strategic
// view, in the empire's colour and scaled with the camera distance. A game
// object adds it to its graphics object when it starts commanding a fleet
// and removes it when it stops (generic_object::setAI).
#pragma once

#include "gfx/graphic_extension.h"

namespace irr {
namespace scene {
class IBillboardSceneNode;
}
}  // namespace irr

class fleet_icon : public graphicExtension {
 public:
  // A hidden billboard beside the object's node (under the node's parent).
  // An object without a node gets an icon that shows nothing.
  explicit fleet_icon(graphicsObject& owner);
  // Takes the billboard out of the scene.
  ~fleet_icon() override;

  // Shows the icon only for the local player's empire, and not while the
  // object is hidden: coloured, sized min(distance x 0.06, 128) and placed
  // that size above the object along the camera's up vector.
  void update(graphicsObject& owner) override;
  void setVisible(bool visible) override;

  irr::scene::IBillboardSceneNode* getBillboard() const { return billboard_; }

 private:
  irr::scene::IBillboardSceneNode* billboard_ = nullptr;  // grabbed
};

// What a game object does to its graphics object when it starts or stops
// commanding a fleet: adds one new icon, or removes (deletes) every icon.
void addFleetIcon(graphicsObject& graphics);
void removeFleetIcons(graphicsObject& graphics);
