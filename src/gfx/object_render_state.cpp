#include "gfx/object_render_state.h"

#include <algorithm>

#include "empire/empire.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_states.h"

namespace {

constexpr uint8_t kStateReadsBetweenRefreshes = 15;
constexpr uint8_t kColourReadsBetweenRefreshes = 7;
constexpr uint8_t kColourReadsWithoutEmpire = 29;
constexpr float kChannelScale = 0.003921568859368563f;

}  // namespace

CObjectRenderStateAccess::Value CObjectRenderStateAccess::getValue(const irr::core::stringw& name) {
  auto at = std::lower_bound(values_.begin(), values_.end(), name,
                             [](const std::pair<irr::core::stringw, Value>& entry, const irr::core::stringw& key) {
                               return entry.first < key;
                             });
  Value result{0.0f, 0.0f, 0.0f, 0.0f};
  if (at != values_.end() && at->first == name)
    result = at->second;
  else
    values_.insert(at, {name, result});

  if (stateCountdown_ > 0) {
    --stateCountdown_;
    return result;
  }
  refreshStates();
  return result;
}

void CObjectRenderStateAccess::refreshStates() {
  if (owner == nullptr || !owner->tryLockContainer()) {
    stateCountdown_ = 1;
    return;
  }
  for (auto& entry : values_) {
    if (const State* state = findObjectState(owner, entry.first))
      entry.second = {state->value.val, state->value.max, state->value.inCargo, state->value.required};
  }
  owner->unlockContainer();
  stateCountdown_ = kStateReadsBetweenRefreshes;
}

std::array<float, 3> CObjectRenderStateAccess::getEmpireColour() {
  if (colourCountdown_ > 0) {
    --colourCountdown_;
    return colour_;
  }
  const empire* holder = owner != nullptr ? owner->getOwner() : nullptr;
  if (holder != nullptr && holder->isValid()) {
    const uint32_t argb = holder->color;
    colour_ = {static_cast<float>((argb >> 16) & 0xFF) * kChannelScale,
               static_cast<float>((argb >> 8) & 0xFF) * kChannelScale, static_cast<float>(argb & 0xFF) * kChannelScale};
    colourCountdown_ = kColourReadsBetweenRefreshes;
  } else {
    colourCountdown_ = kColourReadsWithoutEmpire;
  }
  return colour_;
}

bool CObjectRenderStateAccess::stateVector(const irr::core::stringw& name, irr::f32 (&out)[4]) {
  const Value value = getValue(name);
  for (int i = 0; i < 4; ++i)
    out[i] = value[static_cast<size_t>(i)];
  return true;
}

irr::video::SColorf CObjectRenderStateAccess::ownerColor() {
  const std::array<float, 3> colour = getEmpireColour();
  return irr::video::SColorf(colour[0], colour[1], colour[2], 1.0f);
}

irr::f32 CObjectRenderStateAccess::radius() { return owner != nullptr ? owner->radius : 0.0f; }

bool CObjectRenderStateAccess::lastAttackedMs(irr::u32& when) {
  if (owner == nullptr || owner->lastAttacked == 0)
    return false;
  when = owner->lastAttacked;
  return true;
}

IShaderObjectState* renderStateOfNode(irr::scene::ISceneNode* node) {
  return dynamic_cast<CObjectRenderStateAccess*>(irr::scene::getNodeUserSettings(node));
}
