// Sub-systems as scripts see them: the definition lookups and members, the
// value families of an instance and its built-in accessors, trigger, the
// records of placed sub-systems, and the script's SubSystemFactory.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "core/named_values.h"
#include "design/effectors/effector.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "empire/research/web_item_desc.h"
#include "platform/engine/engine_textures.h"
#include "script/script_engine.h"
#include "scripted_galaxy.h"
#include "scriptapi/script_sub_system_factory.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_types.h"
#include "support/null_device.h"
#include "universe/ships/ship.h"

namespace sub_system_script_test {

using namespace AngelScript;

namespace {

// Armor at Scale 3: Size, Durability and Mass 3; Zeta 1 and Alpha 2
// declared in that order; one entry in each list. "Power" is both a hint
// and a consumed resource.
const char kDefinitions[] =
    "System: Armor\n"
    "Tags: Plating, Heavy\n"
    "Zeta: 1\n"
    "Alpha: Zeta * 2\n"
    "Costs: Metals[2]\n"
    "Consumes:\nTo Run: Power[0.5]\n"
    "Requires:\nTo Run: Crew[2]\n"
    "Hints: Heat[4], Power[1]\n"
    "Triggerable: Ping: Pulse\n"
    "\n"
    "System: Registry\n"
    "Name: Shown\n"
    "\n"
    "System: Mine\n"
    "Tags: Structure\n"
    "\n"
    "System: Probe\n"
    "SeenSize: Size\n"
    "SeenScale: Scale\n"
    "Available: Object.Scale - 1\n";

// What the native effector "Pulse" saw on its last call.
struct Fired {
  int calls = 0;
  generic_object* object = nullptr;
  generic_object* target = nullptr;
  float time = -1.0f;
  float val1 = 0.0f;
  float val2 = 0.0f;
  uint32_t word = 99;
};
Fired fired;

void pulse(EffectEvent* event, const effector*, interactor_data* state) {
  ++fired.calls;
  fired.object = event->obj;
  fired.target = event->target;
  fired.time = event->time;
  fired.val1 = state->val1;
  fired.val2 = state->val2;
  fired.word = state->word;
  state->val1 = 100.0f;  // lost with the scratch state
}

// `code` built as a module of `engine`, or null.
asIScriptModule* build(asIScriptEngine* engine, const char* name, const std::string& code) {
  asIScriptModule* module = engine->GetModule(name, asGM_ALWAYS_CREATE);
  module->AddScriptSection(name, code.c_str(), code.size());
  return module->Build() >= 0 ? module : nullptr;
}

class SubSystemScriptTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    scriptapitest::setUpScriptsOfWorkingFolder();
    fired = Fired();
    system_ = addSystems(1).front();
    activeEmpire = red;
  }
  void TearDown() override {
    activeEmpire = nullptr;
    ScriptedGalaxyTest::TearDown();
    clearSubSystemDefs();
  }

  void loadDefinitions() {
    effector_def* pulseDef = addEffectorDef(L"Pulse");
    pulseDef->onFire.kind = EFK_Native;
    pulseDef->onFire.function.fire = pulse;
    armor_ = subsystemtest::loadDefinition(root_, kDefinitions, L"Armor");
    ASSERT_NE(armor_, nullptr);
    mine_ = definition(L"Mine");
    probe_ = definition(L"Probe");
  }

  static const SubSystemDef* definition(const wchar_t* name) {
    const irr::s32 index = findSubSystemDefByName(name);
    return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }

  // `def` at Scale 3.
  static void evaluate(const SubSystemDef* def, subSystem& instance) {
    NamedValues object;
    object.set(L"Scale", 3.0f);
    NameSpaces context;
    context.setSpace(&object, L"Object");
    def->createInstance(&instance, context, nullptr);
    context.setSpace(nullptr, L"Object");
  }

  template <class T>
  T* place(T* object) {
    object->setContainer(system_);
    return object;
  }

  // Runs "float f(Object@ o, subSystem@ s, SysRef@ r) { <body> }" on
  // `engine`, with the body's single quotes made double: the value it
  // returned, or "exception: <text>".
  static std::string run(std::string body, generic_object* o = nullptr, subSystem* s = nullptr,
                         SysRef* r = nullptr, asIScriptEngine* engine = serverScriptEngine) {
    for (char& c : body)
      c = c == '\'' ? '"' : c;
    asIScriptModule* module = build(engine, "subsys", "float f(Object@ o, subSystem@ s, SysRef@ r) { " + body + " }");
    if (module == nullptr)
      return "does not build";
    asIScriptContext* context = createScriptContext(engine);
    context->Prepare(module->GetFunctionByName("f"));
    context->SetArgObject(0, o);
    context->SetArgObject(1, s);
    context->SetArgObject(2, r);
    std::string outcome;
    if (context->Execute() == asEXECUTION_FINISHED) {
      char number[32];
      std::snprintf(number, sizeof number, "%g", context->GetReturnFloat());
      outcome = number;
    } else {
      outcome = std::string("exception: ") + context->GetExceptionString();
    }
    context->Release();
    module->Discard();
    return outcome;
  }

  solarSystem* system_ = nullptr;
  const SubSystemDef* armor_ = nullptr;
  const SubSystemDef* mine_ = nullptr;
  const SubSystemDef* probe_ = nullptr;
};

TEST_F(SubSystemScriptTest, DefinitionsAndTheirLookups) {
  EXPECT_EQ(run("return float(getSubSystemCount());"), "0");
  EXPECT_EQ(run("getSubSystemDef(0); return 1;"), "exception: Accessed invalid Sub System Definition index");

  loadDefinitions();
  research::CWebItemDesc tech(L"Lasers");
  research::SWebTieDesc tie{2, const_cast<SubSystemDef*>(armor_), &tech};
  const_cast<SubSystemDef*>(armor_)->ties.push_back(&tie);
  auto* planet = place(new objHabitation(red, nullptr));
  const int planetRefs = planet->refCount.load();

  const struct {
    const char* body;
    const char* expected;
  } cases[] = {
      {"const subSystemDef@ d = getSubSystemDefByName('Armor'); uint i = 0;"
       "while (getSubSystemDef(i) !is d) ++i;"
       "return (getSubSystemDefByID(d.ID) is d ? 10 : 0) + float(i);",
       "10"},
      {"const subSystemDef@ d = getSubSystemDefByName('Registry');"
       "return getSubSystemReferenceName(d.ID) == 'Registry' && d.getName() == 'Shown' ? 1 : 0;",
       "1"},
      {"return getSubSystemReferenceName(1) is null ? 1 : 0;", "1"},
      {"return getSubSystemDefByName('Armor').hasTag('') ? 1 : 2;",
       "exception: subSystemDef tags can never be empty strings"},
      {"const subSystemDef@ d = getSubSystemDefByName('Armor');"
       "return (d.hasTag('Heavy') ? 1 : 0) + (d.hasTag('Plating') ? 10 : 0) + (d.hasTag('Light') ? 100 : 0);",
       "11"},
      {"const subSystemDef@ d = getSubSystemDefByName('Armor');"
       "return float(d.getTieLevel(0)) * 10 + float(d.getTieLevel(d.getTieCount()));",
       "20"},
      {"const subSystemDef@ d = getSubSystemDefByName('Armor');"
       "return (d.getTie(0) !is null ? 1 : 0) + (d.getTie(d.getTieCount()) is null ? 10 : 0);",
       "11"},
      // The build test: nothing for null; a ship part never on a planet,
      // a structure there.
      {"return getSubSystemDefByName('Armor').canBuildOn(null) ? 1 : 0;", "0"},
      {"return getSubSystemDefByName('Armor').canBuildOn(o) ? 1 : 0;", "0"},
      {"return getSubSystemDefByName('Mine').canBuildOn(o) ? 1 : 0;", "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    EXPECT_EQ(run(c.body, planet), c.expected);
    EXPECT_EQ(planet->refCount.load(), planetRefs);
  }
  const_cast<SubSystemDef*>(armor_)->ties.clear();
}

// --- the definition's image (client scripts) ------------------------------------

TEST_F(SubSystemScriptTest, TheImageIsTheTextureOfTheDefinitionsMaterial) {
  loadDefinitions();
  irr::IrrlichtDevice* device = createTestDevice();
  ASSERT_NE(device, nullptr);
  irr::video::IVideoDriver* driver = device->getVideoDriver();
  irr::video::IImage* image = driver->createImage(irr::video::ECF_A8R8G8B8, irr::core::dimension2du(4, 3));
  irr::video::ITexture* texture = plat::addImageTexture(driver, "armor.png", image);
  image->drop();
  irr::video::SMaterial material;
  material.setTexture(0, texture);
  auto* armor = const_cast<SubSystemDef*>(armor_);
  armor->appearance = &material;

  // The caller's reference is the script's to let go: the count comes back.
  const irr::s32 references = texture->getReferenceCount();
  EXPECT_EQ(run("const Texture@ t = getSubSystemDefByName('Armor').getImage();"
                "return t !is null && t.size.width == 4 && t.size.height == 3 ? 1 : 0;",
                nullptr, nullptr, nullptr, clientScriptEngine),
            "1");
  EXPECT_EQ(texture->getReferenceCount(), references);
  // No texture, or no material: null.
  material.setTexture(0, nullptr);
  EXPECT_EQ(run("return getSubSystemDefByName('Armor').getImage() is null ? 1 : 0;", nullptr, nullptr, nullptr,
                clientScriptEngine),
            "1");
  armor->appearance = nullptr;
  EXPECT_EQ(run("return getSubSystemDefByName('Armor').getImage() is null ? 1 : 0;", nullptr, nullptr, nullptr,
                clientScriptEngine),
            "1");
  EXPECT_EQ(run("getSubSystemDefByName('Armor').getImage(); return 1;"), "does not build");
  plat::removeTexture(driver, texture);
  device->drop();
}

TEST_F(SubSystemScriptTest, TheValueFamiliesOfAnInstance) {
  loadDefinitions();
  const struct {
    const char* body;
    const char* evaluated;  // Armor at Scale 3
    const char* bare;       // Armor without its value block
  } cases[] = {
      {"return float(s.getCostCount());", "1", "exception: SubSystem Cost list not yet initialized"},
      {"return s.hasCost('Metals') ? 1 : 0;", "1", "1"},
      {"return s.maxHP;", "3", "exception: SubSystem Variable list not yet initialized"},
      {"return s.getHint(s.getHintCount());", "exception: SubSystem Hint out of range",
       "exception: SubSystem Hint list not yet initialized"},
      {"s.setCost('Unlisted', 1); return s.getCost(0) + s.getCost('Unlisted');", "2",
       "exception: SubSystem Cost list not yet initialized"},
      // Declaration order, not name order (Alpha would come first).
      {"return s.getVariable(0) * 10 + s.getVariable(1) + float(s.getVariableCount()) * 100;", "612",
       "exception: SubSystem Variable list not yet initialized"},
      {"s.level = 3; return s.level * 10 + s.getVariable('{L}');", "33",
       "exception: SubSystem Variable list not yet initialized"},
      {"s.setVariable(6, 1); return 1;", "exception: SubSystem Variable out of range",
       "exception: SubSystem Variable list not yet initialized"},
      {"s.setConsume(0, 2); return s.getConsume('Power') * 10 + s.getConsume(0);", "22",
       "exception: SubSystem Consume list not yet initialized"},
      {"return s.getConsume(1);", "exception: SubSystem Consume out of range",
       "exception: SubSystem Consume list not yet initialized"},
      {"s.setRequire('Crew', 5); return s.getRequire(0) + float(s.getRequireCount()) * 10;", "15",
       "exception: SubSystem Require list not yet initialized"},
      {"s.setRequire(1, 5); return 1;", "exception: SubSystem Require out of range",
       "exception: SubSystem Require list not yet initialized"},
      {"s.setHint(1, 7); return s.getHint('Power') * 10 + s.getHint('Heat');", "74",
       "exception: SubSystem Hint list not yet initialized"},
      {"s.setCost(1, 7); return 1;", "exception: SubSystem Cost out of range",
       "exception: SubSystem Cost list not yet initialized"},
      {"return s.type is getSubSystemDefByName('Armor') ? 1 : 0;", "1", "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    subSystem evaluated;
    evaluate(armor_, evaluated);
    EXPECT_EQ(run(c.body, nullptr, &evaluated), c.evaluated);
    subSystem bare;
    bare.def = armor_;
    EXPECT_EQ(run(c.body, nullptr, &bare), c.bare);
    EXPECT_EQ(bare.values, nullptr);
  }
}

// The built-in accessors look their variable up without adding it: a
// definition that lacks it keeps its variable registry, and the instance
// its values.
TEST_F(SubSystemScriptTest, BuiltInAccessorsWithoutTheVariable) {
  SubSystemDef raw;
  subSystem instance;
  instance.def = &raw;
  instance.values = new float[1]{5.0f};
  for (const char* body : {"return s.maxHP;", "return s.size;", "return s.level;", "return s.mass;",
                           "s.maxHP = 1; return 0;", "s.size = 1; return 0;", "s.level = 1; return 0;",
                           "s.mass = 1; return 0;"}) {
    SCOPED_TRACE(body);
    EXPECT_EQ(run(body, nullptr, &instance), "exception: SubSystem Variable list not yet initialized");
  }
  EXPECT_EQ(raw.variableIndex.size(), 0u);
  EXPECT_EQ(instance.values[0], 5.0f);
}

TEST_F(SubSystemScriptTest, TriggerRunsTheNamedEffectorWithAScratchState) {
  loadDefinitions();
  subSystem instance;
  evaluate(armor_, instance);
  ASSERT_EQ(instance.triggerables.size(), 1u);
  auto* ship = place(new TestObject(red));
  auto* other = place(new TestObject(red));
  const int shipRefs = ship->refCount.load();

  const struct {
    const char* body;
    generic_object* target;
    int calls;
  } cases[] = {
      {"s.trigger('Ping', null, o, 1, 2); return 0;", ship, 0},
      {"s.trigger('Pong', o, o, 1, 2); return 0;", ship, 0},
      {"s.trigger('Ping', o, o, 1, 2); return 0;", ship, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    fired = Fired();
    EXPECT_EQ(run(c.body, ship, &instance), "0");
    EXPECT_EQ(fired.calls, c.calls);
    EXPECT_EQ(ship->refCount.load(), shipRefs);
  }
  EXPECT_EQ(fired.object, ship);
  EXPECT_EQ(fired.target, ship);
  EXPECT_EQ(fired.time, 0.0f);
  EXPECT_EQ(fired.val1, 1.0f);
  EXPECT_EQ(fired.val2, 2.0f);
  EXPECT_EQ(fired.word, 0u);

  // Another target: its reference is taken for the call and given back.
  const int otherRefs = other->refCount.load();
  fired = Fired();
  asIScriptModule* module =
      build(serverScriptEngine, "pair", "void f(Object@ a, Object@ b, subSystem@ s) { s.trigger(\"Ping\", a, b, 3, 4); }");
  ASSERT_NE(module, nullptr);
  asIScriptContext* context = createScriptContext(serverScriptEngine);
  context->Prepare(module->GetFunctionByName("f"));
  context->SetArgObject(0, ship);
  context->SetArgObject(1, other);
  context->SetArgObject(2, &instance);
  EXPECT_EQ(context->Execute(), asEXECUTION_FINISHED);
  context->Release();
  EXPECT_EQ(fired.target, other);
  EXPECT_EQ(ship->refCount.load(), shipRefs);
  EXPECT_EQ(other->refCount.load(), otherRefs);
}

TEST_F(SubSystemScriptTest, RecordsOfPlacedSubSystems) {
  loadDefinitions();
  layout_desc desc;
  desc.systems.push_back({armor_, 1.0f, 0.0f, 0.0f, -1});
  auto* layout = new hull_list(desc, red, true);
  auto* ship = place(new objHulled(red, layout, nullptr));
  layout->drop();
  SysRef* record = ship->getSubSystem(0);
  ASSERT_NE(record, nullptr);
  ASSERT_NE(record->system, nullptr);

  EXPECT_EQ(run("r.HP = 7; r.val1 = 8; r.val2 = 9;"
                "SysRef@ a = r; SysRef@ b = r;"
                "return (a.system is b.system && a.system !is null) ? 1 : 0;",
                nullptr, nullptr, record),
            "1");
  EXPECT_EQ(record->HP, 7.0f);
  EXPECT_EQ(record->val1, 8.0f);
  EXPECT_EQ(record->val2, 9.0f);
  EXPECT_EQ(run("return r.system.type is getSubSystemDefByName('Armor') ? 1 : 0;", nullptr, nullptr, record,
                clientScriptEngine),
            "1");

  auto* planet = place(new objHabitation(red, nullptr));
  planet->setStructureSpace(100.0f);
  ASSERT_TRUE(planet->addStructureFromDef(mine_));
  SysRef* structure = &planet->structures[0].record;
  EXPECT_EQ(run("return r.getState() == SS_Active ? 1 : 0;", nullptr, nullptr, structure), "1");
  structure->state = SS_Destroyed;
  EXPECT_EQ(run("return r.getState() == SS_Destroyed ? 1 : 0;", nullptr, nullptr, structure), "1");
  structure->state = SS_Active;
}

// --- the script's factory ---------------------------------------------------

// Adds "Power" by `amount` to whatever is evaluated with it.
constexpr char kHookModule[] = R"(
void more(subSystem@ s, SubSystemEvalMode m, float v) {
  if (m == SSVM_Hints && s.hasHint("Power"))
    s.setHint("Power", s.getHint("Power") + v);
}
)";

TEST_F(SubSystemScriptTest, FactoryScalesAndTheLinkedInstance) {
  loadDefinitions();
  ScriptSubSystemFactory factory;
  factory.objectScale = 2.0f;
  factory.objectSizeFactor = 3.0f;
  factory.activeScale = 0.5f;
  factory.linkedScale = 1.5f;
  EXPECT_TRUE(factory.generateSubSystems(probe_, probe_));
  ASSERT_NE(factory.active, nullptr);
  ASSERT_NE(factory.linked, nullptr);
  // "Object" holds Size 6 and Scale 2; the default set's Scale (first in
  // name order) is 0.5 x 2 for the main sub-system, 1.5 x 2 for the linked.
  const auto variable = [](const subSystem* instance, const wchar_t* name) {
    const irr::s32 entry = findPtrNamedVar(instance->def->variableIndex, name);
    return entry < 0 ? -1.0f : instance->values[instance->def->variableIndex[entry].value->index];
  };
  EXPECT_EQ(variable(factory.active, L"SeenSize"), 6.0f);
  EXPECT_EQ(variable(factory.active, L"SeenScale"), 1.0f);
  EXPECT_EQ(variable(factory.linked, L"SeenScale"), 3.0f);
  // Both bindings are gone again.
  EXPECT_EQ(red->spaces.findSpace(L"Object"), nullptr);
  EXPECT_EQ(red->spaces.findSpace(L"\x01"), nullptr);

  // Without a linked definition only the main one is made; "Available"
  // reads the object's Scale: at 1 the probe is unavailable.
  factory.objectScale = 1.0f;
  EXPECT_FALSE(factory.generateSubSystems(probe_, nullptr));
  ASSERT_NE(factory.active, nullptr);
  EXPECT_FALSE(factory.active->available);
  EXPECT_EQ(factory.linked, nullptr);

  // Without an active empire, or a main definition: nothing.
  EXPECT_FALSE(factory.generateSubSystems(nullptr, probe_));
  EXPECT_EQ(factory.active, nullptr);
  activeEmpire = nullptr;
  EXPECT_FALSE(factory.generateSubSystems(probe_, probe_));
  EXPECT_EQ(factory.active, nullptr);
  EXPECT_EQ(factory.linked, nullptr);
}

TEST_F(SubSystemScriptTest, FactoryComparesHintByHint) {
  loadDefinitions();
  ScriptSubSystemFactory armor;
  ScriptSubSystemFactory empty;
  armor.objectScale = 3.0f;
  ASSERT_TRUE(armor.generateSubSystems(armor_, nullptr));

  // Against nothing: the hints, less the consumption and requirements,
  // then HP and Mass, in name order.
  empty.compare(armor, true);
  const char* expected[][2] = {{"Crew", "2"}, {"HP", "-3"}, {"Heat", "-4"}, {"Mass", "-3"}, {"Power", "-0.5"}};
  ASSERT_EQ(empty.hintDeltas.size(), 5u);
  for (irr::u32 i = 0; i < 5; ++i) {
    char value[32];
    std::snprintf(value, sizeof value, "%g", empty.hintDeltas[i].value);
    EXPECT_EQ(irr::core::stringc(empty.hintDeltas[i].name).c_str(), std::string(expected[i][0]));
    EXPECT_EQ(std::string(value), expected[i][1]) << expected[i][0];
  }

  // With itself everything cancels; the missing linked instance is ignored.
  armor.compare(armor, true);
  ASSERT_EQ(armor.hintDeltas.size(), 5u);
  for (irr::u32 i = 0; i < armor.hintDeltas.size(); ++i)
    EXPECT_EQ(armor.hintDeltas[i].value, 0.0f) << irr::core::stringc(armor.hintDeltas[i].name).c_str();

  // Neither has an active instance: nothing, whatever else they hold.
  empty.compare(empty, true);
  EXPECT_EQ(empty.hintDeltas.size(), 0u);

  EXPECT_EQ(run("SubSystemFactory f; f.generateSubSystems(getSubSystemDefByName('Armor'), null);"
                "f.compare(f, false); return f.getHintDelta(f.hintDeltaCount);"),
            "exception: Out-of-bounds index when getting HintValue");
  EXPECT_EQ(run("SubSystemFactory f; f.getHintDeltaName(0); return 0;"),
            "exception: Out-of-bounds index when getting HintName");
}

TEST_F(SubSystemScriptTest, FactoryPlanetsAndTheirConditions) {
  loadDefinitions();
  asIScriptModule* module = build(serverScriptEngine, "hooks", kHookModule);
  ASSERT_NE(module, nullptr);
  const int more = module->GetFunctionByDecl("void more(subSystem@, SubSystemEvalMode, float)")->GetId();
  planetCondition condition;
  ConditionHook hook;
  hook.modeFunctionId = more;
  hook.args = {10.0f};
  condition.hooks.push_back(hook);

  auto* own = place(new objHabitation(red, nullptr));
  own->conditions.push_back(&condition);
  auto* foreign = place(new objHabitation(blue, nullptr));
  foreign->conditions.push_back(&condition);
  const int ownRefs = own->refCount.load();
  const int foreignRefs = foreign->refCount.load();

  ScriptSubSystemFactory factory;
  factory.prepare(own);
  factory.prepare(own);
  EXPECT_EQ(own->refCount.load(), ownRefs + 1);
  // The empire's own hook, then the condition's.
  red->alterHooks.push_back(SubSystemAlterHook{more, -1, {1.0f}});
  ASSERT_TRUE(factory.generateSubSystems(armor_, nullptr));
  EXPECT_EQ(factory.active->hints[findPtrNamedVar(armor_->hints, L"Power")], 12.0f);

  // A planet of another empire is let go before the evaluation.
  factory.prepare(foreign);
  EXPECT_EQ(own->refCount.load(), ownRefs);
  EXPECT_EQ(foreign->refCount.load(), foreignRefs + 1);
  ASSERT_TRUE(factory.generateSubSystems(armor_, nullptr));
  EXPECT_EQ(factory.planet, nullptr);
  EXPECT_EQ(foreign->refCount.load(), foreignRefs);
  EXPECT_EQ(factory.active->hints[findPtrNamedVar(armor_->hints, L"Power")], 2.0f);

  red->alterHooks.clear();
  own->conditions.clear();
  foreign->conditions.clear();
}

}  // namespace

}  // namespace sub_system_script_test
