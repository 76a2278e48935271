// "build_queues.xml": which rules each element makes, how lists are opened,
// closed, replaced and dropped, the file read for every valid empire, and
// the shipped file on the shipped structures.
#include "design/build/build_queue_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/common_strings.h"
#include "core/file_access.h"
#include "core/log.h"
#include "design/build/build_rules.h"
#include "design/sub_system_fixture.h"
#include "empire/empire.h"
#include "script/script_xml_io.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/space_empire.h"
#include "universe/universe_fixture.h"

namespace build_queue_file_test {

namespace {

using irr::core::stringc;
using irr::core::stringw;

// Writes `text` as the file at `path`.
void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

constexpr char kDefinitions[] =
    "System: Mine\nTags: Structure\n\n"
    "System: Factory\nTags: Structure\n\n"
    "System: Dock\nTags: Structure, Port\n";

class BuildQueueFileTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    subsystemtest::loadDefinition(scratchDir(), kDefinitions, L"Mine");
  }
  void TearDown() override {
    UniverseTest::TearDown();  // the empires take their lists with them
    clearSubSystemDefs();
  }

  static const SubSystemDef* def(const wchar_t* name) {
    const irr::s32 index = findSubSystemDefByName(name);
    return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }

  // Reads `xml` into `emp` (red by default).
  void load(const std::string& xml, empire* emp = nullptr) {
    ScriptXmlReader reader(xml);
    loadBuildQueues(&reader, emp != nullptr ? emp : red);
  }

  // Red's list `name` (null when it has none).
  build_list* list(const wchar_t* name) { return dynamic_cast<build_list*>(red->findBuildList(name)); }

  // The rules that `rules` make inside one list.
  build_list* rulesOf(const std::string& rules) {
    load("<queue id=\"t\">" + rules + "</queue>");
    build_list* made = list(L"t");
    EXPECT_NE(made, nullptr) << rules;
    return made;
  }
};

template <class Rule>
Rule* onlyRule(build_list* list) {
  if (list == nullptr || list->rules.size() != 1)
    return nullptr;
  return dynamic_cast<Rule*>(list->rules[0]);
}

TEST_F(BuildQueueFileTest, EachElementMakesItsRuleOrNone) {
  const stringw* workers = internCommonString(L"Workers");
  const stringw* port = internCommonString(L"Port");
  const struct {
    const char* rules;
    irr::u32 ruleCount;
    std::function<void(build_list*)> check;  // given the list when it holds one rule
  } cases[] = {
      {"<waitEmpty/>", 1, [](build_list* l) { EXPECT_NE(onlyRule<bp_wait_for_empty_queue>(l), nullptr); }},
      {"<buildN count=\"2\" type=\"Mine\"/>", 1,
       [](build_list* l) {
         auto* rule = onlyRule<bp_build_n>(l);
         ASSERT_NE(rule, nullptr);
         EXPECT_EQ(rule->def, def(L"Mine"));
         EXPECT_EQ(rule->count, 2u);
       }},
      {"<buildN count=\"0\" type=\"Mine\"/>", 0, nullptr},
      {"<buildN type=\"Mine\"/>", 0, nullptr},
      {"<buildN count=\"-1\" type=\"Mine\"/>", 0, nullptr},
      {"<buildN count=\"1\" type=\"Nope\"/>", 0, nullptr},
      // "build" begins "buildN", the first rule keyword it is tried against.
      {"<build count=\"3\" type=\"Dock\"/>", 1,
       [](build_list* l) {
         auto* rule = onlyRule<bp_build_n>(l);
         ASSERT_NE(rule, nullptr);
         EXPECT_EQ(rule->def, def(L"Dock"));
         EXPECT_EQ(rule->count, 3u);
       }},
      {"<buildWhenLow by=\"low_pct\" res=\"Workers\" threshold=\"0.25\" type=\"Mine\"/>", 1,
       [workers](build_list* l) {
         auto* rule = onlyRule<bp_build_when_needed>(l);
         ASSERT_NE(rule, nullptr);
         EXPECT_TRUE(rule->ratioMode);
         EXPECT_FLOAT_EQ(rule->threshold, 0.25f);
         EXPECT_EQ(rule->def, def(L"Mine"));
         EXPECT_EQ(rule->resource, workers);
       }},
      {"<buildWhenLow by=\"free\" res=\"Workers\" threshold=\"5\" type=\"Mine\"/>", 1,
       [](build_list* l) {
         auto* rule = onlyRule<bp_build_when_needed>(l);
         ASSERT_NE(rule, nullptr);
         EXPECT_FALSE(rule->ratioMode);
         EXPECT_FLOAT_EQ(rule->threshold, 5.0f);
       }},
      {"<buildWhenLow by=\"low\" res=\"Workers\" type=\"Mine\"/>", 1,
       [](build_list* l) {
         auto* rule = onlyRule<bp_build_when_needed>(l);
         ASSERT_NE(rule, nullptr);
         EXPECT_TRUE(rule->ratioMode) << "\"low\" begins \"low_pct\"";
         EXPECT_EQ(rule->threshold, 0.0f);
       }},
      {"<buildWhenLow res=\"Workers\" threshold=\"5\" type=\"Mine\"/>", 0, nullptr},
      {"<buildWhenLow by=\"low_pct\" threshold=\"5\" type=\"Mine\"/>", 0, nullptr},
      {"<buildPerN per=\"4\" type=\"Factory\"/>", 1,
       [](build_list* l) {
         auto* rule = onlyRule<bp_build_per_n>(l);
         ASSERT_NE(rule, nullptr);
         EXPECT_EQ(rule->def, def(L"Factory"));
         EXPECT_EQ(rule->per, 4u);
       }},
      {"<buildPerN per=\"0\" type=\"Factory\"/>", 0, nullptr},
      {"<buildPerN type=\"Factory\"/>", 0, nullptr},
      {"<buildSpecial tag=\"Port\" type=\"Dock\"/>", 1,
       [port](build_list* l) {
         auto* rule = onlyRule<bp_build_special>(l);
         ASSERT_NE(rule, nullptr);
         EXPECT_EQ(rule->def, def(L"Dock"));
         EXPECT_EQ(rule->tag, port);
       }},
      {"<buildSpecial tag=\"\" type=\"Dock\"/>", 0, nullptr},
      {"<buildSpecial type=\"Dock\"/>", 0, nullptr},
      {"<buildRand><item weight=\"3\">Mine</item><item>Factory</item><item weight=\"0\"> Dock </item>"
       "<item>Nope</item><item weight=\"7\"/><other>Mine</other></buildRand>",
       1,
       [](build_list* l) {
         auto* rule = onlyRule<bp_build_rand>(l);
         ASSERT_NE(rule, nullptr);
         ASSERT_EQ(rule->items.size(), 3u);
         EXPECT_EQ(rule->items[0].def, def(L"Mine"));
         EXPECT_EQ(rule->items[0].weight, 3u);
         EXPECT_EQ(rule->items[1].def, def(L"Factory"));
         EXPECT_EQ(rule->items[1].weight, 1u);
         EXPECT_EQ(rule->items[2].def, def(L"Dock"));
         EXPECT_EQ(rule->items[2].weight, 1u) << "a weight of 0 counts as 1";
         EXPECT_EQ(rule->totalWeight, 5u);
       }},
      {"<buildRand><item>Nope</item><item weight=\"2\">Neither</item></buildRand>", 1,
       [](build_list* l) {
         auto* rule = onlyRule<bp_build_rand>(l);
         ASSERT_NE(rule, nullptr);
         EXPECT_EQ(rule->items.size(), 0u);
         EXPECT_EQ(rule->totalWeight, 0u);
       }},
      {"<buildRand/>", 1, [](build_list* l) { EXPECT_NE(onlyRule<bp_build_rand>(l), nullptr); }},
      {"<obsolete res=\"Workers\" level=\"0.5\" replace=\"Mine\" with=\"Factory\"/>", 1,
       [workers](build_list* l) {
         auto* rule = onlyRule<bp_replace_when_useless>(l);
         ASSERT_NE(rule, nullptr);
         EXPECT_EQ(rule->newDef, def(L"Factory"));
         EXPECT_EQ(rule->oldDef, def(L"Mine"));
         EXPECT_EQ(rule->resource, workers);
         EXPECT_FLOAT_EQ(rule->threshold, 0.5f);
         EXPECT_TRUE(rule->whenBelow) << "acts below the level without isLowLevel";
         EXPECT_TRUE(rule->ratioMode);
       }},
      {"<obsolete res=\"Workers\" level=\"3\" replace=\"Mine\" with=\"Factory\" isPercent=\"false\" "
       "isLowLevel=\"yes\"/>",
       1,
       [](build_list* l) {
         auto* rule = onlyRule<bp_replace_when_useless>(l);
         ASSERT_NE(rule, nullptr);
         EXPECT_TRUE(rule->whenBelow);
         EXPECT_FALSE(rule->ratioMode) << "isPercent=\"false\" selects the absolute value";
       }},
      {"<obsolete res=\"Workers\" replace=\"Mine\" with=\"Factory\" isLowLevel=\"f\"/>", 1,
       [](build_list* l) {
         auto* rule = onlyRule<bp_replace_when_useless>(l);
         ASSERT_NE(rule, nullptr);
         EXPECT_FALSE(rule->whenBelow) << "\"f\" begins \"false\"";
       }},
      {"<obsolete replace=\"Mine\" with=\"Factory\"/>", 0, nullptr},
      {"<obsolete res=\"Workers\" replace=\"Nope\" with=\"Factory\"/>", 0, nullptr},
      {"<obsolete res=\"Workers\" replace=\"Mine\"/>", 0, nullptr},
      {"<rebuildRand levelThreshold=\"0.5\"/>", 1,
       [](build_list* l) {
         auto* rule = onlyRule<bp_rebuild_rand>(l);
         ASSERT_NE(rule, nullptr);
         EXPECT_EQ(rule->levelThreshold, 0.5f);
       }},
      {"<rebuildRand levelThreshold=\"0\"/>", 0, nullptr},
      {"<rebuildRand/>", 0, nullptr},
      {"<removeRand remove=\"Mine, Nope ,Factory\"/>", 1,
       [](build_list* l) {
         auto* rule = onlyRule<bp_remove_rand>(l);
         ASSERT_NE(rule, nullptr);
         EXPECT_EQ(rule->defs.size(), 2u);
         EXPECT_TRUE(rule->contains(def(L"Mine")));
         EXPECT_TRUE(rule->contains(def(L"Factory")));
         EXPECT_FALSE(rule->contains(def(L"Dock")));
       }},
      {"<removeRand remove=\"Nope\"/>", 1,
       [](build_list* l) {
         auto* rule = onlyRule<bp_remove_rand>(l);
         ASSERT_NE(rule, nullptr);
         EXPECT_TRUE(rule->defs.empty());
       }},
      {"<removeRand remove=\" , \"/>", 0, nullptr},
      {"<removeRand/>", 0, nullptr},
      {"<item>Mine</item><frobnicate type=\"Mine\"/>", 0, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rules);
    build_list* made = rulesOf(c.rules);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->rules.size(), c.ruleCount);
    if (c.check)
      c.check(made);
    red->setBuildList(L"t", nullptr);
  }
}

TEST_F(BuildQueueFileTest, RulesKeepTheFileOrder) {
  build_list* made = rulesOf(
      "<waitEmpty/><buildN count=\"1\" type=\"Mine\"/><buildN count=\"0\" type=\"Mine\"/>"
      "<rebuildRand levelThreshold=\"1\"/><removeRand remove=\"Dock\"/>");
  ASSERT_NE(made, nullptr);
  ASSERT_EQ(made->rules.size(), 4u);
  EXPECT_NE(dynamic_cast<bp_wait_for_empty_queue*>(made->rules[0]), nullptr);
  EXPECT_NE(dynamic_cast<bp_build_n*>(made->rules[1]), nullptr);
  EXPECT_NE(dynamic_cast<bp_rebuild_rand*>(made->rules[2]), nullptr);
  EXPECT_NE(dynamic_cast<bp_remove_rand*>(made->rules[3]), nullptr);
}

// Which lists a file leaves in the empire, and how many rules each holds.
TEST_F(BuildQueueFileTest, ListsAreStoredWhenClosed) {
  using Lists = std::vector<std::pair<stringw, irr::u32>>;  // name order
  const struct {
    const char* label;
    const char* xml;
    Lists lists;
  } cases[] = {
      {"two lists",
       "<lists><queue id=\"a\"><waitEmpty/></queue><queue id=\"b\"></queue></lists>",
       {{L"a", 1}, {L"b", 0}}},
      // The first "a" is freed by the empire (LeakSanitizer reports it if not).
      {"same id twice: the second stays",
       "<queue id=\"a\"><waitEmpty/><waitEmpty/></queue><queue id=\"a\"><rebuildRand levelThreshold=\"1\"/></queue>",
       {{L"a", 1}}},
      {"elements outside any list",
       "<waitEmpty/><buildN count=\"1\" type=\"Mine\"/><queue id=\"a\"></queue>"
       "<waitEmpty/><buildRand><item>Mine</item></buildRand>",
       {{L"a", 0}}},
      {"a list the file ends inside", "<queue id=\"a\"><waitEmpty/></queue><queue id=\"b\"><waitEmpty/>", {{L"a", 1}}},
      {"a list begun again before it is closed",
       "<queue id=\"a\"><waitEmpty/><queue id=\"b\"><waitEmpty/></queue>",
       {{L"b", 1}}},
      {"a buildRand the file ends inside", "<queue id=\"a\"><buildRand><item>Mine</item></queue>", {}},
      {"cut-off markup", "<queue id=\"a\"><waitEmpty/></queue><queue id=\"b\"><waitEmpty/></queu", {{L"a", 1}}},
      {"an empty queue element",
       "<queue id=\"a\"/><waitEmpty/><queue id=\"b\"><waitEmpty/></queue>",
       {{L"a", 0}, {L"b", 1}}},
      {"no id", "<queue><waitEmpty/></queue>", {{L"", 1}}},
      {"an empty name stands for queue", "< id=\"a\"><waitEmpty/></>", {{L"a", 1}}},
      {"a name beginning with queue", "<queues><queue id=\"a\"><waitEmpty/></queue></queues>", {{L"a", 1}}},
      {"nothing", "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    empire* emp = registerEmpire(new empire);
    load(c.xml, emp);
    Lists got;
    for (unsigned i = 0; i < emp->getBuildListCount(); ++i) {
      const stringw name = emp->getBuildListName(i);
      auto* stored = dynamic_cast<build_list*>(emp->findBuildList(name));
      ASSERT_NE(stored, nullptr) << "every entry is a build list";
      got.emplace_back(name, stored->rules.size());
    }
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, c.lists);
  }
}

TEST_F(BuildQueueFileTest, AScriptRuleOfAMissingFunctionIsLoggedAndDropped) {
  LogCapture log;
  build_list* made = rulesOf("<script call=\"governor::nope\"/><waitEmpty/>");
  ASSERT_NE(made, nullptr);
  ASSERT_EQ(made->rules.size(), 1u);
  EXPECT_NE(dynamic_cast<bp_wait_for_empty_queue*>(made->rules[0]), nullptr);
  EXPECT_NE(log.take().find("Unable to find 'bool governor::nope(Planet@)'"), std::string::npos);

  load("<script call=\"governor::nope\"/>");  // outside a list: not even looked
                                              // up
  EXPECT_EQ(log.take(), "");
}

TEST_F(BuildQueueFileTest, TheFileGoesToEveryValidEmpire) {
  empire* space = registerSpaceEmpire();
  const std::string path = (scratchDir() / "build_queues.xml").string();
  writeFile(path, "<queue id=\"default\"><waitEmpty/></queue><queue id=\"x\"></queue>");

  LogCapture log;
  EXPECT_TRUE(loadBuildQueuesForEmpires(path.c_str()));
  EXPECT_EQ(log.take(), "");
  for (empire* emp : {red, blue}) {
    EXPECT_EQ(emp->getBuildListCount(), 2u);
    EXPECT_NE(dynamic_cast<build_list*>(emp->findBuildList(L"default")), nullptr);
  }
  EXPECT_NE(red->findBuildList(L"default"), blue->findBuildList(L"default")) << "each empire has its own copy";
  EXPECT_EQ(space->getBuildListCount(), 0u) << "the space empire is not valid";
}

TEST_F(BuildQueueFileTest, AMissingOrDamagedFileIsLogged) {
  LogCapture log;
  const std::string missing = (scratchDir() / "no_such_build_queues.xml").string();
  EXPECT_FALSE(loadBuildQueuesForEmpires(missing.c_str()));
  const std::string text = log.take();
  EXPECT_NE(text.find(missing), std::string::npos) << text;
  EXPECT_EQ(countOccurrences(text, "\n"), 1u) << text;
  EXPECT_EQ(red->getBuildListCount(), 0u);

  const std::string damaged = (scratchDir() / "build_queues.xml").string();
  writeFile(damaged, "<queue id=\"a\"></queue><queue id=\"b\"><wait");
  EXPECT_TRUE(loadBuildQueuesForEmpires(damaged.c_str()));
  const std::string damage = log.take();
  EXPECT_EQ(countOccurrences(damage, damaged), 1u) << "once, not once per empire: " << damage;
  EXPECT_NE(red->findBuildList(L"a"), nullptr);
  EXPECT_NE(blue->findBuildList(L"a"), nullptr);
}

// The shipped file on the shipped structures: every list has rules, and every
// rule element of it makes its rule.
TEST_F(BuildQueueFileTest, TheShippedFileLoadsWhole) {
  clearSubSystemDefs();
  {
    LogCapture quiet;  // the effects the structures name are not loaded here
    loadSubSystemDefs(CORVANE_SOURCE_DIR "/data/Game Data/Sub Systems/structures.txt");
  }
  for (const wchar_t* name : {L"Metal Mine", L"Factory", L"Habitat Towers", L"Space Port", L"Orbital Dock"})
    ASSERT_NE(def(name), nullptr) << stringc(name).c_str();

  std::string bytes;
  ASSERT_TRUE(readWholeFile(CORVANE_SOURCE_DIR "/data/Game Data/build_queues.xml", bytes));
  EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x80; }));

  // Rule elements per list, counted from the markup: every element inside a
  // queue except the items of a buildRand.
  std::vector<std::pair<stringw, irr::u32>> elements;
  {
    ScriptXmlReader reader(bytes);
    bool inList = false, inRand = false;
    while (reader.read()) {
      const stringw name = reader.getNodeName();
      if (reader.getNodeType() == irr::io::EXN_ELEMENT) {
        if (name == L"queue") {
          elements.emplace_back(reader.getAttributeValueSafe(L"id"), 0);
          inList = true;
        } else if (inList && !inRand) {
          ++elements.back().second;
          inRand = name == L"buildRand";
        }
      } else if (reader.getNodeType() == irr::io::EXN_ELEMENT_END) {
        inList = inList && name != L"queue";
        inRand = inRand && name != L"buildRand";
      }
    }
    EXPECT_FALSE(reader.takeMalformed());
  }
  ASSERT_GE(elements.size(), 2u);
  EXPECT_EQ(elements[0].first, L"default");

  ScriptXmlReader reader(bytes);
  LogCapture log;
  loadBuildQueues(&reader, red);
  EXPECT_EQ(log.take(), "");
  EXPECT_EQ(red->getBuildListCount(), elements.size()) << "ids are distinct";
  for (const auto& [id, count] : elements) {
    SCOPED_TRACE(stringc(id).c_str());
    build_list* stored = list(id.c_str());
    ASSERT_NE(stored, nullptr);
    EXPECT_GT(count, 0u);
    EXPECT_EQ(stored->rules.size(), count) << "every element made its rule";
    for (irr::u32 i = 0; i < stored->rules.size(); ++i) {
      if (auto* rand = dynamic_cast<bp_build_rand*>(stored->rules[i])) {
        EXPECT_FALSE(rand->items.empty()) << "every item names a structure";
      }
      if (auto* remove = dynamic_cast<bp_remove_rand*>(stored->rules[i])) {
        EXPECT_FALSE(remove->defs.empty());
      }
    }
  }
}

}  // namespace

}  // namespace build_queue_file_test
