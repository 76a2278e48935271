// Timed effects on objects and damage: what an object's tick does with the
// effects it carries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "design/effects/effects.h"
#include "universe_fixture.h"

namespace object_effects_test {

namespace {

// An effect whose Tick does what the test says, and which records it.
class ScriptedEffect : public effect_handler {
 public:
  using Action = void (*)(EffectEvent* event);
  explicit ScriptedEffect(const char* label, Action action = nullptr) : label_(label), action_(action) {}
  void OnActive(EffectEvent*, effect_data*) override {}
  void OnDeactive(EffectEvent*, effect_data*) override {}
  void OnConstruct(EffectEvent*, effect_data*) override {}
  void OnDestruct(EffectEvent*, effect_data*) override {}
  void Once(EffectEvent*, effect_data*) override {}
  void Tick(EffectEvent* event, effect_data*) override {
    ran().push_back(label_);
    if (action_ != nullptr)
      action_(event);
  }
  void OnGlobalDamage(EffectEvent*, effect_data*) override {}
  void OnDamage(EffectEvent*, effect_data*) override {}

  static std::vector<std::string>& ran() {
    static std::vector<std::string> calls;
    return calls;
  }

 private:
  const char* label_;
  Action action_;
};

void endAtOnce(EffectEvent* event) { event->target->destroyNow(false); }

void death(EffectEvent* event) {
  // The plain native "Death" acts on the event's object.
  const PlainFuncEntry* entry = nullptr;
  const NamedVar<const PlainFuncEntry*>::Registry& plain = plainFunctionRegistry();
  const irr::s32 index = NamedVar<const PlainFuncEntry*>::findNoSort(plain, L"Death");
  ASSERT_GE(index, 0);
  entry = plain[index].value;
  effect_data values;
  EffectEvent onTarget(event->target, event->target, 0.0f);
  entry->apply(&onTarget, &values);
}

using ObjectEffectsTest = UniverseTest;

// Starts a long timed effect of `effect` on `object`, caused by itself.
void start(generic_object* object, effect_handler& effect) {
  effect_data values;
  values.effect = &effect;
  ASSERT_TRUE(object->addTimedEffect(values, 100.0f, 0.0f, object, nullptr, nullptr));
}

TEST_F(ObjectEffectsTest, AnEffectThatEndsItsObjectStopsTheTickAtOnce) {
  ScriptedEffect::ran().clear();
  ScriptedEffect first("first");
  ScriptedEffect ender("ender", endAtOnce);
  ScriptedEffect last("last");
  solarSystem* system = new solarSystem();
  TestObject* object = new TestObject(red);
  object->setContainer(system);
  // Effects run from the last added to the first.
  start(object, first);
  start(object, ender);
  start(object, last);
  object->grab();
  object->tick(0.25f);
  EXPECT_EQ(ScriptedEffect::ran(), (std::vector<std::string>{"last", "ender"}));
  EXPECT_FALSE(object->isValid());
  EXPECT_EQ(object->timedEffects.size(), 0u) << "the effects went with the object";
  object->drop();
  system->destroyNow(false);
}

TEST_F(ObjectEffectsTest, DeathOnlyAsksAndTheTickCarriesItOut) {
  ScriptedEffect::ran().clear();
  ScriptedEffect first("first");
  ScriptedEffect dying("dying", death);
  solarSystem* system = new solarSystem();
  TestObject* object = new TestObject(red);
  object->setContainer(system);
  object->setFlag(FLAG_QUIET_DESTROY);
  start(object, first);
  start(object, dying);
  object->grab();
  object->tick(0.25f);
  EXPECT_EQ(ScriptedEffect::ran(), (std::vector<std::string>{"dying", "first"})) << "the other effects still run";
  EXPECT_FALSE(object->isValid()) << "destroyed in the same tick";
  EXPECT_FALSE(object->hasFlag(FLAG_QUIET_DESTROY)) << "not quietly";
  EXPECT_EQ(system->children.size(), 0u);
  object->drop();
  system->destroyNow(false);
}

TEST_F(ObjectEffectsTest, DisabledOrEndlessEffectsAreNotKept) {
  TestObject* object = new TestObject(red);
  effect_data none;  // no effect: disabled from the start
  EXPECT_FALSE(object->addTimedEffect(none, 10.0f, 0.0f, object, nullptr, nullptr));
  ScriptedEffect effect("e");
  effect_data values;
  values.effect = &effect;
  EXPECT_FALSE(object->addTimedEffect(values, -1.0f, 0.0f, object, nullptr, nullptr));
  EXPECT_EQ(object->timedEffects.size(), 0u);
  EXPECT_EQ(object->refCount.load(), 1) << "a refused effect lets go of its objects";
  object->destroyNow(false);
}

TEST_F(ObjectEffectsTest, DamageFillsTheDamageStateUntilTheObjectGoes) {
  TestObject* object = new TestObject(red);
  setObjectTestClock(5000);
  EffectEvent none(object, object, 0.0f);
  object->damage(none);  // no "Damage" state yet: made with a maximum of 0
  ASSERT_NE(findObjectState(object, L"Damage"), nullptr);
  EXPECT_TRUE(object->hasFlag(FLAG_DESTROY));
  EXPECT_EQ(object->lastAttacked, 5000u);
  object->clearFlag(FLAG_DESTROY);

  State* damage = findObjectState(object, L"Damage");
  damage->value.max = 10.0f;
  EffectEvent hit(object, object, 4.0f);
  object->damage(hit);
  EXPECT_FLOAT_EQ(damage->value.val, 4.0f);
  EXPECT_FALSE(object->hasFlag(FLAG_DESTROY));
  EffectEvent heavy(object, object, 7.0f);
  object->damage(heavy);
  EXPECT_FLOAT_EQ(damage->value.val, 10.0f);
  EXPECT_TRUE(object->hasFlag(FLAG_DESTROY));
  object->destroyNow(false);
}

}  // namespace

}  // namespace object_effects_test
