// Sub-system instances: evaluation of definitions loaded from a scratch
// file, the deep copy, and the factory's binding to an owner and its lock.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/formula.h"
#include "core/locks.h"
#include "core/named_values.h"
#include "core/threads.h"
#include "design/effectors/effector.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/subsystems/sub_system.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "universe/planets/planet.h"
#include "universe/universe_fixture.h"
#include "design/sub_system_fixture.h"

namespace sub_system_instance_test {

using irr::core::stringc;
using irr::core::stringw;

namespace {

// A value of an instance by list and name: "var", "cost", "consumes",
// "requires" or "hint"; NaN when absent.
float valueOf(const subSystem &instance, const std::string &list,
              const stringw &name) {
  const SubSystemDef &def = *instance.def;
  auto at = [&](const auto &named, const float *view) {
    const irr::s32 index = findPtrNamedVar(named, name);
    return index < 0 || view == nullptr ? std::nanf("") : view[index];
  };
  if (list == "var") {
    const irr::s32 index = findPtrNamedVar(def.variableIndex, name);
    return index < 0 ? std::nanf("")
                     : instance.values[def.variableIndex[index].value->index];
  }
  if (list == "cost")
    return at(def.costs, instance.costs);
  if (list == "consumes")
    return at(def.consumption, instance.consumption);
  if (list == "requires")
    return at(def.requirements, instance.requirements);
  return at(def.hints, instance.hints);
}

struct Expected {
  const char *list;
  const wchar_t *name;
  float value;
};

class SubSystemInstanceTest : public UniverseTest {
protected:
  void SetUp() override {
    UniverseTest::SetUp();
    folder_ = scratchDir();
    const std::string effects = (folder_ / "effects.txt").string();
    const std::string effectors = (folder_ / "effectors.txt").string();
    std::ofstream(effects, std::ios::binary) << "Name: Hit\nValue: Amount\n";
    std::ofstream(effectors, std::ios::binary)
        << "Effector: Laser\nValue: Damage\n";
    LogCapture log;
    loadEffects(effects.c_str());
    loadEffectors(effectors.c_str());
  }
  void TearDown() override {
    for (generic_object *object : made_)
      object->destroyNow(true);
    clearSubSystemDefs();
    clearEffectors();
    clearEffects();
    freeThreadLocals();
    UniverseTest::TearDown();
  }

  // Loads `text` as a sub-system file; the definition `name` (asserted).
  const SubSystemDef *load(const std::string &text, const wchar_t *name) {
    return subsystemtest::loadDefinition(folder_, text, name);
  }

  // The definition evaluated against a context holding only `scale` as
  // "Object.Scale".
  static std::unique_ptr<subSystem> evaluate(const SubSystemDef *def,
                                             float scale = 1.0f) {
    NameSpaces context;
    NamedValues object;
    object.set(L"Scale", scale);
    context.setSpace(&object, L"Object");
    std::unique_ptr<subSystem> instance(new subSystem());
    def->createInstance(instance.get(), context, nullptr);
    context.setSpace(nullptr, L"Object");
    EXPECT_EQ(context.spaces().size(), 0u)
        << "the evaluation left a binding behind";
    return instance;
  }

  objHabitation *planet(empire *owner) {
    auto *made = new objHabitation(owner, nullptr);
    made_.push_back(made);
    return made;
  }

  TestObject *object(empire *owner) {
    auto *made = new TestObject(owner);
    made_.push_back(made);
    return made;
  }

  std::filesystem::path folder_;
  std::vector<generic_object *> made_;
};

TEST_F(SubSystemInstanceTest, EvaluatesVariablesAndListsInTheirOrder) {
  struct Case {
    const char *text;
    bool available;
    std::vector<Expected> values;
  };
  const Case cases[] = {
      // A later variable sees an earlier one.
      {"System: S\nA: 2\nB: A*3\n", true, {{"var", L"A", 2}, {"var", L"B", 6}}},
      // Unavailable, yet everything is evaluated.
      {"System: S\nAvailable: 0\nA: 2\nCosts: Iron[A*2]\nConsumes:\nTo Run: "
       "Fuel[A]\n",
       false,
       {{"var", L"A", 2}, {"cost", L"Iron", 4}, {"consumes", L"Fuel", 2}}},
      {"System: S\nAvailable: 0.5\n", true, {}},
      // Built-ins: Size from the object's scale, Durability and Mass from Size.
      {"System: S\nSize: Scale*2\nLevel: 3\n",
       true,
       {{"var", L"{S}", 6},
        {"var", L"Durability", 6},
        {"var", L"Mass", 6},
        {"var", L"{L}", 3}}},
      {"System: S\nCosts: Zinc[1], Iron[2]\nRequires:\nTo Run: "
       "Power[A+1]\nHints: H[Size]\nA: 4\n",
       true,
       {{"cost", L"Iron", 2},
        {"cost", L"Zinc", 1},
        {"requires", L"Power", 5},
        {"hint", L"H", 3}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    const SubSystemDef *def = load(c.text, L"S");
    ASSERT_NE(def, nullptr);
    const std::unique_ptr<subSystem> instance = evaluate(def, 3.0f);
    EXPECT_EQ(instance->def, def);
    EXPECT_EQ(instance->available, c.available);
    for (const Expected &e : c.values)
      EXPECT_FLOAT_EQ(valueOf(*instance, e.list, e.name), e.value)
          << e.list << " " << stringc(e.name).c_str();
    clearSubSystemDefs();
  }
}

TEST_F(SubSystemInstanceTest, BlockHoldsVariablesThenSortedListsWithViews) {
  const SubSystemDef *def =
      load("System: S\nCosts: Zinc[1], Iron[2]\nHints: H[7]\n", L"S");
  ASSERT_NE(def, nullptr);
  const std::unique_ptr<subSystem> instance = evaluate(def);
  const size_t variables = def->variables.size();
  ASSERT_EQ(variables, 4u); // the built-ins
  EXPECT_EQ(instance->costs, instance->values + variables);
  EXPECT_EQ(instance->costs[0], 2.0f); // Iron
  EXPECT_EQ(instance->costs[1], 1.0f); // Zinc
  EXPECT_EQ(instance->consumption, nullptr);
  EXPECT_EQ(instance->requirements, nullptr);
  EXPECT_EQ(instance->hints, instance->values + variables + 2);
  EXPECT_EQ(instance->hints[0], 7.0f);
}

TEST_F(SubSystemInstanceTest, CopyIsDeepAndOutlivesItsOriginal) {
  const SubSystemDef *def =
      load("System: S\nA: 2\nCosts: Iron[A]\nHints: H[3]\n"
           "Provides: Hit with Amount[A*5]\nProvides: Laser with Damage[A+1]\n"
           "Triggerable: Fire: Laser with Damage[A+2]\n",
           L"S");
  ASSERT_NE(def, nullptr);
  auto *original = evaluate(def, 4.0f).release();
  original->scale = 0.5f;
  original->alterHooks.push_back(new SubSystemAlterHook{3, -1, {1.5f, 2.5f}});

  const subSystem copy(*original);
  EXPECT_NE(copy.values, original->values);
  EXPECT_NE(copy.alterHooks[0], original->alterHooks[0]);
  delete original;

  EXPECT_EQ(copy.def, def);
  EXPECT_EQ(copy.scale, 0.5f);
  EXPECT_FLOAT_EQ(valueOf(copy, "var", L"A"), 2);
  EXPECT_FLOAT_EQ(copy.getSize(), 4);
  EXPECT_FLOAT_EQ(valueOf(copy, "cost", L"Iron"), 2);
  EXPECT_FLOAT_EQ(valueOf(copy, "hint", L"H"), 3);
  EXPECT_EQ(copy.consumption, nullptr);
  ASSERT_EQ(copy.alterHooks.size(), 1u);
  EXPECT_EQ(copy.alterHooks[0]->modeFunction, 3);
  EXPECT_EQ(copy.alterHooks[0]->arguments, (std::vector<float>{1.5f, 2.5f}));
  ASSERT_EQ(copy.provisions.size(), 1u);
  EXPECT_EQ(copy.provisions[0].effect, findEffect(L"Hit"));
  EXPECT_FLOAT_EQ(copy.provisions[0].values[0], 10);
  ASSERT_EQ(copy.effectors.size(), 1u);
  ASSERT_EQ(copy.effectors[0].values.size(), 1u);
  EXPECT_FLOAT_EQ(copy.effectors[0].values[0], 3);
  ASSERT_EQ(copy.triggerables.size(), 1u);
  EXPECT_FLOAT_EQ(copy.triggerables[0].values[0], 4);
}

TEST_F(SubSystemInstanceTest, BuiltInAccessorsFollowTheShortNames) {
  const SubSystemDef *def = load("System: S\nA: 1\nMass: 7\n", L"S");
  ASSERT_NE(def, nullptr);
  const std::unique_ptr<subSystem> instance = evaluate(def, 2.0f);
  EXPECT_FLOAT_EQ(instance->getLevel(), 1);
  EXPECT_FLOAT_EQ(instance->getSize(), 2);
  EXPECT_FLOAT_EQ(instance->getDurability(), 2);
  EXPECT_FLOAT_EQ(instance->getMass(), 7);
  instance->setLevel(4);
  instance->setSize(5);
  instance->setDurability(6);
  instance->setMass(8);
  EXPECT_FLOAT_EQ(valueOf(*instance, "var", L"Level"), 4);
  EXPECT_FLOAT_EQ(valueOf(*instance, "var", L"Size"), 5);
  EXPECT_FLOAT_EQ(valueOf(*instance, "var", L"Durability"), 6);
  EXPECT_FLOAT_EQ(valueOf(*instance, "var", L"Mass"), 8);
  EXPECT_FLOAT_EQ(valueOf(*instance, "var", L"A"), 1);

  const subSystem empty; // no definition, no block
  EXPECT_EQ(empty.getLevel(), 0.0f);
  subSystem low(*instance);
  low.setLevel(2);
  EXPECT_TRUE(compareSubSystemLevel(instance.get(), &low));
  EXPECT_FALSE(compareSubSystemLevel(&low, instance.get()));
  EXPECT_FALSE(compareSubSystemLevel(&low, &low));
}

// --- The factory ---

TEST_F(SubSystemInstanceTest, FactoryWithoutOwnerStaysUnprepared) {
  const SubSystemDef *def = load("System: S\n", L"S");
  ASSERT_NE(def, nullptr);
  std::unique_ptr<SubSystemFactory> factory(createSubSystemFactory());
  EXPECT_EQ(factory->create(def), nullptr); // never prepared
  factory->prepare(object(nullptr));
  EXPECT_EQ(factory->create(def), nullptr);
  factory->prepare(nullptr);
  EXPECT_EQ(factory->create(def), nullptr);
  factory->release(); // nothing held: nothing happens
}

TEST_F(SubSystemInstanceTest,
       FactoryOnAPlanetScalesByTenAndLeavesNoObjectBehind) {
  const SubSystemDef *def = load("System: S\nA: Object.Scale + 1\n", L"S");
  ASSERT_NE(def, nullptr);
  std::unique_ptr<SubSystemFactory> factory(createSubSystemFactory());
  factory->prepare(planet(red));
  EXPECT_NE(red->spaces.findSpace(L"Object"), nullptr);
  std::unique_ptr<subSystem> instance(factory->create(def));
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(instance->getSize(), 10.0f);
  EXPECT_EQ(instance->getDurability(), 10.0f);
  EXPECT_EQ(instance->getMass(), 10.0f);
  EXPECT_EQ(valueOf(*instance, "var", L"A"), 11.0f);
  EXPECT_EQ(factory->create(nullptr), nullptr);
  factory->release();
  EXPECT_EQ(red->spaces.findSpace(L"Object"), nullptr);
  EXPECT_EQ(factory->create(def), nullptr);

  // Prepared again for an object that is no planet: no "Scale" of 10.
  factory->prepare(object(red));
  instance.reset(factory->create(def));
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(instance->getSize(), 0.0f);
  // Destruction releases as well.
  factory.reset();
  EXPECT_EQ(red->spaces.findSpace(L"Object"), nullptr);
}

// While a factory is prepared, another thread's write lock of the variables
// area waits (it is counted among the waiting writers) until release.
TEST_F(SubSystemInstanceTest,
       PreparedFactoryHoldsTheVariablesAreaUntilRelease) {
  ReadWriteLock &variables = red->locks[EA_Variables];
  std::unique_ptr<SubSystemFactory> factory(createSubSystemFactory());
  factory->prepare(planet(red));
  ASSERT_EQ(variables.writeOwned.load(), 1);
  std::atomic<bool> released{false};
  std::atomic<bool> tookItAfterRelease{false};
  std::thread writer([&] {
    initThreadLocals();
    variables.lock(true);
    tookItAfterRelease = released.load();
    variables.unlock(true);
    freeThreadLocals();
  });
  while (variables.writers.load() < 2) // the writer waits
    std::this_thread::yield();
  released = true;
  factory->release();
  writer.join();
  EXPECT_TRUE(tookItAfterRelease.load());
  EXPECT_EQ(variables.writers.load(), 0);
}

} // namespace

}  // namespace sub_system_instance_test
