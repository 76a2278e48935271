// Sub-system definition files: the S messages of faulty lines, what the keys
// and continuation lines make of a definition, overrides and their
// technology ties, and "Alters" functions looked up in the server scripts.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/formula.h"
#include "core/log.h"
#include "core/threads.h"
#include "design/effectors/effector.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/research/research_fields.h"
#include "empire/research/research_registry.h"
#include "empire/research/web_item_desc.h"
#include "script/script_engine.h"
#include "script/script_file.h"
#include "script/script_string.h"
#include "support/fake_engine_logger.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"

namespace sub_system_loader_test {

using namespace AngelScript;
using irr::core::stringc;
using irr::core::stringw;

namespace {

float valueOf(const formula* program) { return program == nullptr ? -1.0f : evaluateFormula(program, nullptr); }

std::string narrow(const stringw& text) { return stringc(text).c_str(); }

// The names of a named list, in stored order.
template <typename V>
std::vector<std::string> namesOf(const irr::core::array<PtrNamedVar<V>>& list) {
  std::vector<std::string> out;
  for (irr::u32 i = 0; i < list.size(); ++i)
    out.push_back(narrow(list[i].entryName()));
  return out;
}

class SubSystemFileTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = scratchDir();
    path_ = (folder_ / "subsystems.txt").string();
    const std::string effects = (folder_ / "effects.txt").string();
    const std::string effectors = (folder_ / "effectors.txt").string();
    const std::string technologies = (folder_ / "technologies.txt").string();
    std::ofstream(effects, std::ios::binary) << "Name: Hit\nValue: Amount\n";
    std::ofstream(effectors, std::ios::binary) << "Effector: Laser\nValue: Damage\n"
                                                  "Effector: Tractor\nIsWeapon: false\nValue: Pull\n";
    std::ofstream(technologies, std::ios::binary) << "Technology: Lasers\nTechnology: Optics\n";
    LogCapture log;
    loadEffects(effects.c_str());
    loadEffectors(effectors.c_str());
    research::loadResearchFields(technologies.c_str());
    ASSERT_NE(findEffect(L"Hit"), nullptr);
    ASSERT_NE(findEffector(L"Tractor"), nullptr);
    ASSERT_NE(research::getWebItemDesc(stringw(L"Lasers")), nullptr);
  }
  void TearDown() override {
    clearSubSystemDefs();
    clearEffectors();
    clearEffects();
    research::clearWebItemDescs();
    freeThreadLocals();
    setEngineLogger(nullptr);
  }

  // Writes `text` as a sub-system file and loads it; the log of the load.
  std::string load(const std::string& text) {
    std::ofstream(path_, std::ios::binary) << text;
    LogCapture log;
    loadSubSystemDefs(path_.c_str());
    return log.take();
  }
  std::string at(int line) const { return path_ + "(" + std::to_string(line) + ") "; }
  std::string loading() const { return "Loading Sub Systems: " + path_ + "\n"; }

  static SubSystemDef* def(const wchar_t* name) {
    const irr::s32 index = findSubSystemDefByName(name);
    return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }
  static const formula* entry(const PtrNamedVar<formula*>::Registry& list, const wchar_t* name) {
    const irr::s32 index = findPtrNamedVar(list, name);
    return index < 0 ? nullptr : list[static_cast<irr::u32>(index)].value;
  }
  static research::IWebItemDesc* technology(const wchar_t* id) { return research::getWebItemDesc(stringw(id)); }

  std::filesystem::path folder_;
  std::string path_;
};

// --- Messages ---

TEST_F(SubSystemFileTest, EachFaultIsLoggedWithFileAndLine) {
  const struct {
    const char* file;
    int line;
    const char* message;
  } cases[] = {
      {"System: Engine\nSystem: Engine\n", 2, "warning S001: System \"Engine\" already exists\n"},
      {"System: A\nProvides: Nope\n", 2, "error S002: Invalid effect name \"Nope\"\n"},
      {"System: A\nTriggerable: Fire: Nope\n", 2, "error S002: Invalid effector name \"Nope\"\n"},
      {"System: A\nSpeed: 1\nSpeed: 2\n", 3, "warning S003: Duplicate value 'Speed' for system\n"},
      {"Costs: Metals[1]\n", 1, "warning S004: No new Sub System was properly initialized\n"},
      {"System: A\nProvides: Hit with Amount[1],\nSystem: B\nAmount[2]\n", 4, "error S005: No active effect\n"},
      {"System: A\nCosts: A[1]\nB[2]\n", 3, "warning S006: Invalid line \"B[2]\"\n"},
      {"System: A\nABCDEFGHIJKLMNOPQRSTUVWXYZ\n", 2, "warning S006: Invalid line \"ABCDEFGHIJKLMNOPQRSTUV...\"\n"},
      {"System: A\nABCDEFGHIJKLMNOPQRSTUVWXY\n", 2, "warning S006: Invalid line \"ABCDEFGHIJKLMNOPQRSTUVWXY\"\n"},
      {"Metals[1]\n", 1, "warning S007: No new Sub System was properly initialized\n"},
      {"System: A\nCosts: Metals[1], Metals[2]\n", 2, "error S008: Duplicate cost \"Metals\"\n"},
      {"System: A\nProvides: Hit with Amount[1], Bogus[1]\n", 2, "error S009: Invalid effect value name \"Bogus\"\n"},
      {"System: A\nConsumes:\nTo Run: Fuel[1], Fuel[2]\n", 3, "error S010: Duplicate consumption \"Fuel\"\n"},
      {"System: A\nProvides: Laser with Damage[1], Bogus[1]\n", 2,
       "error S011: Invalid effector value name \"Bogus\"\n"},
      {"System: A\nProvides: Laser with Damage[1],\nSystem: B\nDamage[2]\n", 4, "error S012: No active effector\n"},
      {"System: A\nTriggerable: Fire: Laser with Damage[1],\nSystem: B\nDamage[2]\n", 4,
       "error S012: No active effector\n"},
      {"System: A\nRequires:\nTo Run: Power[1], Power[2]\n", 3, "error S013: Duplicate requirement \"Power\"\n"},
      {"System: A\nTags: X, Y, X\n", 2, "warning S014: Duplicate Tag \"X\"\n"},
      {"System: A\nHints: H[1],\nH[2]\n", 3, "error S030: Duplicate Hint \"H\"\n"},
      {"System: A\nEquips To: stage 3\n", 2, "error S050: Invalid destination (stage 3) for 'Equips To'\n"},
      {"System: A\nTriggerable: Fire\n", 2, "error S145: Invalid Triggerable, lacks name and effector\n"},
      {"System: A\nTriggerable: Fire: Laser with Damage[1]\nTriggerable: Fire: Tractor with\nPull[5]\n", 3,
       "error S146: Duplicate Triggerable \"Fire\"\n"},
      {"System: A\nTick Rate: 3\n", 2, "error S401: Invalid tick rate (must be: Always, 10, 4, 2, or 1)\n"},
      {"System: A\nTick Rate: 4\nTick Rate: 2\n", 3,
       "warning S402: Multiple TickRate definitions (only first is used)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(load(c.file), loading() + at(c.line) + c.message);
    clearSubSystemDefs();
  }
}

TEST_F(SubSystemFileTest, AnUnreadableFileIsReportedAndChangesNothing) {
  const std::string absent = (folder_ / "absent.txt").string();
  LogCapture capture;
  loadSubSystemDefs(absent.c_str());
  EXPECT_EQ(capture.take(), "Unable to load file " + absent + "\n");
  EXPECT_EQ(subSystemDefRegistry.size(), 0u);
}

TEST_F(SubSystemFileTest, AtLevel2OnlyErrorsAreLogged) {
  FakeEngineLogger errorsOnly(irr::ELL_ERROR);
  setEngineLogger(&errorsOnly);
  EXPECT_EQ(load("System: A\nSystem: A\nstray\nProvides: Nope\nSystem: B\nTick Rate: x\nTick Rate: 1\n"),
            at(6) + "error S401: Invalid tick rate (must be: Always, 10, 4, 2, or 1)\n");
}

// --- Continuation modes ---

TEST_F(SubSystemFileTest, ListsGoOnOverBareLinesAfterATrailingComma) {
  EXPECT_EQ(load("System: A\n"
                 "Costs: Metals[1],\n"
                 "Tags: X\n"  // leaves the mode alone
                 "Iron[2],\n"
                 "Zinc[3]\n"
                 "Requires: Power[1]\n"  // a list here is ignored
                 "To Run:\n"             // an empty value keeps the block open
                 "Crew[4],\n"
                 "Power[5]\n"
                 "Consumes:\n"
                 "To Run: Fuel[6],\n"
                 "Ore[7]\n"
                 "Hints: Speed[8],\n"
                 "Range[9]\n"
                 "Hints: Arc\n"
                 "To Run: Ignored[1]\n"  // outside a block: ignored, then mode 10
                 "Ignored[2]\n"),
            loading());
  const SubSystemDef* a = def(L"A");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(namesOf(a->costs), (std::vector<std::string>{"Iron", "Metals", "Zinc"}));
  EXPECT_EQ(valueOf(entry(a->costs, L"Zinc")), 3.0f);
  EXPECT_EQ(namesOf(a->requirements), (std::vector<std::string>{"Crew", "Power"}));
  EXPECT_EQ(valueOf(entry(a->requirements, L"Power")), 5.0f);
  EXPECT_EQ(namesOf(a->consumption), (std::vector<std::string>{"Fuel", "Ore"}));
  EXPECT_EQ(namesOf(a->hints), (std::vector<std::string>{"Arc", "Range", "Speed"}));
  EXPECT_EQ(valueOf(entry(a->hints, L"Arc")), 0.0f);
  EXPECT_EQ(namesOf(a->tags), (std::vector<std::string>{"X"}));
}

TEST_F(SubSystemFileTest, NamedListItems) {
  EXPECT_EQ(load("System: A\nCosts: Metals, [x], Iron[ 2 ], Zinc[], Lead]x, Tin[[1]], Copper[4\n"), loading());
  const SubSystemDef* a = def(L"A");
  ASSERT_NE(a, nullptr);
  // "[x]", "Lead]x" and "Tin[[1]]" are skipped; a bare name, an empty
  // formula and a missing "]" cost 0.
  EXPECT_EQ(namesOf(a->costs), (std::vector<std::string>{"Copper", "Iron", "Metals", "Zinc"}));
  EXPECT_EQ(valueOf(entry(a->costs, L"Copper")), 0.0f);
  EXPECT_EQ(valueOf(entry(a->costs, L"Metals")), 0.0f);
  EXPECT_EQ(valueOf(entry(a->costs, L"Iron")), 2.0f);
  EXPECT_EQ(valueOf(entry(a->costs, L"Zinc")), 0.0f);
}

// --- Keys ---

TEST_F(SubSystemFileTest, EquipsTo) {
  const struct {
    const char* value;
    int32_t equipsTo;
  } cases[] = {{"Stage 3", 3}, {"Armor", kEquipsToArmor}, {"Hull", kEquipsToHull}, {"Stage -2", -2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(load(std::string("System: A\nEquips To: ") + c.value + "\n"), loading());
    EXPECT_EQ(def(L"A")->equipsTo, c.equipsTo);
    clearSubSystemDefs();
  }
}

TEST_F(SubSystemFileTest, TextsAndSingleValues) {
  EXPECT_EQ(load("System: A\n"
                 "Name: 'Light Armour'\n"
                 "Description: \"One\\nTwo\\tThree\\q\\\"\n"
                 "PreDamageOrder: 12\n"
                 "Available: 2\n"
                 "Appearance: Shiny\n"
                 "Explosion: Big\n"
                 "Emits: Smoke\n"
                 "ignored\n"
                 "System: B\n"
                 "Description: One\\nTwo\\tThree\\q\\\n"),
            loading());
  const SubSystemDef* a = def(L"A");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->name, stringw(L"Light Armour"));
  EXPECT_EQ(a->description, stringw(L"One\nTwo#tab#Threeq\\"));
  EXPECT_EQ(def(L"B")->description, a->description);
  EXPECT_EQ(a->preDamageOrder, 12);
  EXPECT_EQ(valueOf(a->available), 2.0f);
  EXPECT_STREQ(a->explosion.c_str(), "subsys_explosion");
}

TEST_F(SubSystemFileTest, VariablesKeepDeclarationOrder) {
  EXPECT_EQ(load("System: A\nSpeed: 2\nRange: Speed * 3\nSpeed: 5\nstray\n"),
            loading() + at(4) + "warning S003: Duplicate value 'Speed' for system\n");
  const SubSystemDef* a = def(L"A");
  ASSERT_GE(a->variables.size(), 2u);
  const SubSystemDef::ValueInfo* speed = a->variables.front();
  EXPECT_EQ(speed->name, stringw(L"Speed"));
  EXPECT_EQ(speed->index, 0u);
  EXPECT_FALSE(speed->builtIn);
  EXPECT_EQ(valueOf(speed->value), 2.0f);
  EXPECT_EQ((*std::next(a->variables.begin()))->name, stringw(L"Range"));
}

TEST_F(SubSystemFileTest, ProvidesEffectsAndEffectors) {
  EXPECT_EQ(load("System: Gun\n"
                 "Provides: Hit with\n"
                 "Amount[4]\n"
                 "Provides: Laser with Damage[7]\n"
                 "System: Beam\n"
                 "Provides: Tractor with Pull[1]\n"
                 "Tick Rate: 4\n"
                 "System: Plate\n"
                 "Provides: Hit with Amount[1]\n"),
            loading());
  const SubSystemDef* gun = def(L"Gun");
  ASSERT_EQ(gun->provisions.size(), 1u);
  EXPECT_EQ(gun->provisions.front()->effect, findEffect(L"Hit"));
  EXPECT_EQ(valueOf(gun->provisions.front()->values[0]), 4.0f);
  ASSERT_EQ(gun->effectors.size(), 1u);
  EXPECT_EQ(valueOf(gun->effectors.front()->values[0]), 7.0f);
  EXPECT_TRUE(gun->hasWeapon);
  EXPECT_EQ(gun->tickRate, uint32_t(STR_Always));

  const SubSystemDef* beam = def(L"Beam");
  EXPECT_FALSE(beam->hasWeapon);
  EXPECT_EQ(beam->tickRate, uint32_t(STR_4));  // the later line wins over "Always"
  EXPECT_EQ(def(L"Plate")->tickRate, uint32_t(STR_10));
}

TEST_F(SubSystemFileTest, TriggerablesAndADiscardedDuplicate) {
  EXPECT_EQ(load("System: A\n"
                 "Triggerable: Fire: Laser with\n"
                 "Damage[1]\n"
                 "Triggerable: Fire: Tractor with\n"
                 "  Pull[5]\n"
                 "Damage[9]\n"
                 "Triggerable: Pull: Tractor with Pull[2]\n"),
            loading() + at(4) + "error S146: Duplicate Triggerable \"Fire\"\n");
  const SubSystemDef* a = def(L"A");
  ASSERT_EQ(namesOf(a->triggerables), (std::vector<std::string>{"Fire", "Pull"}));
  const effector_forms* fire = a->triggerables[0].value;
  EXPECT_EQ(fire->def, findEffector(L"Laser"));
  EXPECT_EQ(valueOf(fire->values[0]), 1.0f);
  EXPECT_EQ(valueOf(a->triggerables[1].value->values[0]), 2.0f);
  EXPECT_TRUE(a->effectors.empty());
}

TEST_F(SubSystemFileTest, TiedToAddsTiesToKnownTechnologies) {
  EXPECT_EQ(load("System: A\nTied To: Lasers 3, Nope 1, Optics, Optics x\n"), loading());
  const SubSystemDef* a = def(L"A");
  ASSERT_EQ(a->ties.size(), 2u);
  EXPECT_EQ(a->ties[0]->desc, technology(L"Lasers"));
  EXPECT_EQ(a->ties[0]->level, 3u);
  EXPECT_EQ(a->ties[1]->desc, technology(L"Optics"));
  EXPECT_EQ(a->ties[1]->level, 0u);
  EXPECT_EQ(technology(L"Lasers")->getTie(0), a->ties[0]);
}

// --- IDs and overrides ---

TEST_F(SubSystemFileTest, AnOverrideStartsEmptyUnderTheSameIdAndMovesTheTies) {
  EXPECT_EQ(load("System: Laser\n"
                 "Costs: Metals[1]\n"
                 "Tags: Old\n"
                 "Tied To: Lasers 2, Optics 1, Lasers 5\n"
                 "System: Other\n"
                 "Tied To: Lasers 1\n"),
            loading());
  ASSERT_EQ(def(L"Laser")->id, 0x6572614Cu);
  EXPECT_EQ(technology(L"Lasers")->getTieCount(), 3u);

  EXPECT_EQ(load("System-Override: Laser\nCosts: Iron[1]\nTied To: Lasers 4\nSystem-Override: Fresh\n"), loading());
  ASSERT_EQ(subSystemDefRegistry.size(), 3u);
  SubSystemDef* laser = def(L"Laser");
  EXPECT_EQ(laser->id, 0x6572614Cu);
  EXPECT_EQ(lookupSubSystemDefByID(0x6572614Cu), laser);
  EXPECT_EQ(subSystemDefsByID.size(), 3u);
  EXPECT_EQ(namesOf(laser->costs), (std::vector<std::string>{"Iron"}));
  EXPECT_FALSE(laser->hasTag(L"Old"));
  EXPECT_TRUE(laser->finalized);
  // The old definition's ties are gone; the other definition's and the
  // override's own remain, in order.
  research::IWebItemDesc* lasers = technology(L"Lasers");
  ASSERT_EQ(lasers->getTieCount(), 2u);
  EXPECT_EQ(lasers->getTie(0)->def, def(L"Other"));
  EXPECT_EQ(lasers->getTie(1)->def, laser);
  EXPECT_EQ(lasers->getTie(1)->level, 4u);
  EXPECT_EQ(technology(L"Optics")->getTieCount(), 0u);
  EXPECT_NE(def(L"Fresh"), nullptr);  // an override of nothing is a new definition
}

TEST_F(SubSystemFileTest, IdsFollowTheLoadOrder) {
  EXPECT_EQ(load("System: Ab\nSystem: Laser\nSystem: Lancer\nSystem: X\n"), loading());
  EXPECT_EQ(def(L"Ab")->id, 0x00006241u);
  EXPECT_EQ(def(L"Laser")->id, 0x6572614Cu);
  EXPECT_EQ(def(L"Lancer")->id, 0x6572614Du);
  EXPECT_EQ(def(L"X")->id, 0x00000058u);
}

// --- Alters ---

class SubSystemAltersTest : public SubSystemFileTest {
 protected:
  void SetUp() override {
    SubSystemFileTest::SetUp();
    LogCapture log;
    ASSERT_TRUE(createScriptEngines());
    registerScriptString(serverScriptEngine);
    serverScriptEngine->RegisterObjectType("subSystem", 0, asOBJ_REF | asOBJ_NOCOUNT);
    serverScriptEngine->RegisterEnum("SubSystemEvalMode");
    asIScriptModule* hooks = serverScriptEngine->GetModule("hooks", asGM_ALWAYS_CREATE);
    hooks->AddScriptSection("hooks",
                            "void both(subSystem@ s, SubSystemEvalMode m, float a) {}\n"
                            "void both(subSystem@ s, const string@ v, float a) {}\n"
                            "void named(subSystem@ s, const string@ v, float a, float b) {}\n"
                            "void none(subSystem@ s, SubSystemEvalMode m) {}\n");
    ASSERT_GE(hooks->Build(), 0);
    EXPECT_EQ(log.take(), "");
  }
  void TearDown() override {
    clearSubSystemDefs();
    freeThreadLocals();
    discardScriptModules();
    releaseScriptEngines();
    SubSystemFileTest::TearDown();
  }
};

TEST_F(SubSystemAltersTest, FunctionsAreFoundInEitherForm) {
  EXPECT_EQ(load("System: A\n"
                 "Alters: hooks::both[1], hooks::named[2][1 + 2],\n"
                 "hooks::missing[1], hooks::none\n"
                 "Alters: hooks::both, nohooks\n"),
            loading() +
                at(3) +
                "error S201: Could not locate function 'void hooks::missing(subSystem@,SubSystemEvalMode,float)'"
                "\n\t\tor 'void hooks::missing(subSystem@,const string@,float)'\n" +
                at(4) +
                "error S201: Could not locate function 'void hooks::both(subSystem@,SubSystemEvalMode)'"
                "\n\t\tor 'void hooks::both(subSystem@,const string@)'\n" +
                at(4) +
                "error S201: Could not locate function 'void nohooks(subSystem@,SubSystemEvalMode)'"
                "\n\t\tor 'void nohooks(subSystem@,const string@)'\n");
  const SubSystemDef* a = def(L"A");
  ASSERT_EQ(a->alterHooks.size(), 3u);
  auto hook = a->alterHooks.begin();
  EXPECT_GE((*hook)->modeFunction, 0);
  EXPECT_GE((*hook)->stringFunction, 0);
  EXPECT_NE((*hook)->modeFunction, (*hook)->stringFunction);
  ASSERT_EQ((*hook)->arguments.size(), 1u);

  ++hook;  // only the string form exists: kept, the mode form negative
  EXPECT_LT((*hook)->modeFunction, 0);
  EXPECT_GE((*hook)->stringFunction, 0);
  ASSERT_EQ((*hook)->arguments.size(), 2u);
  EXPECT_EQ(valueOf((*hook)->arguments.front()), 2.0f);
  EXPECT_EQ(valueOf((*hook)->arguments.back()), 3.0f);

  ++hook;
  EXPECT_GE((*hook)->modeFunction, 0);
  EXPECT_LT((*hook)->stringFunction, 0);
  EXPECT_TRUE((*hook)->arguments.empty());
}

}  // namespace

}  // namespace sub_system_loader_test
