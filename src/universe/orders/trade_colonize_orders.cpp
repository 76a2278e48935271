// `trade_order` carries the traded resources between a customer that runs
// low and a supplier of the same owner; `colonize_order` picks a planet to
// take and sends the ship to use its colonising tool on it.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/common_strings.h"
#include "core/random.h"
#include "design/hull_list.h"
#include "empire/empire.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/object_states.h"
#include "universe/orders/cargo_orders.h"
#include "universe/orders/standing_orders.h"
#include "universe/orders/tool_orders.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"

namespace {

// Children a trade step looks at.
constexpr uint32_t kTradeScanSize = 5;
// A store under 45% full needs goods: 2 - fill above this.
constexpr float kNeedLimit = 1.55f;
// A supplier must score at least this much to be ranked at all.
constexpr float kSupplierMinimum = 1.01f;
constexpr uint32_t kColonizeInterval = 1000;

float clampedFill(float value, float max) {
  if (!(max > 0.0f))
    return 0.0f;
  return std::min(std::max(value / max, 0.0f), 1.0f);
}

// A ship whose layout does not let others take from it.
bool forbidsTaking(generic_object* object) {
  if (object->getType() != OT_Hulled)
    return false;
  auto* ship = dynamic_cast<objHulled*>(object);
  hull_list* layout = ship != nullptr ? ship->getHull() : nullptr;
  return layout != nullptr && !layout->targeting.allowFetch;
}

void dropObject(generic_object*& slot) {
  if (slot != nullptr) {
    slot->drop();
    slot = nullptr;
  }
}

// The object's own fill of a traded resource, its cargo included.
float ownTradeFill(generic_object& object, const irr::core::stringw& resource) {
  const State* own = getOrAddObjectState(&object, resource);
  const storedAmount& amount = own->value;
  const float capacity = amount.max + object.cargoSpace;
  if (!(capacity > 0.0f))
    return 0.0f;
  return std::min(std::max((amount.inCargo + amount.val) / capacity, 0.0f), 1.0f);
}

bool ownedByValidEmpire(const generic_object* planet) {
  const empire* owner = planet->getOwner();
  return owner != nullptr && owner->isValid();
}

}  // namespace

const irr::core::array<const irr::core::stringw*>& tradedResources() {
  // Initialised once, whichever thread gets here first; the others wait.
  static const irr::core::array<const irr::core::stringw*> kResources = [] {
    irr::core::array<const irr::core::stringw*> list;
    list.push_back(internCommonString(L"Metals"));
    list.push_back(internCommonString(L"Electronics"));
    list.push_back(internCommonString(L"AdvParts"));
    return list;
  }();
  return kResources;
}

trade_order::trade_order() { tradedResources(); }

trade_order::~trade_order() { dropObject(customer); }

Order* trade_order::clone() const { return new trade_order(); }

irr::core::stringw trade_order::describe() const { return L"Trade (Idle)"; }

OrderResult trade_order::execute(generic_object& object) {
  generic_object* system = object.container.load();
  if (system == nullptr || system->getType() == OT_Galaxy)
    return Waiting;

  const auto& children = system->children;
  const uint32_t count = children.size();
  const uint32_t looks = std::min(count, kTradeScanSize);
  const auto& resources = tradedResources();
  const uint32_t resourceCount = resources.size();

  if (customer == nullptr) {
    for (uint32_t n = 0; n < looks; ++n) {
      const uint32_t index = cursor % count;
      cursor = index + 1;
      generic_object* child = children[index].get();
      if (child == nullptr || child == &object || !child->isValid() || child->getOwner() != object.getOwner())
        continue;
      float score = static_cast<float>(child->buildQueue.size()) + 0.3f;
      uint32_t mask = 0;
      for (uint32_t i = 0; i < resourceCount; ++i) {
        const State* state = findObjectState(child, *resources[i]);
        if (state == nullptr || !(state->value.max > 0.0f))
          continue;
        const float need = 2.0f - clampedFill(state->value.val, state->value.max);
        if (need > kNeedLimit) {
          mask |= 1u << i;
          score *= need;
        }
      }
      if (mask != 0 && (randomf(0.4f) + 0.8f) * score > thresholdScore) {
        child->grab();
        dropObject(customer);
        customer = child;
        needMask = mask;
      }
    }
    examined += looks;
    if (customer != nullptr) {
      examined = 0;
      return Waiting;
    }
    if (examined < count)
      return Waiting;
    examined = 0;
    return Running;
  }

  generic_object* supplier = nullptr;
  float bestRank = 1.0f;
  for (uint32_t n = 0; n < looks; ++n) {
    const uint32_t index = cursor % count;
    cursor = index + 1;
    generic_object* candidate = children[index].get();
    if (candidate == nullptr || candidate == &object || candidate == customer || !candidate->isValid() ||
        candidate->getOwner() != object.getOwner() || forbidsTaking(candidate))
      continue;
    float score = 1.0f / (static_cast<float>(candidate->buildQueue.size()) + 1.0f);
    for (uint32_t i = 0; i < resourceCount; ++i) {
      if ((needMask & (1u << i)) == 0)
        continue;
      const State* state = findObjectState(candidate, *resources[i]);
      if (state == nullptr)
        continue;
      if (state->value.max <= 0.0f)
        score *= 0.7f;
      else
        score *= clampedFill(state->value.val, state->value.max) + 0.7f;
    }
    if (!(score >= kSupplierMinimum))
      continue;
    const float rank = (1.0f + randomf(0.2f)) * score;
    if (rank > bestRank) {
      bestRank = rank;
      supplier = candidate;
    }
  }
  examined += looks;

  if (supplier == nullptr) {
    if (examined < count)
      return Waiting;
    examined = 0;
    thresholdScore = 1.0f;
    dropObject(customer);
    return Running;
  }

  // Each order goes in front of the one made before it, so the queue runs
  // them backwards: load at the supplier, then deliver to the customer.
  const float share = (object.cargoSpace - object.cargoUsed) / static_cast<float>(resourceCount);
  auto put = [&object](uint8_t mode, float amount, generic_object* other, const irr::core::stringw& resource) {
    if (object.ai != nullptr)
      object.ai->addOrder(new transfer_order(mode, amount, 0.0f, other, resource, true), false);
  };
  for (uint32_t i = 0; i < resourceCount; ++i)
    if ((needMask & (1u << i)) != 0)
      put(TM_Percent, 1.0f, customer, *resources[i]);
  for (uint32_t i = 0; i < resourceCount; ++i) {
    if ((needMask & (1u << i)) == 0)
      put(TM_Percent, 1.0f, supplier, *resources[i]);
    else if (ownTradeFill(object, *resources[i]) <= share)
      put(TM_From | TM_Percent, 1.0f, supplier, *resources[i]);
  }
  for (uint32_t i = 0; i < resourceCount; ++i) {
    if ((needMask & (1u << i)) == 0) {
      put(TM_Percent, 1.0f, supplier, *resources[i]);
    } else {
      const float fill = ownTradeFill(object, *resources[i]);
      if (fill <= share)
        put(TM_From | TM_Amount, (1.0f - fill) * (1.0f - fill) * share, supplier, *resources[i]);
    }
  }
  examined = 0;
  thresholdScore = 1.0f;
  dropObject(customer);
  return Yielded;
}

colonize_order::colonize_order() {
  timer.interval = kColonizeInterval;
  timer.nextCheck = objectRealTimeMs() + kColonizeInterval;
}

Order* colonize_order::clone() const {
  auto* copy = new colonize_order();
  copy->timer.interval = timer.interval;
  copy->timer.nextCheck = timer.nextCheck;
  return copy;
}

irr::core::stringw colonize_order::describe() const { return L"Colonize system (Idle)"; }

OrderResult colonize_order::execute(generic_object& object) {
  const uint32_t now = objectRealTimeMs();
  if (now < timer.nextCheck)
    return Running;
  timer.nextCheck = now + timer.interval;

  generic_object* system = &object;
  while (system != nullptr && system->getType() != OT_System)
    system = system->container.load();
  if (system == nullptr)
    return Done;

  empire* owner = object.getOwner();
  if (owner == nullptr)
    return Running;

  generic_object* winner = nullptr;  // counted while the lock is let go
  std::vector<uint32_t> taken;
  {
    empire::AreaGuard guard;
    owner->lockArea(guard, EA_ColonizationSets, false);

    // Only a planet with room for at least one structure can win: the best
    // count starts at 0 and must be beaten.
    unsigned best = 0;
    for (uint32_t i = 0; i < system->children.size(); ++i) {
      generic_object* child = system->children[i].get();
      if (child == nullptr || child->getType() != OT_Planet || ownedByValidEmpire(child) ||
          owner->colonizing.count(child->uid) != 0)
        continue;
      const auto* planet = dynamic_cast<const objHabitation*>(child);
      if (planet == nullptr)
        continue;
      const unsigned count = static_cast<unsigned>(planet->getMaxStructureCount());
      if (count > best) {
        best = count;
        winner = child;
      }
    }
    if (winner != nullptr)
      winner->grab();

    if (winner == nullptr) {
      // Planets that were taken meanwhile are only noted here and erased
      // once the walk is over, under the write lock.
      const vector3df from = object.getPosition();
      float nearest = 0.0f;
      for (uint32_t uid : owner->colonizeQueue) {
        generic_object* planet = getObjectByUIDRef(uid);
        if (planet == nullptr)
          continue;
        if (ownedByValidEmpire(planet)) {
          taken.push_back(uid);
        } else if (planet->getType() == OT_Planet) {
          const float distance = planet->getPosition().getDistanceFromSQ(from);
          if (winner == nullptr || distance < nearest) {
            std::swap(winner, planet);
            nearest = distance;
          }
        }
        if (planet != nullptr)
          planet->drop();
      }
    }

    if (!taken.empty()) {
      owner->lockArea(guard, EA_ColonizationSets, true);
      for (uint32_t uid : taken)
        owner->colonizeQueue.erase(uid);
    }
  }

  if (winner == nullptr)
    return Running;
  // The use-tool order marks the planet, which takes the colonisation lock
  // itself: it is made once the lock above is let go.
  if (object.ai != nullptr)
    object.ai->addOrder(new use_tool_order(L"Colonizer", winner, &object, false, true), false);
  winner->drop();
  return object.ai != nullptr ? Yielded : Running;
}
