// Hull layouts in scripts: the statistics a layout sums up, its tags, the
// update threshold (kept for the active empire's layouts only, and sent to
// the server from a client), going out of date, the index rows, and the
// temporary hull builder with the life of the layouts it makes.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/common_strings.h"
#include "core/locale.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "net/network_manager.h"
#include "script/script_engine.h"
#include "scriptapi/script_session.h"
#include "scriptapi/temp_hull.h"
#include "support/log_capture.h"
#include "support/sent_messages.h"
#include "support/space_empire.h"

namespace hull_layout_script_test {

using namespace AngelScript;
using irr::core::stringc;
using irr::core::stringw;

namespace {

const char* const kDefinitions =
    "System: Hull40\nTags: Hull\nSize: 40\nDurability: 100\nMass: 10\n\n"
    "System: Box12\nSize: 12\nDurability: 20\nMass: 3\nCosts: Metals[2]\nConsumes:\nTo Run: Ore[2]\n"
    "Hints: Ore[5]\n\n"
    "System: Plate8\nTags: Armor\nSize: 8\nDurability: 50\nMass: 6\nCosts: Metals[1]\n\n"
    "System: Gate\nTags: Restrict:Engine, Require:Hull, Shield\nSize: 1\n\n"
    "System: Hull20\nTags: Hull\nSize: 20\n\n"
    "System: Big30\nSize: 30\n\n"
    "System: Linker\nSize: 1\nAlters: hooks::tag[1]\n";

constexpr char kHooks[] = "void tag(subSystem@ s, SubSystemEvalMode m, float v) {}\n";

// The layout the test hands to scripts as "HullLayout@ testLayout()".
hull_list* givenLayout = nullptr;
hull_list* testLayout() { return givenLayout; }

class HullLayoutScriptTest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    startSession({{"hooks", kHooks}});
    ASSERT_NE(subsystemtest::loadDefinition(root_, kDefinitions, L"Hull40"), nullptr);
    red_ = registerEmpire(new empire);
    blue_ = registerEmpire(new empire);
    activeEmpire = red_;
    for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine})
      ASSERT_GE(engine->RegisterGlobalFunction("HullLayout@ testLayout()", asFUNCTION(testLayout), asCALL_CDECL), 0);
  }
  void TearDown() override {
    stopCapturingSends();
    networkManager->isNetworked = false;
    networkManager->isConnected = false;
    givenLayout = nullptr;
    ScriptSessionTest::TearDown();
    clearSubSystemDefs();
  }

  // Runs "bool f() { <body> }" in the client engine (the server engine with
  // `server`), single quotes made double: "true", "false" or
  // "exception: <text>".
  static std::string run(std::string body, bool server = false) {
    for (char& c : body)
      c = c == '\'' ? '"' : c;
    asIScriptEngine* engine = server ? serverScriptEngine : clientScriptEngine;
    asIScriptModule* module = build(engine, "hulls", "bool f() { " + body + " }");
    if (module == nullptr)
      return "does not build";
    asIScriptContext* context = createScriptContext(engine);
    context->Prepare(module->GetFunctionByName("f"));
    std::string outcome;
    if (context->Execute() == asEXECUTION_FINISHED)
      outcome = context->GetReturnByte() != 0 ? "true" : "false";
    else
      outcome = std::string("exception: ") + context->GetExceptionString();
    context->Release();
    return outcome;
  }

  // A layout of `owner` filed in its table under `name`, from the named
  // definitions at sub-system scale 1 (no rule checked).
  static hull_list* file(empire* owner, const wchar_t* name, std::initializer_list<const wchar_t*> parts) {
    layout_desc desc;
    for (const wchar_t* part : parts)
      desc.systems.push_back({findSubSystemDef(part), 1.0f, 0.0f, 0.0f, -1});
    auto* layout = new hull_list(desc, owner, true);
    layout->name = name;
    NamedVar<hull_list*>::getOrAdd(owner->hulls, name).value = layout;
    return layout;
  }

  static const SubSystemDef* findSubSystemDef(const wchar_t* name) {
    const irr::s32 index = PtrNamedVar<SubSystemDef*>::find(subSystemDefRegistry, name);
    return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }

  static std::string text(const wchar_t* key) { return stringc(getLocalizedText(key)).c_str(); }

  empire* red_ = nullptr;
  empire* blue_ = nullptr;
};

// Design scale 4 (layout scale 2): a hull of 40 and parts of 12 and 8, the 8
// armour.
constexpr char kStatsDesign[] =
    "addSubSysToTempHull(getSubSystemDefByName('Hull40'), 1, pos2df(0, 0));"
    "addSubSysToTempHull(getSubSystemDefByName('Box12'), 1, pos2df(1, 0));"
    "addSubSysToTempHull(getSubSystemDefByName('Plate8'), 1, pos2df(2, 0));"
    "const HullLayout@ l = finalizeTempHull(4);"
    "if (l is null || l.scale != 2) return false;"
    "HullStats@ s = l.getStats();";

TEST_F(HullLayoutScriptTest, StatisticsSumTheSubSystems) {
  const struct {
    const char* check;
    const char* outcome;
  } cases[] = {
      // Space, divided by the scale squared; armour takes none.
      {"return s.spaceTotal == 10 && s.spaceTaken == 3;", "true"},
      // Maximum HP and mass summed; consumption taken from the hint.
      {"return s.getHint('HP') == 170 && s.getHint('Mass') == 19 && s.getHint('Ore') == 3;", "true"},
      {"return s.getHintCnt() == 3 && s.getHintName(2) == 'Ore' && s.getHint(2) == 3;", "true"},
      {"return s.getCostCnt() == 1 && s.getCostName(0) == 'Metals' && s.getCost(0) == 3;", "true"},
      {"return s.getCost('Metals') == 3 && s.getCost('unknown') == 0 && s.getHint('unknown') == 0;", "true"},
      {"s.getCost(s.getCostCnt()); return true;", "exception: Out of bounds index when getting hull cost"},
      {"s.getCostName(1); return true;", "exception: Out of bounds index when getting hull cost name"},
      {"s.getHint(3); return true;", "exception: Out of bounds index when getting hull cost"},
      {"s.getHintName(3); return true;", "exception: Out of bounds index when getting hull cost name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.check);
    EXPECT_EQ(run(std::string(kStatsDesign) + c.check), c.outcome);
  }
  // The same members in the server engine, on a layout of scale 1.
  givenLayout = file(red_, L"Stats", {L"Hull40", L"Box12", L"Plate8"});
  EXPECT_EQ(run("HullStats@ s = testLayout().getStats();"
                "return s.spaceTotal == 40 && s.spaceTaken == 12 && s.getHint('HP') == 170;",
                true),
            "true");
}

TEST_F(HullLayoutScriptTest, TagsAreAskedWithoutBeingKept) {
  givenLayout = file(red_, L"Gated", {L"Hull40", L"Gate"});
  const struct {
    const char* body;
    const char* outcome;
  } cases[] = {
      // Restrictions are in the tag set, requirements are not.
      {"return testLayout().hasSystemWithTag('Restrict:Engine');", "true"},
      {"return testLayout().hasSystemWithTag('Hull') && testLayout().hasSystemWithTag('Shield');", "true"},
      {"return testLayout().hasSystemWithTag('Require:Hull');", "false"},
      {"return testLayout().hasSystemWithTag('Engine');", "false"},
      {"return testLayout().hasSystemWithTag('');", "exception: hull tags can never be empty strings"},
  };
  for (bool server : {true, false})
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.body) + (server ? " (server)" : " (client)"));
      EXPECT_EQ(run(c.body, server), c.outcome);
    }

  const irr::u32 pooled = commonStringList().size();
  EXPECT_EQ(run("for (int i = 0; i < 1000; ++i) if (testLayout().hasSystemWithTag('Never seen ' + i)) return false;"
                "return true;"),
            "true");
  EXPECT_EQ(commonStringList().size(), pooled);
}

TEST_F(HullLayoutScriptTest, ThresholdsBelongToTheActiveEmpire) {
  hull_list* own = file(red_, L"Scout", {L"Hull40"});
  hull_list* other = file(blue_, L"Scout", {L"Hull40"});
  other->updateThreshold = 7.0f;  // as blue set it
  const std::string ownLayout = "getEmpireByID(" + std::to_string(red_->ID) + ").getShipLayout('Scout')";

  networkManager->isNetworked = true;
  networkManager->isConnected = true;
  std::vector<SentMessage> sent;
  captureSends(sent);

  givenLayout = other;
  EXPECT_EQ(run("const HullLayout@ l = testLayout(); l.updateThreshold = 3; return l.updateThreshold == 0;"),
            "true");
  EXPECT_EQ(other->updateThreshold, 7.0f);
  EXPECT_TRUE(sent.empty());

  EXPECT_EQ(run("const HullLayout@ l = " + ownLayout + "; l.updateThreshold = 2.5; return l.updateThreshold == 2.5;"),
            "true");
  EXPECT_EQ(own->updateThreshold, 2.5f);
  ASSERT_EQ(sent.size(), 1u);
  const std::vector<uint8_t> expected = {0x87, 0x01, 0x05, 0x53, 0x00, 0x63, 0x00, 0x6F, 0x00,
                                         0x75, 0x00, 0x74, 0x00, 0x40, 0x20, 0x00, 0x00};
  EXPECT_EQ(sent[0].bytes, expected);

  // Alone, the threshold is stored and nothing is sent.
  networkManager->isNetworked = false;
  networkManager->isConnected = false;
  sent.clear();
  EXPECT_EQ(run("const HullLayout@ l = " + ownLayout + "; l.updateThreshold = 4; return l.updateThreshold == 4;", true),
            "true");
  EXPECT_EQ(own->updateThreshold, 4.0f);
  EXPECT_TRUE(sent.empty());
}

TEST_F(HullLayoutScriptTest, GoingObsoleteForgetsTheSuccessor) {
  hull_list* old = file(red_, L"Old", {L"Hull40"});
  hull_list* successor = file(red_, L"New", {L"Hull40"});
  old->newer = successor;
  givenLayout = old;
  EXPECT_EQ(run("HullLayout@ l = testLayout(); bool before = l.obsolete;"
                "l.set_obsolete(); return !before && l.obsolete;",
                true),
            "true");
  EXPECT_TRUE(old->obsolete);
  EXPECT_EQ(old->newer, nullptr);
}

// Each index row past the count raises its text.
TEST_F(HullLayoutScriptTest, IndexRowsPastTheCount) {
  givenLayout = file(red_, L"One", {L"Hull40"});
  const struct {
    const char* body;
    const char* exception;
  } cases[] = {
      {"testLayout().getSubSys(1);", "Out of bounds index when getting subSystem@ from hullLayout"},
      {"testLayout().getSubSysPos(1);", "Out of bounds index when getting SubSystem position from hullLayout"},
      {"testLayout().getSubSysLink(1);", "Out of bounds index when getting link index from hullLayout"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    EXPECT_EQ(run(std::string(c.body) + "return true;"), std::string("exception: ") + c.exception);
  }
  EXPECT_EQ(run("return testLayout().getSubSys(0) !is null && testLayout().getSubSysLink(0) == -1;"), "true");
}

// The temporary builder, step by step: each body runs after the one before,
// and its outcome is "true" (or the exception it raises).
TEST_F(HullLayoutScriptTest, TheTemporaryBuilderStepByStep) {
  const std::string noEntries = text(L"#LEE_SubSys");
  const std::string tooSmall = text(L"#LEE_Small");
  const std::string noSpace = text(L"#LEE_Space");
  const std::string frame = "addSubSysToTempHull(getSubSystemDefByName('Hull20'), 1, pos2df(0, 0));";
  const std::string big = "addSubSysToTempHull(getSubSystemDefByName('Big30'), 1, pos2df(1, 0));";
  const std::string space = "float used = -1, total = -1; getTempHullSpace(used, total);";
  const struct {
    std::string body;
    const char* outcome;
  } steps[] = {
      // Nothing pending, twice in a row.
      {"return finalizeTempHull(1.0) is null && getTempHullError() == '" + noEntries + "';", "true"},
      {"return finalizeTempHull(1.0) is null && getTempHullError() == '" + noEntries + "';", "true"},
      // A scale at 0 fails first, even with a valid design.
      {frame + "return finalizeTempHull(0.0) is null && getTempHullError() == '" + tooSmall + "';", "true"},
      // 30 in a hull of 20 at s = 4: the pair divided by s.
      {frame + big + "const HullLayout@ t = finalizeTempHull(4);" + space +
           "return t is null && getTempHullError() == '" + noSpace + "' && used == 7.5 && total == 5;",
       "true"},
      // A success keeps the pair and clears the error.
      {frame + "const HullLayout@ t = finalizeTempHull(4);" + space +
           "return t !is null && getTempHullError() is null && used == 7.5 && total == 5;",
       "true"},
      // Freeing the layout clears the pair.
      {"freeTempHull();" + space + "return getTempHullError() is null && used == 0 && total == 0;", "true"},
      // Freeing without a layout keeps the error.
      {"finalizeTempHull(1); freeTempHull(); return getTempHullError() == '" + noEntries + "';", "true"},
      // A link stays only for a definition with alter hooks.
      {"addSubSysToTempHull(getSubSystemDefByName('Hull40'), 1, pos2df(0, 0));"
       "addSubSysToTempHull(getSubSystemDefByName('Box12'), 1, pos2df(1, 0), 0);"
           "addSubSysToTempHull(getSubSystemDefByName('Linker'), 1, pos2df(2, 0), 1);"
           "const HullLayout@ t = finalizeTempHull(1);"
           "return t.getSubSysLink(1) == -1 && t.getSubSysLink(2) == 1;",
       "true"},
      // The setters act on the layout made, not on the pending design.
      {"freeTempHull(); setTempHullAllowFetch(true); setTempHullOrbitTargets(false);" + frame +
           "const HullLayout@ t = finalizeTempHull(1); return !t.allowFetch && t.orbits;",
       "true"},
      {"addSubSysToTempHull(null, 1, pos2df(0, 0)); return true;",
       "exception: Null subSystemDef@ when adding system to temp HullLayout"},
      // The null entry was not appended: the pending design is empty.
      {"return finalizeTempHull(1) is null && getTempHullError() == '" + noEntries + "';", "true"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.body);
    EXPECT_EQ(run(step.body), step.outcome);
  }
}

// A script may keep a temporary layout's handle across later finalizes and
// frees; the layouts all go at the session's tear-down.
TEST_F(HullLayoutScriptTest, ReplacedTemporaryLayoutsLiveUntilTheSessionEnds) {
  asIScriptModule* module = build(clientScriptEngine, "keeper",
                                  "const HullLayout@ first;\n"
                                  "void make() {\n"
                                  "  addSubSysToTempHull(getSubSystemDefByName(\"Hull40\"), 1, pos2df(0, 0));\n"
                                  "  addSubSysToTempHull(getSubSystemDefByName(\"Box12\"), 1, pos2df(1, 0));\n"
                                  "  @first = finalizeTempHull(1);\n"
                                  "  addSubSysToTempHull(getSubSystemDefByName(\"Hull20\"), 1, pos2df(0, 0));\n"
                                  "  finalizeTempHull(1);\n"
                                  "  freeTempHull();\n"
                                  "}\n"
                                  "uint read() { return first.getSubSysCnt() + first.getStats().getCostCnt(); }\n");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(scriptapitest::call(module, "void make()"), "finished");
  asIScriptContext* context = createScriptContext(clientScriptEngine);
  context->Prepare(module->GetFunctionByDecl("uint read()"));
  ASSERT_EQ(context->Execute(), asEXECUTION_FINISHED);
  EXPECT_EQ(context->GetReturnDWord(), 3u);
  context->Release();

  // Hold the first layout, end the session's temporary layouts: only this
  // test's reference is left.
  auto* first = static_cast<hull_list*>(*static_cast<void**>(module->GetAddressOfGlobalVar(0)));
  ASSERT_NE(first, nullptr);
  first->grab();
  EXPECT_GT(first->getReferenceCount(), 1u);
  freeTempHulls();
  EXPECT_EQ(first->getReferenceCount(), 1u);
  first->drop();
  // The builder starts afresh: no error, no pair.
  EXPECT_EQ(run("float used = -1, total = -1; getTempHullSpace(used, total);"
                "return getTempHullError() is null && used == 0 && total == 0;"),
            "true");
}

// Without an active empire the temporary layout is the space empire's.
TEST_F(HullLayoutScriptTest, WithoutAnActiveEmpireTheSpaceEmpireOwnsTheTemporaryLayout) {
  empire* space = registerSpaceEmpire();
  activeEmpire = nullptr;
  EXPECT_EQ(run("addSubSysToTempHull(getSubSystemDefByName('Hull40'), 1, pos2df(0, 0));"
                "const HullLayout@ t = finalizeTempHull(1);"
                "return t !is null && t.owner.ID == -1 && t.updateThreshold == 0;"),
            "true");
  EXPECT_EQ(run("return getTempHullError() is null;"), "true");
  ASSERT_NE(space, nullptr);
}

// The temporary builder is the client's.
TEST_F(HullLayoutScriptTest, TheTemporaryBuilderIsClientOnly) {
  LogCapture quiet;
  EXPECT_EQ(run("freeTempHull(); return true;", true), "does not build");
  EXPECT_EQ(run("freeTempHull(); return true;"), "true");
}

}  // namespace
}  // namespace hull_layout_script_test
