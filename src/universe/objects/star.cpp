#include "universe/objects/star.h"

#include <cmath>

#include "app/base/session_state.h"
#include "design/effects/effects.h"
#include "empire/empire.h"
#include "universe/objects/system_locks.h"

namespace {

// Seconds between two scans for objects inside the star.
constexpr float kCaptureInterval = 1.0f;
// Kind of the movers whose objects a star pushes out (mobile movers).
constexpr int kMobileMoverKind = 2;
// Speed at which a captured object is pushed out, per second.
constexpr float kPushOutSpeed = 20.0f;
// Share of the push that the object keeps as velocity.
constexpr float kPushVelocityShare = 0.25f;
// The push is not aimed when the centres (nearly) coincide.
constexpr float kPushAimSquared = 1e-8f;

// The effect a dying star leaves on every other object of its system: it
// lasts this long, and reaches an object after its distance / this speed.
const irr::core::stringw kStarDamageEffect = L"star_damage";
constexpr float kStarDamageDuration = 10.0f;
constexpr float kStarDamageSpeed = 50.0f;

// Both objects are in the same container, so their positions compare as
// they stand.
bool overlaps(const generic_object& star, const generic_object& object) {
  const float reach = star.radius + object.radius;
  return (object.position - star.position).getLengthSQ() <= reach * reach;
}

}  // namespace

// The star does not count in its system's statistics: it takes the system
// as its container directly, without a container change.
objStar::objStar(generic_object* system, MoveHandler* starMover)
    : generic_object(getEmpireByID(kSpaceEmpireID), nullptr, starMover) {
  if (system == nullptr)
    return;
  system->grab();
  container.store(system);
  solarSystem* lock = asSystemLock(system);
  lockSolarSystem(lock);
  system->addChild(this);
  unlockSolarSystem(lock);
}

objStar::objStar(SaveStream& stream, generic_object* system) : generic_object(stream, system) {
  loadOwnFields(stream);
}

objStar::~objStar() {
  for (irr::u32 i = 0; i < captured.size(); ++i)
    captured[i]->drop();
}

void objStar::scanForCaptures() {
  generic_object* system = container.load();
  if (system == nullptr)
    return;
  for (irr::u32 i = 0; i < system->children.size(); ++i) {
    generic_object* object = system->children[i].get();
    if (object->getType() == OT_Star || object->mover == nullptr || object->mover->getKind() != kMobileMoverKind ||
        !overlaps(*this, *object))
      continue;
    if (captured.binary_search(object) >= 0)  // sorts first when needed
      continue;
    object->grab();
    captured.push_back(object);  // marks the array unsorted
  }
}

void objStar::tick(float seconds) {
  captureTimer += seconds;
  if (captureTimer > kCaptureInterval) {
    scanForCaptures();
    captureTimer = 0.0f;
  }

  generic_object* system = container.load();
  irr::u32 i = 0;
  while (i < captured.size()) {
    generic_object* object = captured[i];
    if (system == nullptr || object->container.load() != system || !overlaps(*this, *object)) {
      captured.erase(i);  // keeps the order, and so the sorted flag
      object->drop();
      continue;
    }
    vector3df push = object->position - position;
    const float lengthSquared = push.getLengthSQ();
    if (std::fabs(lengthSquared) > kPushAimSquared)
      push = push / std::sqrt(lengthSquared) * seconds * kPushOutSpeed;
    object->position += push;
    object->velocity += push * kPushVelocityShare;
    ++i;
  }

  generic_object::tick(seconds);
}

void objStar::destroyNow(bool quiet) {
  if (isValid() && gameRunning.load() && !quiet) {
    const irr::s32 index = findEffectIndex(kStarDamageEffect);
    if (index >= 0) {
      effect_data values;
      values.effect = effectRegistry()[static_cast<irr::u32>(index)].value;
      // Reached into from elsewhere (a script, the console), the star's
      // system must be held while its children are walked.
      lockContainer();
      generic_object* system = container.load();
      // An effect without delay starts on the spot and may change the
      // system's children: walk a copy.
      const irr::core::array<heldPointer<generic_object>> targets =
          system != nullptr ? system->children : irr::core::array<heldPointer<generic_object>>();
      for (irr::u32 i = 0; i < targets.size(); ++i) {
        generic_object* object = targets[i].get();
        if (object == this)
          continue;
        const float distance = (object->position - position).getLength();
        object->addTimedEffect(values, kStarDamageDuration, distance / kStarDamageSpeed, this, nullptr, nullptr);
      }
      unlockContainer();
    }
  }
  generic_object::destroyNow(quiet);
}
