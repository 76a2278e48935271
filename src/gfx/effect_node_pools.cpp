#include "gfx/effect_node_pools.h"

#include <irrlicht.h>

#include "app/base/engine.h"

namespace {

irr::scene::ISceneNode* effectNodes[kEffectNodeCount] = {};
unsigned effectNodeIndex = 0;
irr::scene::ISceneNode* burstNodes[kBurstNodeCount] = {};

template <unsigned N>
void createRing(irr::scene::ISceneNode* (&ring)[N]) {
  if (engine.scene == nullptr)
    return;
  for (irr::scene::ISceneNode*& node : ring) {
    node = engine.scene->addEmptySceneNode(nullptr, -1);
    if (node != nullptr)
      node->grab();
  }
}

template <unsigned N>
void releaseRing(irr::scene::ISceneNode* (&ring)[N]) {
  for (irr::scene::ISceneNode*& node : ring) {
    if (node == nullptr)
      continue;
    node->remove();
    node->drop();
    node = nullptr;
  }
}

}  // namespace

void createEffectNodePool() {
  createRing(effectNodes);
  effectNodeIndex = 0;
}

void releaseEffectNodePool() { releaseRing(effectNodes); }

void createBurstNodePool() { createRing(burstNodes); }

void releaseBurstNodePool() { releaseRing(burstNodes); }

irr::scene::ISceneNode* nextPooledEffectNode() {
  irr::scene::ISceneNode* node = effectNodes[effectNodeIndex];
  effectNodeIndex = (effectNodeIndex + 1) % kEffectNodeCount;
  return node;
}

irr::scene::ISceneNode* burstPoolNode(unsigned index) {
  return index < kBurstNodeCount ? burstNodes[index] : nullptr;
}
