// Designing through the active hull: what scripts add to it, the names and
// revisions that finalising files, the rejections, the sub-system lookups
// that designs start from, and one active hull per thread.
#include "scriptapi/active_hull.h"

#include <angelscript.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/locale.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "script/script_engine.h"
#include "script/server_modules.h"
#include "scriptapi/script_session.h"
#include "support/log_capture.h"

namespace active_hull_test {

using namespace AngelScript;
using irr::core::stringc;
using irr::core::stringw;

namespace {

constexpr char kHooks[] = "void tag(subSystem@ s, SubSystemEvalMode m, float v) {}\n";

// Two sets of parts, A and B, each a frame and a part; "Linker" alters.
const char* const kDefinitions =
    "System: FrameA\nTags: Hull, Engine\nSize: 100\n\n"
    "System: PartA\nSize: 1\n\n"
    "System: FrameB\nTags: Hull, Engine\nSize: 100\n\n"
    "System: PartB\nSize: 1\n\n"
    "System: Linker\nSize: 1\nAlters: hooks::tag[1]\n";

// Designs `count` layouts "<set><i>" from set A or B: frame, then two parts.
std::string designLoop(const char* function, char set, int count) {
  const std::string s(1, set);
  return std::string(function) + " {\n  for (int i = 0; i < " + std::to_string(count) +
         "; ++i) {\n    clearActiveHull();\n    addSysToActiveHull(getSubSystemDefByName(\"Frame" + s +
         "\"), 1, pos2df(0, 0));\n    addSysToActiveHull(getSubSystemDefByName(\"Part" + s +
         "\"), 1, pos2df(1, 0));\n    addSysToActiveHull(getSubSystemDefByName(\"Part" + s +
         "\"), 1, pos2df(-1, 0));\n    if (!finalizeActiveHull(\"" + s + "\" + i)) return;\n  }\n}\n";
}

class ActiveHullTest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    startSession({{"hooks", kHooks}, {"worker_designs", designLoop("void tick(float)", 'B', 1000)}});
    ASSERT_NE(subsystemtest::loadDefinition(root_, kDefinitions, L"FrameA"), nullptr);
    red_ = registerEmpire(new empire);
    activeEmpire = red_;
  }
  void TearDown() override {
    run("clearActiveHull(); return true;");
    ScriptSessionTest::TearDown();
    clearSubSystemDefs();
  }

  // Runs "bool f() { <body> }" on the server engine, single quotes made
  // double: "true", "false" or "exception: <text>".
  static std::string run(std::string body) {
    for (char& c : body)
      c = c == '\'' ? '"' : c;
    asIScriptModule* module = build(serverScriptEngine, "designer", "bool f() { " + body + " }");
    if (module == nullptr)
      return "does not build";
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    context->Prepare(module->GetFunctionByName("f"));
    std::string outcome;
    if (context->Execute() == asEXECUTION_FINISHED)
      outcome = context->GetReturnByte() != 0 ? "true" : "false";
    else
      outcome = std::string("exception: ") + context->GetExceptionString();
    context->Release();
    return outcome;
  }

  hull_list* layout(const wchar_t* name) const {
    const irr::s32 index = NamedVar<hull_list*>::find(red_->hulls, name);
    return index < 0 ? nullptr : red_->hulls[static_cast<irr::u32>(index)].value;
  }

  // A frame and one part of set A, at design scale 1.
  static constexpr char kDesign[] =
      "clearActiveHull(); setActiveHullScale(1);"
      "addSysToActiveHull(getSubSystemDefByName('FrameA'), 1, pos2df(0, 0));"
      "addSysToActiveHull(getSubSystemDefByName('PartA'), 1, pos2df(1, 0));";

  empire* red_ = nullptr;
};

TEST_F(ActiveHullTest, FinalisingFilesTheCleanedNameOrRefuses) {
  const std::string rejected = std::string("Attempted to create invalid hull 'X'\n Error: ") +
                               stringc(getLocalizedText(L"#LEE_SubSys")).c_str() + "\n";
  const struct {
    const char* body;
    const char* outcome;
    const wchar_t* filed;  // the name the layout is filed under, or null
    std::string logged;
  } cases[] = {
      {"return finalizeActiveHull('Mk II/B#1');", "true", L"Mk II-B+1", ""},
      {"return finalizeActiveHull('a\\\\b|c\\r\\td');", "true", L"a-b-c  d", ""},
      {"return finalizeActiveHull('\\n');", "true", L" ", ""},
      {"return finalizeActiveHull('');", "exception: Null string@ finalizing hull", nullptr, ""},
      {"clearActiveHull(); return finalizeActiveHull('X');", "false", nullptr, rejected},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    const irr::u32 before = red_->hulls.size();
    LogCapture log;
    EXPECT_EQ(run(std::string(kDesign) + c.body), c.outcome);
    // (An exception is reported by the context's callback instead.)
    if (std::string(c.outcome).rfind("exception", 0) != 0) {
      EXPECT_EQ(log.take(), c.logged);
    }
    EXPECT_EQ(red_->hulls.size(), before + (c.filed != nullptr ? 1u : 0u));
    if (c.filed != nullptr) {
      const hull_list* filed = layout(c.filed);
      ASSERT_NE(filed, nullptr);
      EXPECT_EQ(filed->name, stringw(c.filed));
      EXPECT_EQ(filed->systemCount, 2u);
      EXPECT_EQ(filed->revision, 1u);
    }
  }
}

TEST_F(ActiveHullTest, TheSettersAndWhatFinalisingKeeps) {
  EXPECT_EQ(run(std::string(kDesign) +
                "setActiveHullScale(4); setActiveHullMetaData(7);"
                "setActiveHullTargetScale(1, 2); setActiveHullTargetDamage(3, 4, true);"
                "setActiveHullOrbitTargets(false); setActiveHullAllowTargets(false, true);"
                "setActiveHullDepositTargets(true, false); setActiveHullAllowFetch(true);"
                "return finalizeActiveHull('Set') && finalizeActiveHull('Again');"),
            "true");
  // A bad scale stops the script and keeps the one before.
  EXPECT_EQ(run("setActiveHullScale(0); return true;"), "exception: Attempted to set a hull scale <= 0");
  EXPECT_EQ(run("setActiveHullScale(-1); return true;"), "exception: Attempted to set a hull scale <= 0");
  EXPECT_EQ(run("return finalizeActiveHull('Kept');"), "true");

  for (const wchar_t* name : {L"Set", L"Again", L"Kept"}) {
    SCOPED_TRACE(stringc(name).c_str());
    const hull_list* filed = layout(name);
    ASSERT_NE(filed, nullptr);
    EXPECT_EQ(filed->systemCount, 2u);  // finalising does not reset the design
    EXPECT_EQ(filed->scale, 2.0f);      // the square root of the design scale
    EXPECT_EQ(filed->metadata, 7);
    const hull_targeting& t = filed->targeting;
    EXPECT_EQ(t.targetScaleMin, 1.0f);
    EXPECT_EQ(t.targetScaleMax, 2.0f);
    EXPECT_TRUE(t.targetScaleSet);
    EXPECT_FALSE(t.targetScaleExclusive);
    EXPECT_EQ(t.targetDamageMin, 3.0f);
    EXPECT_EQ(t.targetDamageMax, 4.0f);
    EXPECT_TRUE(t.targetDamageSet);
    EXPECT_TRUE(t.targetDamageExclusive);
    EXPECT_FALSE(t.orbits);
    EXPECT_FALSE(t.allowShipTargets);
    EXPECT_TRUE(t.allowPlanetTargets);
    EXPECT_TRUE(t.depositTargets[0]);
    EXPECT_FALSE(t.depositTargets[1]);
    EXPECT_TRUE(t.allowFetch);
  }
  // Clearing resets all but the metadata.
  EXPECT_EQ(run(std::string(kDesign) + "return finalizeActiveHull('Cleared');"), "true");
  ASSERT_NE(layout(L"Cleared"), nullptr);
  EXPECT_EQ(layout(L"Cleared")->scale, 1.0f);
  EXPECT_EQ(layout(L"Cleared")->metadata, 7);
  EXPECT_TRUE(layout(L"Cleared")->targeting.orbits);
}

TEST_F(ActiveHullTest, AddingSubSystems) {
  const struct {
    const char* body;  // after the frame and a part (entry 1)
    const char* outcome;
    int32_t link;  // of the third entry
  } cases[] = {
      {"addSysToActiveHull(getSubSystemDefByName('Linker'), 1, pos2df(2, 0), 1);", "true", 1},
      {"addSysToActiveHull(getSubSystemDefByName('PartA'), 1, pos2df(2, 0), 1);", "true", -1},
      {"addSysToActiveHull(getSubSystemDefByName('Linker'), 1, pos2df(2, 0));", "true", -1},
      {"addSysToActiveHull(null, 1, pos2df(2, 0));", "exception: Added null subSystemDef@ to layout", 0},
      {"addSysToActiveHull(null, 1, pos2df(2, 0), 1);", "exception: Added null subSystemDef@ to layout", 0},
  };
  int made = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    const std::string name = "L" + std::to_string(made);
    EXPECT_EQ(run(std::string(kDesign) + c.body + "return finalizeActiveHull('" + name + "');"), c.outcome);
    if (c.link == 0)
      continue;
    ++made;
    const hull_list* filed = layout(stringw(name.c_str()).c_str());
    ASSERT_NE(filed, nullptr);
    ASSERT_EQ(filed->systemCount, 3u);
    EXPECT_EQ(filed->systems[2].link, c.link);
    EXPECT_EQ(filed->systems[2].x, 2.0f);
  }
}

TEST_F(ActiveHullTest, SubSystemLookups) {
  const struct {
    const char* body;
    const char* outcome;
  } cases[] = {
      {"return getSubSystemCount() == 5;", "true"},
      {"return getSubSystemDef(getSubSystemCount()) is null;",
       "exception: Accessed invalid Sub System Definition index"},
      {"const subSystemDef@ d = getSubSystemDefByName('PartB');"
       "return d is getSubSystemDefByID(d.ID) && d.getName() == 'PartB';",
       "true"},
      {"uint i = 0; while (getSubSystemDef(i).getName() != 'Linker') ++i;"
       "return getSubSystemDef(i) is getSubSystemDefByName('Linker');",
       "true"},
      {"return getSubSystemDefByName('Nope') is null;", "true"},
      {"return getSubSystemDefByID(12345) is null;", "exception: Invalid subSystemDef ID"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    EXPECT_EQ(run(c.body), c.outcome);
  }
  // The client engine has them too.
  EXPECT_NE(build(clientScriptEngine, "client_lookups",
                  "uint f() { return getSubSystemCount() + getSubSystemDef(0).ID + getSubSystemDefByID(1).ID"
                  " + getSubSystemDefByName(\"PartA\").getName().length(); }\n"
                  "bool g() { clearActiveHull(); return finalizeActiveHull(\"C\"); }"),
            nullptr);
}

TEST_F(ActiveHullTest, FinalisingANameAgainMakesTheNextRevision) {
  ASSERT_EQ(run(std::string(kDesign) + "return finalizeActiveHull('Scout');"), "true");
  hull_list* first = layout(L"Scout");
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(run(std::string(kDesign) + "return finalizeActiveHull('Scout');"), "true");

  hull_list* second = layout(L"Scout");
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_EQ(second->revision, 2u);
  EXPECT_FALSE(second->obsolete);
  EXPECT_EQ(second->newer, nullptr);
  EXPECT_EQ(layout(L"Scout r1"), first);
  EXPECT_EQ(first->name, stringw(L"Scout r1"));
  EXPECT_TRUE(first->obsolete);
  EXPECT_EQ(first->newer, second);
  EXPECT_EQ(red_->hulls.size(), 2u);
}

// The empire AI designs on the frame loop's thread while a server module
// designs on its worker: each sees only its own active hull.
TEST_F(ActiveHullTest, EachThreadDesignsOnItsOwnActiveHull) {
  asIScriptModule* main = build(serverScriptEngine, "main_designs", designLoop("void designA()", 'A', 1000));
  ASSERT_NE(main, nullptr);
  LogCapture log;
  std::thread worker([] {
    initThreadLocals();
    tickServerModules(0.0f);
    freeThreadLocals();
  });
  EXPECT_EQ(scriptapitest::call(main, "void designA()"), "finished");
  worker.join();
  EXPECT_EQ(log.take(), "");

  ASSERT_EQ(red_->hulls.size(), 2000u);
  for (irr::u32 i = 0; i < red_->hulls.size(); ++i) {
    const hull_list* filed = red_->hulls[i].value;
    const wchar_t set = filed->name[0];
    ASSERT_EQ(filed->systemCount, 3u) << stringc(filed->name).c_str();
    for (uint32_t k = 0; k < filed->systemCount; ++k) {
      const stringw& part = filed->systems[k].system->def->name;
      ASSERT_EQ(part[part.size() - 1], set) << stringc(filed->name).c_str();
    }
  }
}

// Finalising takes the layout table before the empire's variables; the
// galaxy threads' updates take them in the same order.
TEST_F(ActiveHullTest, FinalisingBesideUpdatesOnOtherThreads) {
  ASSERT_EQ(run(std::string(kDesign) + "return finalizeActiveHull('Scout');"), "true");
  std::atomic<bool> stop{false};
  std::vector<std::thread> galaxy;
  for (int t = 0; t < 4; ++t)
    galaxy.emplace_back([&] {
      initThreadLocals();
      while (!stop.load()) {
        hull_list* current = red_->updateHullByName(L"Scout", -1.0f);
        red_->getUpdatedHull(current, 1.0f);
      }
      freeThreadLocals();
    });
  const std::string outcome = run(std::string(kDesign) +
                                  "for (int i = 0; i < 200; ++i) if (!finalizeActiveHull('Scout')) return false;"
                                  "return true;");
  stop = true;
  for (std::thread& thread : galaxy)
    thread.join();
  EXPECT_EQ(outcome, "true");
  ASSERT_NE(layout(L"Scout"), nullptr);
  EXPECT_EQ(layout(L"Scout")->revision, 201u);
  EXPECT_EQ(red_->hulls.size(), 201u);
}

}  // namespace

}  // namespace active_hull_test
