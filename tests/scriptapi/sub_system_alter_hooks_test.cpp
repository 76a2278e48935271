// Script alter hooks while sub-systems are evaluated: hooks of the string
// form change a variable as it is produced, hooks of the mode form change a
// whole list, and a factory on a planet runs the hooks of the empire, its
// traits, the planet's conditions and its structures in that order.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/named_values.h"
#include "design/subsystems/sub_system.h"
#include "empire/empire.h"
#include "empire/traits.h"
#include "script/script_engine.h"
#include "script/script_string.h"
#include "scriptapi/script_session.h"
#include "support/log_capture.h"
#include "universe/objects/object_registry.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_types.h"
#include "design/sub_system_fixture.h"

namespace sub_system_alter_hooks_test {

using namespace AngelScript;
using irr::core::stringc;
using irr::core::stringw;

namespace {

constexpr char kHooks[] = R"(
string order;
void grow(subSystem@ s, const string@ n, float v) {
  if (n == "Size")
    s.setVariable("Size", v);
}
void doubleCosts(subSystem@ s, SubSystemEvalMode m) {
  if (m != SSVM_Costs)
    return;
  if (s.hasCost("Iron"))
    s.setCost("Iron", s.getCost("Iron") * 2);
  if (s.hasCost("Zinc"))
    s.setCost("Zinc", s.getCost("Zinc") * 2);
}
void tag(subSystem@ s, SubSystemEvalMode m, float v) {
  if (m == SSVM_Costs) {
    order += int(v);
    order += ",";
  }
}
)";

class SubSystemAlterHooksTest : public scriptapitest::ScriptSessionTest {
protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    startSession({});
    module_ = build(serverScriptEngine, "hooks", kHooks);
    ASSERT_NE(module_, nullptr);
    red_ = registerEmpire(new empire);
  }
  void TearDown() override {
    red_->traits.clear();
    for (objHabitation *planet : planets_) {
      planet->conditions.clear();
      for (irr::u32 i = 0; i < planet->structures.size(); ++i)
        delete planet->structures[i].system;
      planet->structures.clear();
      planet->destroyNow(true);
      planet->drop();
    }
    clearSubSystemDefs();
    ScriptSessionTest::TearDown();
    EXPECT_EQ(registeredObjectCount(), 0u) << "a test left objects alive";
    clearObjectRegistry();
  }

  int functionId(const char *declaration) const {
    asIScriptFunction *function = module_->GetFunctionByDecl(declaration);
    EXPECT_NE(function, nullptr) << declaration;
    return function != nullptr ? function->GetId() : -1;
  }
  int modeHook() const {
    return functionId("void tag(subSystem@, SubSystemEvalMode, float)");
  }

  const SubSystemDef *load(const std::string &text, const wchar_t *name) {
    return subsystemtest::loadDefinition(root_, text, name);
  }

  objHabitation *planet(empire *owner) {
    auto *made = new objHabitation(owner, nullptr);
    made->grab();
    planets_.push_back(made);
    return made;
  }

  std::string order() const {
    auto *text = static_cast<ScriptString *>(module_->GetAddressOfGlobalVar(
        module_->GetGlobalVarIndexByName("order")));
    return stringc(text->toStringw()).c_str();
  }

  asIScriptModule *module_ = nullptr;
  empire *red_ = nullptr;
  std::vector<objHabitation *> planets_;
};

float listValue(const PtrNamedVar<formula *>::Registry &list, const float *view,
                const wchar_t *name) {
  const irr::s32 index = findPtrNamedVar(list, name);
  return index < 0 || view == nullptr ? -1.0f : view[index];
}

TEST_F(SubSystemAlterHooksTest, HooksChangeValuesWhileTheyAreProduced) {
  struct Case {
    const char *what;
    const char *declaration;
    bool modeForm;
    std::vector<float> arguments;
    float size, durability, mass, iron, zinc, fuel;
  };
  const Case cases[] = {
      // Durability and Mass default to Size: they see the hook's 5.
      {"string form",
       "void grow(subSystem@, const string@, float)",
       false,
       {5},
       5,
       5,
       5,
       2,
       1,
       3},
      {"mode form",
       "void doubleCosts(subSystem@, SubSystemEvalMode)",
       true,
       {},
       1,
       1,
       1,
       4,
       2,
       3},
      // The wrong form for the function: never called.
      {"no string form",
       "void doubleCosts(subSystem@, SubSystemEvalMode)",
       false,
       {},
       1,
       1,
       1,
       2,
       1,
       3},
  };
  const SubSystemDef *def = load(
      "System: S\nCosts: Zinc[1], Iron[2]\nConsumes:\nTo Run: Fuel[3]\n", L"S");
  ASSERT_NE(def, nullptr);
  NameSpaces context;
  NamedValues object;
  object.set(L"Scale", 1.0f);
  context.setSpace(&object, L"Object");
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    SubSystemAlterHook hook;
    (c.modeForm ? hook.modeFunction : hook.stringFunction) =
        functionId(c.declaration);
    hook.arguments = c.arguments;
    const SubSystemAlterHookList hooks{hook};
    subSystem instance;
    def->createInstance(&instance, context, &hooks);
    EXPECT_EQ(instance.getSize(), c.size);
    EXPECT_EQ(instance.getDurability(), c.durability);
    EXPECT_EQ(instance.getMass(), c.mass);
    EXPECT_EQ(listValue(def->costs, instance.costs, L"Iron"), c.iron);
    EXPECT_EQ(listValue(def->costs, instance.costs, L"Zinc"), c.zinc);
    EXPECT_EQ(listValue(def->consumption, instance.consumption, L"Fuel"),
              c.fuel);
  }
  context.setSpace(nullptr, L"Object");
}

TEST_F(SubSystemAlterHooksTest, DefinitionHooksAreEvaluatedIntoTheInstance) {
  const SubSystemDef *def =
      load("System: S\nA: 3\nAlters: hooks::tag[A * 2]\n", L"S");
  ASSERT_NE(def, nullptr);
  NameSpaces context;
  subSystem instance;
  def->createInstance(&instance, context, nullptr);
  ASSERT_EQ(instance.alterHooks.size(), 1u);
  EXPECT_EQ(instance.alterHooks[0]->modeFunction, modeHook());
  EXPECT_EQ(instance.alterHooks[0]->stringFunction, -1);
  EXPECT_EQ(instance.alterHooks[0]->arguments, std::vector<float>{6});
  EXPECT_EQ(order(), ""); // a definition's own hooks are not run on itself
}

// Empire 1, traits a 2 and b 3 (map order), condition 4, structure 5.
TEST_F(SubSystemAlterHooksTest,
       FactoryRunsEmpireTraitConditionAndStructureHooksInOrder) {
  const int tag = modeHook();
  red_->alterHooks.push_back(SubSystemAlterHook{tag, -1, {1}});
  ITrait traitB, traitA;
  traitB.alterHooks.push_back(TraitAlterHook{tag, -1, {3}});
  traitA.alterHooks.push_back(TraitAlterHook{tag, -1, {2}});
  red_->traits[L"b"] = &traitB;
  red_->traits[L"a"] = &traitA;
  planetCondition condition;
  ConditionHook conditionHook;
  conditionHook.modeFunctionId = tag;
  conditionHook.args = {4};
  condition.hooks.push_back(conditionHook);

  const SubSystemDef *structureDef =
      load("System: T\nA: 2.5\nAlters: hooks::tag[A * 2]\n", L"T");
  const SubSystemDef *def = load("System: S\nCosts: Iron[1]\n", L"S");
  ASSERT_NE(structureDef, nullptr);
  ASSERT_NE(def, nullptr);
  objHabitation *world = planet(red_);
  world->conditions.push_back(&condition);
  {
    NameSpaces context;
    objHabitation::structEntry entry;
    entry.system =
        structureDef->createInstance(new subSystem(), context, nullptr);
    world->structures.push_back(entry);
  }

  std::unique_ptr<SubSystemFactory> factory(createSubSystemFactory());
  factory->prepare(world);
  std::unique_ptr<subSystem> instance(factory->create(def));
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(order(), "1,2,3,4,5,");

  // A condition taken off the planet is no longer asked.
  auto *text = static_cast<ScriptString *>(module_->GetAddressOfGlobalVar(
      module_->GetGlobalVarIndexByName("order")));
  text->text.clear();
  world->removeCondition(&condition);
  factory->prepare(world);
  instance.reset(factory->create(def));
  EXPECT_EQ(order(), "1,2,3,5,");
  factory->release();
}

} // namespace

}  // namespace sub_system_alter_hooks_test
