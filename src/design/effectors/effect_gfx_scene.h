// How an effect graphics call shows on the local scene: the beam's animator,
// and the particle stages of the firing, hit and area particles.
//
// A call shows only between graphics objects still in the scene: an instant
// hit, a beam or a projectile needs both ends' graphics objects and shows
// nothing while both are faded out (fade above 0.5); an area burst needs the
// source's, not faded out. Particle systems start only for the effector's
// particle-effect names that are set (the firing and area particles use
// one, the hit particles the other); the loaded effectors leave both empty.
#pragma once

#include <irrlicht.h>

#include "universe/objects/held_pointer.h"

class graphicsObject;
namespace ps {
class IParticleStage;
}

// Moves a beam node along with its two ends and fades its colour from the
// start colour to the end colour; at the end time it hands the node to the
// scene manager's deletion queue. An end without a graphics object stays
// where it is.
class BeamAnimation : public irr::scene::ISceneNodeAnimator {
 public:
  // `source` and `target` may be null; each is held until the animator
  // goes. The offsets are firing points in each end's node frame; the times
  // are engine timer milliseconds.
  BeamAnimation(graphicsObject* source, const irr::core::vector3df& sourceOffset, graphicsObject* target,
                const irr::core::vector3df& targetOffset, irr::video::SColor startColour,
                irr::video::SColor endColour, irr::u32 startMs, irr::u32 endMs);

  // The node is a beam scene node; any other node only moves and is deleted
  // at the end.
  void animateNode(irr::scene::ISceneNode* node, irr::u32 timeMs) override;
  irr::scene::ISceneNodeAnimator* createClone(irr::scene::ISceneNode*,
                                              irr::scene::ISceneManager* = nullptr) override {
    return nullptr;
  }
  bool isEventReceiverEnabled() const override { return false; }
  bool OnEvent(const irr::SEvent&) override { return false; }
  irr::scene::ESCENE_NODE_ANIMATOR_TYPE getType() const override { return irr::scene::ESNAT_UNKNOWN; }
  bool hasFinished() const override { return finished_; }

  heldPointer<graphicsObject> source;
  heldPointer<graphicsObject> target;
  irr::core::vector3df sourceOffset;
  irr::core::vector3df targetOffset;
  irr::video::SColor startColour;
  irr::video::SColor endColour;
  irr::u32 startTime;
  irr::u32 endTime;

 private:
  bool finished_ = false;
};

// The stage of area particles around `at`: a random point of the shell
// between 1.1 radii and `range` (5 radii when no range is given) around the
// node's position. The caller gets one reference.
ps::IParticleStage* makeAreaParticleStage(graphicsObject* at, float range);

// Whether calls between these two graphics objects show (both present and
// in the scene, not both faded out); for an area burst `target` is null and
// only the source counts.
bool effectCallShows(const graphicsObject* source, const graphicsObject* target, bool area);
