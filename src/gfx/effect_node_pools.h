// Two rings of empty scene nodes that short-lived effects reuse instead of
// making nodes of their own: 50 effect nodes handed out round-robin to the
// beams and bullets of weapon effects (never handed back), and 10 burst
// nodes whose index the particle bursts keep themselves. Both live for one
// game session, on the main thread.
#pragma once

namespace irr {
namespace scene {
class ISceneNode;
}
}  // namespace irr

constexpr unsigned kEffectNodeCount = 50;
constexpr unsigned kBurstNodeCount = 10;

// Each creator adds its nodes under the scene root (id -1) and grabs each;
// each releaser removes its nodes from the scene and drops them.
void createEffectNodePool();
void releaseEffectNodePool();
void createBurstNodePool();
void releaseBurstNodePool();

// The effect node at the ring's index; the index moves on by one, round the
// ring. Null while the ring does not exist.
irr::scene::ISceneNode* nextPooledEffectNode();

// Burst node `index` (0 to 9), or null.
irr::scene::ISceneNode* burstPoolNode(unsigned index);
