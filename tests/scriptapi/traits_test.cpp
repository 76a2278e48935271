// Traits: the trait file's loader, the hooks it finds in server scripts, the
// empire's trait operations, the trait ticks of the empire step, and the
// session's steps that apply and clear traits.
#include "empire/traits.h"

#include <angelscript.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/game_session.h"
#include "core/common_strings.h"
#include "core/formula.h"
#include "core/locale.h"
#include "core/save_stream.h"
#include "empire/empire.h"
#include "empire/empire_record.h"
#include "net/network_manager.h"
#include "script/script_string.h"
#include "script/script_xml_io.h"
#include "scriptapi/script_session.h"
#include "support/log_capture.h"
#include "support/save_bytes.h"

namespace traits_test {

namespace {

using irr::core::stringc;
using irr::core::stringw;
using scriptapitest::ScriptSessionTest;

const char kFixtureTraits[] = R"(<traits>
  <tag id="early"/>
  <category id="cat" name="Cat" desc="A category">
    <trait id="first" name="#TR_FIXTURE" desc="#TR_MISSING" cost="12abc">
      <tag id="alpha"/><conflict id="second"/><require id="third"/>
    </trait>
    <trait id="second" cost="-3x"/>
    <trait id="dup" name="earlier"/>
  </category>
  <trait id="dup" name="later"/>
  <trait id="loner">
    <hook type="tick" func="traits_fixture::tickRec" arg0="1.5" arg1="2"/>
    <hook type="apply" func="traits_fixture::absent"/>
    <hook type="remove" func="traits_fixture::noArgs" arg1="7"/>
    <hook type="alter" func="traits_fixture::nope" arg0="1"/>
    <hook type="alter" func="traits_fixture::textOnly" arg0="4"/>
  </trait>
  <trait id="dropper"><hook type="tick" func="traits_fixture::tickDrop"/></trait>
  <trait id="zcounter"><hook type="tick" func="traits_fixture::tickCount"/></trait>
</traits>)";

const char kFixtureModule[] = R"(
void tickRec(Empire@ emp, float seconds, float a, float b) {
  emp.setSetting("seconds", seconds); emp.setSetting("a", a); emp.setSetting("b", b);
  emp.setSetting("order", emp.getSetting("order") * 10 + 1);
}
void noArgs(Empire@ emp) {}
void textOnly(subSystem@ sys, const string@ text, float x) {}
void tickDrop(Empire@ emp, float seconds) {
  emp.setSetting("drops", emp.getSetting("drops") + 1);
  dropTrait(emp, "dropper");
}
void tickCount(Empire@ emp, float seconds) {
  emp.setSetting("order", emp.getSetting("order") * 10 + 2);
}
)";

void dropTrait(empire* emp, const ScriptString& id) { emp->removeTrait(id.toStringw()); }

void loadText(const std::string& xml) {
  ScriptXmlReader reader(xml);
  loadTraits(reader);
}

std::string readSource(const char* relative) {
  std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/" + relative, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

float evaluate(empire* emp, const wchar_t* text) {
  const formula program{stringw(text)};
  return evaluateFormula(&program, &emp->spaces);
}

class TraitsTest : public ScriptSessionTest {
 protected:
  void TearDown() override {
    clearSessionTraits();
    ScriptSessionTest::TearDown();
  }

  // A session with the fixture module (and its native) and the fixture file.
  void startFixture() {
    startSession({});
    serverScriptEngine->RegisterGlobalFunction("void dropTrait(Empire@, const string &in)",
                                               AngelScript::asFUNCTION(dropTrait), AngelScript::asCALL_CDECL);
    module_ = build(serverScriptEngine, "traits_fixture", kFixtureModule);
    ASSERT_NE(module_, nullptr);
    LogCapture log;
    loadText(kFixtureTraits);
    logged_ = log.take();
  }

  // A session with the shipped module and the shipped trait file.
  void startShipped() {
    startSession({{"traits", readSource("data/Game Data/scripts/server/traits.as")}});
    LogCapture log;
    loadTraitFile(CORVANE_SOURCE_DIR "/data/Game Data/traits.xml");
    EXPECT_EQ(log.take(), "");
  }

  AngelScript::asIScriptModule* module_ = nullptr;
  std::string logged_;
};

TEST_F(TraitsTest, LoadsTagsConflictsCostsTextsAndDuplicates) {
  const std::filesystem::path locale = root_ / "fixture_locale.txt";
  std::ofstream(locale) << "#TR_FIXTURE: Fixture text\n";
  ASSERT_TRUE(loadLocaleFile(locale.string().c_str(), true));
  startFixture();
  std::ofstream(locale, std::ios::trunc) << "";
  loadLocaleFile(locale.string().c_str(), true);

  EXPECT_NE(logged_.find("Trait element 'tag' outside a trait ignored\n"), std::string::npos) << logged_;
  ITrait* first = findTrait(L"first");
  ITrait* second = findTrait(L"second");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(first->tags, (std::list<stringw>{L"cat", L"alpha"}));
  EXPECT_EQ(findTrait(L"loner")->tags, std::list<stringw>{L"non_player"});
  EXPECT_TRUE(first->conflictsWith(second));
  EXPECT_FALSE(second->conflictsWith(first));
  EXPECT_TRUE(first->requires(L"third"));
  EXPECT_FALSE(second->requires(L"first"));
  EXPECT_TRUE(first->hasTag(L"alpha"));
  EXPECT_FALSE(first->hasTag(L"alph"));

  const struct {
    const wchar_t* id;
    int32_t cost;
  } costs[] = {{L"first", 12}, {L"second", -3}, {L"loner", 0}};
  for (const auto& row : costs)
    EXPECT_EQ(findTrait(row.id)->cost, row.cost) << stringc(row.id).c_str();

  EXPECT_EQ(first->name, stringw(L"Fixture text"));
  EXPECT_EQ(first->desc, stringw(L"#TR_MISSING"));

  // The later "dup" is registered; the earlier stays in its category and is
  // freed by clearTraits (LeakSanitizer would report it otherwise).
  EXPECT_EQ(findTrait(L"dup")->name, stringw(L"later"));
  ASSERT_EQ(traitCategories().size(), 1u);
  const TraitCategory* category = traitCategories().front();
  EXPECT_EQ(category->name, stringw(L"Cat"));
  ASSERT_EQ(category->traits.size(), 3u);
  EXPECT_EQ(category->traits.back()->name, stringw(L"earlier"));
  clearTraits();
  EXPECT_EQ(findTrait(L"dup"), nullptr);
  EXPECT_TRUE(traitCategories().empty());
}

TEST_F(TraitsTest, FindsHooksByTheirArgumentLists) {
  startFixture();
  auto* loner = dynamic_cast<ScriptTrait*>(findTrait(L"loner"));
  ASSERT_NE(loner, nullptr);
  EXPECT_EQ(loner->tickFunction,
            module_->GetFunctionByDecl("void tickRec(Empire@,float,float,float)")->GetId());
  EXPECT_EQ(loner->tickArgs, (std::vector<float>{1.5f, 2.0f}));
  EXPECT_LT(loner->applyFunction, 0);  // missing, and silent
  EXPECT_EQ(loner->removeFunction, module_->GetFunctionByDecl("void noArgs(Empire@)")->GetId());
  EXPECT_TRUE(loner->removeArgs.empty());

  // Only the missing alter function is logged; the string form is kept.
  EXPECT_EQ(logged_,
            "Trait element 'tag' outside a trait ignored\n"
            "Error finding function 'void traits_fixture::nope(subSystem@,SubSystemEvalMode,float)'\n");
  ASSERT_EQ(loner->alterHooks.size(), 1u);
  EXPECT_LT(loner->alterHooks.front().evalModeFunction, 0);
  EXPECT_GE(loner->alterHooks.front().textFunction, 0);
  EXPECT_EQ(loner->alterHooks.front().args, std::vector<float>{4.0f});
}

TEST_F(TraitsTest, WithoutServerEngineNoHookIsMade) {
  loadText(kFixtureTraits);
  auto* loner = dynamic_cast<ScriptTrait*>(findTrait(L"loner"));
  ASSERT_NE(loner, nullptr);
  EXPECT_EQ(loner->tickFunction, kNoTraitHook);
  EXPECT_EQ(loner->removeFunction, kNoTraitHook);
  EXPECT_TRUE(loner->alterHooks.empty());
}

TEST_F(TraitsTest, ShippedTraitsAddAndRemoveThroughTheirHooks) {
  startShipped();
  for (const auto& entry : traitRegistry) {
    auto* trait = dynamic_cast<ScriptTrait*>(entry.second);
    ASSERT_NE(trait, nullptr);
    for (int32_t id : {trait->applyFunction, trait->tickFunction, trait->removeFunction})
      EXPECT_TRUE(id == kNoTraitHook || id >= 0) << stringc(entry.first).c_str();
  }
  EXPECT_GE(static_cast<ScriptTrait*>(findTrait(L"industrious"))->applyFunction, 0);
  EXPECT_EQ(traitCategories().size(), 2u);
  EXPECT_EQ(findTrait(L"ancient_remnant")->tags, std::list<stringw>{L"non_player"});

  empire* emp = registerEmpire(new empire);
  emp->addTrait(L"industrious");
  EXPECT_FLOAT_EQ(emp->getSetting(L"industry_factor"), 1.25f);
  EXPECT_TRUE(emp->hasTrait(L"industrious"));
  EXPECT_TRUE(emp->hasTraitTag(L"production"));
  EXPECT_FALSE(emp->hasTraitTag(L"research"));
  EXPECT_EQ(evaluate(emp, L"Traits.industrious + Traits.production"), 2.0f);
  EXPECT_EQ(evaluate(emp, L"Traits.scholarly"), 0.0f);

  // Adding again, or an unknown id, runs no hook.
  emp->setSetting(L"industry_factor", 5.0f);
  emp->addTrait(L"industrious");
  emp->addTrait(L"unknown");
  EXPECT_FLOAT_EQ(emp->getSetting(L"industry_factor"), 5.0f);
  EXPECT_EQ(emp->traits.size(), 1u);

  emp->removeTrait(L"industrious");
  EXPECT_FLOAT_EQ(emp->getSetting(L"industry_factor"), 1.0f);
  EXPECT_FALSE(emp->hasTrait(L"industrious"));
  EXPECT_EQ(evaluate(emp, L"Traits.industrious + Traits.production"), 0.0f);
  emp->removeTrait(L"industrious");  // absent: nothing
}

TEST_F(TraitsTest, EmpireStepRunsTickHooksInNameOrder) {
  startFixture();
  empire* emp = registerEmpire(new empire);
  for (const wchar_t* id : {L"zcounter", L"loner", L"dropper"})
    emp->addTrait(id);

  emp->tick(0.25f);
  EXPECT_FLOAT_EQ(emp->getSetting(L"order"), 12.0f);  // loner, then zcounter
  EXPECT_FLOAT_EQ(emp->getSetting(L"seconds"), 0.25f);
  EXPECT_FLOAT_EQ(emp->getSetting(L"a"), 1.5f);
  EXPECT_FLOAT_EQ(emp->getSetting(L"b"), 2.0f);
  // The dropper removed itself and runs no more.
  EXPECT_FLOAT_EQ(emp->getSetting(L"drops"), 1.0f);
  EXPECT_FALSE(emp->hasTrait(L"dropper"));
  emp->tick(0.25f);
  EXPECT_FLOAT_EQ(emp->getSetting(L"order"), 1212.0f);
  EXPECT_FLOAT_EQ(emp->getSetting(L"drops"), 1.0f);

  // A network client runs no trait tick.
  networkManager->isNetworked = true;
  networkManager->isConnected = true;
  emp->tick(0.25f);
  networkManager->isNetworked = false;
  networkManager->isConnected = false;
  EXPECT_FLOAT_EQ(emp->getSetting(L"order"), 1212.0f);
}

// A job left for tear-down that reads the empire's traits.
class TraitReadingJob : public empJob {
 public:
  void run(empire* emp) override {
    emp->hasTrait(L"industrious");
    emp->updateTraitVariables();
  }
};

TEST_F(TraitsTest, SessionAppliesOnNewGameOnlyAndClearsSafely) {
  startShipped();
  empire* emp = registerEmpire(new empire);
  {
    ScopedWriteLock guard(emp->locks[EA_Traits]);
    emp->traits[L"industrious"] = findTrait(L"industrious");
    emp->traits[L"scholarly"] = findTrait(L"scholarly");
  }
  applyEmpireTraits();
  EXPECT_FLOAT_EQ(emp->getSetting(L"industry_factor"), 1.25f);

  // A saved game brings the traits back by name, running no apply hook.
  emp->setSetting(L"industry_factor", 0.0f);
  auto stream = SaveStream::createInMemory();
  writeCommonStringsSection(*stream);
  saveEmpire(*stream, emp);
  const Bytes& all = stream->memoryBytes();
  const Bytes file = withHeader(Bytes(all.begin() + 8, all.end()));
  auto reader = readerOver(file);
  readCommonStringsSection(*reader);
  std::unique_ptr<empire> loaded(loadEmpire(*reader));
  ASSERT_NE(loaded, nullptr);
  EXPECT_TRUE(loaded->hasTrait(L"industrious"));
  EXPECT_TRUE(loaded->hasTrait(L"scholarly"));
  EXPECT_FLOAT_EQ(loaded->getSetting(L"industry_factor"), 0.0f);
  EXPECT_EQ(evaluate(loaded.get(), L"Traits.research"), 1.0f);
  loaded.reset();

  // Tear-down: the traits go, and a job run later finds none freed.
  emp->queueJob(new TraitReadingJob);
  clearSessionTraits();
  runEmpireJobs(emp);
  EXPECT_FALSE(emp->hasTrait(L"industrious"));
  EXPECT_TRUE(emp->traitTags.empty());
}

}  // namespace

}  // namespace traits_test
