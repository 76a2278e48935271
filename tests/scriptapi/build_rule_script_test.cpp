// The scripted build rule: a server function "bool <name>(Planet@)" answers
// for the rule; a name that finds no function is logged and the rule gives
// false; the rule is saved by its function's name (tag 9) and found again by
// that name when the list is read.
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/base/session_state.h"
#include "core/common_strings.h"
#include "core/post_load.h"
#include "design/build/build_rules.h"
#include "empire/empire_record.h"
#include "script_session.h"
#include "support/save_bytes.h"
#include "universe/objects/object_registry.h"
#include "universe/planets/planet.h"

namespace build_rule_script_test {

using namespace AngelScript;

namespace {

// "custom" answers as `answer` says and counts its calls.
const char kGovernorModule[] = R"(
bool answer = true;
uint calls = 0;

bool custom(Planet@ planet) {
  ++calls;
  return answer && planet !is null;
}
)";

// "governor::custom" as its record: u16 length, then the text.
const char kCustomName[] = "10 00  67 6F 76 65 72 6E 6F 72 3A 3A 63 75 73 74 6F 6D";
const char kNopeName[] = "0E 00  67 6F 76 65 72 6E 6F 72 3A 3A 6E 6F 70 65";
const char kNopeMessage[] = "Unable to find 'bool governor::nope(Planet@)'";

class BuildRuleScriptTest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    startSession({{"governor", kGovernorModule}});
    red = registerEmpire(new empire);
    red->name = L"Red";
    internCommonString(L"Red");  // the common strings section is never empty
  }

  void TearDown() override {
    for (objHabitation* planet : planets_) {
      planet->destroyNow(true);
      planet->drop();
    }
    ScriptSessionTest::TearDown();
    EXPECT_EQ(registeredObjectCount(), 0u) << "a test left objects alive";
    clearObjectRegistry();
  }

  template <typename T>
  static T& global(const char* name) {
    asIScriptModule* module = serverScriptEngine->GetModule("governor");
    return *static_cast<T*>(module->GetAddressOfGlobalVar(module->GetGlobalVarIndexByName(name)));
  }

  // A settled planet of `owner`, held by the test until TearDown.
  objHabitation* planet(empire* owner) {
    auto* made = new objHabitation(owner, nullptr);
    made->name = L"Terra";
    made->population = made->settledPopulation = 5.0f;
    made->grab();
    planets_.push_back(made);
    return made;
  }

  static Bytes saved(const build_priorities& list) {
    auto stream = SaveStream::createInMemory();
    list.write(*stream);
    return writtenBody(*stream);
  }
  static std::unique_ptr<build_list> load(const Bytes& body) {
    const Bytes file = withHeader(body);
    auto reader = readerOver(file);
    std::unique_ptr<build_list> list(readBuildList(*reader));
    EXPECT_EQ(reader->remaining(), 0u);
    return list;
  }

  // The common strings section and `emp`'s record after it, and the record
  // alone.
  static std::pair<Bytes, Bytes> savedEmpire(empire* emp) {
    auto stream = SaveStream::createInMemory();
    writeCommonStringsSection(*stream);
    const size_t start = stream->memoryBytes().size();
    saveEmpire(*stream, emp);
    const Bytes& all = stream->memoryBytes();
    return {Bytes(all.begin() + 8, all.end()), Bytes(all.begin() + static_cast<std::ptrdiff_t>(start), all.end())};
  }

  empire* red = nullptr;

 private:
  std::vector<objHabitation*> planets_;
};

TEST_F(BuildRuleScriptTest, TheRuleGivesTheFunctionsAnswer) {
  LogCapture log;
  bp_scripted rule("governor::custom");
  EXPECT_GE(rule.functionId, 0);
  objHabitation* world = planet(red);
  const int32_t references = world->refCount.load();

  for (bool answer : {true, false, true}) {
    global<bool>("answer") = answer;
    EXPECT_EQ(rule.apply(world), answer);
  }
  EXPECT_EQ(global<uint32_t>("calls"), 3u);
  EXPECT_EQ(world->refCount.load(), references) << "the call's reference is given back";

  // Inside a list, a false answer lets the next rule try.
  build_list list;
  list.rules.push_back(new bp_scripted("governor::custom"));
  list.rules.push_back(new bp_wait_for_empty_queue());
  global<bool>("answer") = false;
  EXPECT_FALSE(list.apply(world));
  global<bool>("answer") = true;
  EXPECT_TRUE(list.apply(world));

  // Nothing to ask about: the function is not called.
  EXPECT_FALSE(rule.apply(nullptr));
  EXPECT_EQ(global<uint32_t>("calls"), 5u);
  EXPECT_EQ(log.take(), "");
}

TEST_F(BuildRuleScriptTest, ANameThatFindsNoFunctionIsLoggedAndTheRuleGivesFalse) {
  const struct {
    const char* name;
    const char* logged;  // "" for nothing
  } cases[] = {
      {"governor::nope", kNopeMessage},
      {"nowhere::custom", "Unable to find 'bool nowhere::custom(Planet@)'"},
      {"custom", "Unable to find 'bool custom(Planet@)'"},  // no module named
      {"", ""},                                             // a function that was lost when saved
  };
  objHabitation* world = planet(red);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    bp_scripted rule(c.name);
    EXPECT_LT(rule.functionId, 0);
    const std::string text = log.take();
    if (c.logged[0] == '\0') {
      EXPECT_EQ(text, "");
    } else {
      EXPECT_EQ(countOccurrences(text, c.logged), 1u) << text;
    }
    EXPECT_FALSE(rule.apply(world));
    // A rule without a function is saved with an empty name.
    EXPECT_EQ(hexText(saved(rule)), hex("09 00 00 00  00 00"));
  }
  EXPECT_EQ(global<uint32_t>("calls"), 0u);
}

TEST_F(BuildRuleScriptTest, TheScriptedRuleIsSavedAsTag9ByItsFunctionsName) {
  auto* list = new build_list();
  list->rules.push_back(new bp_scripted("governor::custom"));
  list->rules.push_back(new bp_wait_for_empty_queue());
  const Bytes body = saved(*list);
  EXPECT_EQ(hexText(body), hex((std::string("02 00  09 00 00 00 ") + kCustomName + "  00 00 00 00").c_str()));

  std::unique_ptr<build_list> loaded = load(body);
  ASSERT_EQ(loaded->rules.size(), 2u);
  auto* scripted = dynamic_cast<bp_scripted*>(loaded->rules[0]);
  ASSERT_NE(scripted, nullptr);
  EXPECT_EQ(scripted->functionId, dynamic_cast<bp_scripted*>(list->rules[0])->functionId);
  EXPECT_EQ(hexText(saved(*loaded)), hexText(body));

  // Inside the empire record.
  red->setBuildList(L"default", list);
  const auto [file, record] = savedEmpire(red);
  EXPECT_NE(hexText(record).find(hexText(body)), std::string::npos);
  const uint32_t bits = nextVisibilityBit;
  const Bytes withHead = withHeader(file);
  auto reader = readerOver(withHead);
  readCommonStringsSection(*reader);
  std::unique_ptr<empire> back(loadEmpire(*reader));
  EXPECT_EQ(reader->remaining(), 0u);
  runPostObjectTreeSteps();
  clearPostObjectTreeSteps();
  nextVisibilityBit = bits;
  auto* backList = dynamic_cast<build_list*>(back->findBuildList(L"default"));
  ASSERT_NE(backList, nullptr);
  ASSERT_EQ(backList->rules.size(), 2u);
  global<bool>("answer") = true;
  EXPECT_TRUE(backList->rules[0]->apply(planet(red))) << "the loaded rule asks the function";
  EXPECT_EQ(hexText(savedEmpire(back.get()).second), hexText(record));
}

TEST_F(BuildRuleScriptTest, ARecordNamingAMissingFunctionKeepsTheRule) {
  LogCapture log;
  std::unique_ptr<build_list> loaded =
      load(hexBytes((std::string("02 00  09 00 00 00 ") + kNopeName + "  00 00 00 00").c_str()));
  EXPECT_EQ(countOccurrences(log.take(), kNopeMessage), 1u);
  ASSERT_EQ(loaded->rules.size(), 2u) << "the list keeps its length";
  auto* scripted = dynamic_cast<bp_scripted*>(loaded->rules[0]);
  ASSERT_NE(scripted, nullptr);
  EXPECT_LT(scripted->functionId, 0);
  EXPECT_FALSE(scripted->apply(planet(red)));
  EXPECT_NE(dynamic_cast<bp_wait_for_empty_queue*>(loaded->rules[1]), nullptr);
  // Saved again, the lost function leaves an empty name.
  EXPECT_EQ(hexText(saved(*loaded)), hex("02 00  09 00 00 00 00 00  00 00 00 00"));

  // A cut name fails like any short record.
  const Bytes cut = hexBytes("01 00  09 00 00 00  0E 00 67 6F");
  EXPECT_EQ(saveErrorOf([&] { load(cut); }), kSaveErrorEOF);
}

}  // namespace

}  // namespace build_rule_script_test
