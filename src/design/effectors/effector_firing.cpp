// Firing an effector: its caused effects go to the target (or, for an area
// effect, to the objects around the source) as timed effects, and one
// graphics call is queued for the players.
#include "design/effectors/effect_gfx.h"
#include "design/effectors/effector.h"
#include "universe/objects/game_object.h"
#include "universe/objects/held_pointer.h"
#include "universe/objects/solar_system.h"

namespace {

// Gives every caused effect to `receiver`. With `stopOnRefusal`, a refused
// effect ends the giving and gives false.
bool giveEffects(generic_object* receiver, const effector_def* def, const effector* eff, float delay,
                 generic_object* source, SysRef* eventSource, SysRef* eventDest, bool stopOnRefusal = true) {
  const irr::u32 count = def->effects.size() < eff->effects.size() ? def->effects.size() : eff->effects.size();
  for (irr::u32 i = 0; i < count; ++i) {
    const EffectorEffectRecord& record = eff->effects[i];
    if (!receiver->addTimedEffect(record.data, record.duration, delay, source, eventSource, eventDest) &&
        stopOnRefusal)
      return false;
  }
  return true;
}

// The area kind: every object of the source's star system (other than the
// source) within reach of the burst and accepted as a target receives the
// effects; one burst call is queued whatever was hit.
void fireArea(const effector_def* def, const effector* eff, generic_object* source, SysRef* eventSource,
              SysRef* eventDest) {
  generic_object* system = source->container.load();
  if (system == nullptr || system->getType() != OT_System)
    return;
  const float reach = source->radius + eff->range;
  // By index, with the size read each time: a hook of a caused effect may
  // add or remove children of the system.
  for (irr::u32 i = 0; i < system->children.size(); ++i) {
    generic_object* object = system->children[i].get();
    // A destroyed object would keep a timed effect it never ticks.
    if (object == nullptr || object == source || !object->isValid())
      continue;
    const float limit = reach + object->radius;
    if ((object->position - source->position).getLengthSQ() > limit * limit)
      continue;
    if (!effectorCanTarget(def, source, object, eff))
      continue;
    const heldPointer<generic_object> hit(object);
    giveEffects(object, def, eff, 0.0f, source, eventSource, eventDest, false);
  }
  queueEffGfxCall(new EffGfxAOE(&def->gfx, source, eff->range));
}

}  // namespace

void fireEffector(EffectEvent* event, const effector_def* def, const effector* eff) {
  if (event == nullptr || def == nullptr || eff == nullptr)
    return;
  generic_object* source = event->obj;
  generic_object* target = event->target;
  if (source == nullptr || !source->isValid() || (target != nullptr && !target->isValid()))
    return;
  const uint32_t kind = def->physicalType;
  if (kind > EPT_AreaOfEffect)
    return;
  // Every kind but the area burst acts on a target.
  if (kind != EPT_AreaOfEffect && target == nullptr)
    return;

  const heldPointer<generic_object> heldSource(source);
  const heldPointer<generic_object> heldTarget(target);
  SysRef* eventSource = event->sourceKind == 1 ? event->source : nullptr;
  SysRef* eventDest = event->destKind == 1 ? event->dest : nullptr;

  switch (kind) {
    case EPT_Instant:
      if (!giveEffects(target, def, eff, 0.0f, source, eventSource, eventDest))
        return;
      if (source != target)
        queueEffGfxCall(new EffGfxInstant(&def->gfx, source, target));
      return;
    case EPT_Beam: {
      if (!giveEffects(target, def, eff, 0.0f, source, eventSource, eventDest))
        return;
      const float duration = def->effects.size() > 0 && eff->effects.size() > 0 ? eff->effects[0].duration : 1.0f;
      queueEffGfxCall(new EffGfxBeam(&def->gfx, source, target, duration));
      return;
    }
    case EPT_Bullet: {
      // A projectile that does not move (speed 0 or less) would never arrive
      // and its effects would wait forever: it hits at once instead.
      const float distance = (source->getPosition() - target->getPosition()).getLength();
      const float delay = eff->speed > 0.0f ? distance / eff->speed : 0.0f;
      if (!giveEffects(target, def, eff, delay, source, eventSource, eventDest))
        return;
      queueEffGfxCall(new EffGfxBullet(&def->gfx, source, target, delay, eff->speed));
      return;
    }
    case EPT_Missile:
      giveEffects(target, def, eff, 0.0f, source, eventSource, eventDest, false);
      return;
    case EPT_AreaOfEffect:
      fireArea(def, eff, source, eventSource, eventDest);
      return;
    default:
      return;
  }
}
