#include "universe/planets/planet_types.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/common_strings.h"
#include "core/locale.h"
#include "gfx/gfx_resources.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"

namespace planet_types_test {

using irr::core::stringc;
using irr::core::stringw;

namespace {

class PlanetTypesTest : public testing::Test {
 protected:
  void TearDown() override { clearPlanetTypes(); }

  // Loads `text` as the planet type file; gives what was logged.
  std::string load(const std::string& text) {
    const std::filesystem::path file = scratchDir() / "PlanetTypes.xml";
    std::ofstream(file, std::ios::binary) << text;
    LogCapture log;
    loadPlanetTypes(file.string().c_str());
    return log.take();
  }

  // The ids of the type's applicable conditions, in list order.
  static std::vector<std::string> applicable(const wchar_t* typeName) {
    std::vector<std::string> ids;
    const PlanetPhysicalType* type = getPlanetType(typeName);
    if (type == nullptr)
      return {"no type"};
    for (const planetCondition* condition : type->applicableConditions)
      ids.push_back(stringc(condition->id).c_str());
    return ids;
  }
};

using Ids = std::vector<std::string>;

const char kTaggedConditions[] = R"(
<conditions>
  <cond id="HotDry"><tags>hot, dry</tags></cond>
  <cond id="Hot"><tags> hot ,</tags></cond>
  <cond id="Dry"><tags>dry</tags></cond>
  <cond id="Plain"></cond>
  <cond id="HotWet"><tags>hot,wet</tags></cond>
</conditions>)";

TEST_F(PlanetTypesTest, ATypeReceivesTheConditionsWhoseTagsItHasAll) {
  EXPECT_EQ(load(std::string(kTaggedConditions) + R"(
<physical>
  <tag name="Rock"><condition_tags>hot, dry</condition_tags></tag>
  <tag name="Swamp"><condition_tags>wet,hot</condition_tags><condition_tags>hot</condition_tags></tag>
  <tag name="Bare"><condition_tags/></tag>
  <tag name="Blank"><condition_tags></condition_tags></tag>
  <tag name="Untouched"></tag>
</physical>)"),
            "");
  EXPECT_EQ(applicable(L"Rock"), (Ids{"Dry", "Hot", "HotDry", "Plain"})) << "in registry order";
  EXPECT_EQ(applicable(L"Swamp"), (Ids{"Hot", "HotWet", "Plain"})) << "a condition once, however often matched";
  EXPECT_EQ(applicable(L"Bare"), (Ids{"Plain"}));
  EXPECT_EQ(applicable(L"Blank"), (Ids{"Plain"}));
  EXPECT_EQ(applicable(L"Untouched"), Ids{}) << "no condition_tags element, no conditions";

  const PlanetPhysicalType* rock = getPlanetType(L"Rock");
  EXPECT_EQ(rock->conditionTags, (InternedTagSet{internCommonString(L"hot"), internCommonString(L"dry")}));
  EXPECT_EQ(rock->name, internCommonString(L"Rock"));
  const planetCondition* hot = getPlanetCondition(findPlanetCondition(L"Hot"));
  ASSERT_NE(hot, nullptr);
  EXPECT_EQ(hot->tags, InternedTagSet{internCommonString(L"hot")}) << "pieces trimmed, empty ones dropped";
}

TEST_F(PlanetTypesTest, ConditionsLoadedAfterATypeDoNotReachIt) {
  EXPECT_EQ(load(R"(<physical><tag name="Rock"><condition_tags>hot, dry</condition_tags></tag></physical>)" +
                 std::string(kTaggedConditions)),
            "");
  EXPECT_EQ(getPlanetConditionCount(), 5u);
  EXPECT_EQ(applicable(L"Rock"), Ids{});
}

TEST_F(PlanetTypesTest, TypeProperties) {
  struct Case {
    const char* elements;
    bool atmosphereVisible;
    bool constructed;
  };
  const Case cases[] = {
      {"", true, false},
      {R"(<atmos visible="false"/>)", false, false},
      {R"(<atmos visible="False"/>)", true, false},
      {R"(<atmos visible="0"/>)", true, false},
      {R"(<atmos visible="false "/>)", true, false},
      {R"(<atmos/>)", true, false},
      {R"(<atmos visible="false"/><atmos visible="true"/>)", true, false},
      {R"(<constructed/><mat name="x"/><model name="rock"/><unknown/>)", true, true},
      {R"(<constructed></constructed><atmos visible="false"></atmos>)", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.elements);
    EXPECT_EQ(load(std::string(R"(<physical><tag name="Rock">)") + c.elements + "</tag></physical>"), "");
    const PlanetPhysicalType* rock = getPlanetType(L"Rock");
    ASSERT_NE(rock, nullptr);
    EXPECT_EQ(rock->atmosphereVisible, c.atmosphereVisible);
    EXPECT_EQ(rock->constructed, c.constructed);
    // Without graphics resources a named model is the error model.
    const bool named = std::string(c.elements).find("<model") != std::string::npos;
    EXPECT_EQ(rock->model, named ? &gfxResources.errorModel : nullptr);
    clearPlanetTypes();
  }
}

TEST_F(PlanetTypesTest, DuplicatesAreLoggedAndTheFirstDefinitionWins) {
  EXPECT_EQ(load(R"(
<conditions>
  <cond id="Hot"><tags>hot</tags><desc>first</desc></cond>
  <cond id="Hot"><tags>wet</tags><desc>second</desc></cond>
  <tags>dry</tags>
  <cond id=""><desc>nameless</desc></cond>
  <cond id="Cold"><desc>cold</desc></cond>
</conditions>
<physical>
  <tag name="Rock"><constructed/></tag>
  <tag name="Rock"><atmos visible="false"/><condition_tags>hot</condition_tags></tag>
  <tag><constructed/></tag>
  <tag name="Ice"></tag>
</physical>)"),
            "Duplicate planet condition Hot\n"
            "Planet condition without an id\n"
            "Duplicate planet type 'Rock'\n"
            "Planet type without a name\n");
  EXPECT_EQ(getPlanetConditionCount(), 2u);
  const planetCondition* hot = getPlanetCondition(findPlanetCondition(L"Hot"));
  ASSERT_NE(hot, nullptr);
  EXPECT_EQ(hot->desc, L"first");
  EXPECT_EQ(hot->tags, InternedTagSet{internCommonString(L"hot")});
  EXPECT_EQ(getPlanetCondition(findPlanetCondition(L"Cold"))->desc, L"cold");

  EXPECT_EQ(planetTypeRegistry().size(), 2u);
  const PlanetPhysicalType* rock = getPlanetType(L"Rock");
  ASSERT_NE(rock, nullptr);
  EXPECT_TRUE(rock->constructed);
  EXPECT_TRUE(rock->atmosphereVisible);
  EXPECT_TRUE(rock->conditionTags.empty());
  EXPECT_FALSE(getPlanetType(L"Ice")->constructed);
}

TEST_F(PlanetTypesTest, ElementsCountOnlyInsideTheirSection) {
  EXPECT_EQ(load(R"(<root>
<cond id="Loose"/><tag name="Loose"/><mat name="loose"/>
<conditions><cond id="Hot"/></conditions>
<tags>hot</tags><desc>outside</desc>
<conditions><tags>wet</tags><tag name="Rock"/><mat name="no"/></conditions>
<physical><tag name="Ice"/><cond id="Cold"/></physical><constructed/>
<physical/><atmosphere/>
<atmosphere><mat name="haze"/><mat/><tag name="Gas"/><mat name="storm"/></atmosphere>
</root>)"),
            "");
  EXPECT_EQ(getPlanetConditionCount(), 1u);
  const planetCondition* hot = getPlanetCondition(0);
  EXPECT_EQ(hot->id, L"Hot");
  EXPECT_TRUE(hot->tags.empty());
  EXPECT_TRUE(hot->desc.empty());
  EXPECT_EQ(planetTypeRegistry().size(), 1u);
  ASSERT_NE(getPlanetType(L"Ice"), nullptr);
  EXPECT_FALSE(getPlanetType(L"Ice")->constructed);
  const irr::core::array<stringw>& materials = planetAtmospheres();
  ASSERT_EQ(materials.size(), 2u);
  EXPECT_EQ(materials[0], L"haze");
  EXPECT_EQ(materials[1], L"storm");
}

TEST_F(PlanetTypesTest, LookupsUseTheSortedRegistries) {
  EXPECT_EQ(load(R"(<conditions><cond id="b"/><cond id="a"/><cond id="C"/></conditions>
                    <physical><tag name="Ice"/><tag name="Gas Giant"/><tag name="Rock"/></physical>)"),
            "");
  ASSERT_EQ(getPlanetConditionCount(), 3u);
  const wchar_t* const sorted[] = {L"C", L"a", L"b"};
  for (unsigned i = 0; i < 3; ++i) {
    ASSERT_NE(getPlanetCondition(i), nullptr);
    EXPECT_EQ(getPlanetCondition(i)->id, sorted[i]);
    EXPECT_EQ(findPlanetCondition(sorted[i]), static_cast<int>(i));
  }
  EXPECT_EQ(getPlanetCondition(getPlanetConditionCount()), nullptr);
  EXPECT_EQ(getPlanetCondition(~0u), nullptr);
  EXPECT_EQ(findPlanetCondition(L"A"), -1) << "names are case-sensitive";

  EXPECT_EQ(findPlanetType(L"Gas Giant"), 0);
  EXPECT_EQ(findPlanetType(L"Rock"), 2);
  EXPECT_EQ(findPlanetType(L"rock"), -1);
  EXPECT_EQ(getPlanetType(L"Rock"), planetTypeRegistry()[2].value);
  EXPECT_EQ(getPlanetType(L"Lava"), nullptr);
}

TEST_F(PlanetTypesTest, DescriptionsWithAHashAreLocalised) {
  const std::filesystem::path locale = scratchDir() / "english.txt";
  std::ofstream(locale, std::ios::binary) << "#PC_Test: A test world\n";
  ASSERT_TRUE(loadLocaleFile(locale.string().c_str(), true));
  EXPECT_EQ(load(R"(<conditions>
    <cond id="Keyed"><desc>#PC_Test</desc></cond>
    <cond id="Unknown"><desc>#PC_Absent</desc></cond>
    <cond id="Plain"><desc>  PC_Test</desc></cond>
    <cond id="Cdata"><desc><![CDATA[#PC_Test]]></desc></cond>
    <cond id="Empty"><desc/><tags>x</tags></cond>
  </conditions>)"),
            "");
  const std::pair<const wchar_t*, const wchar_t*> expected[] = {
      {L"Keyed", L"A test world"}, {L"Unknown", L"#PC_Absent"}, {L"Plain", L"  PC_Test"},
      {L"Cdata", L"A test world"}, {L"Empty", L""},
  };
  for (const auto& [id, desc] : expected) {
    const planetCondition* condition = getPlanetCondition(findPlanetCondition(id));
    ASSERT_NE(condition, nullptr) << stringc(id).c_str();
    EXPECT_EQ(condition->desc, desc) << stringc(id).c_str();
  }
  EXPECT_EQ(getPlanetCondition(findPlanetCondition(L"Empty"))->tags.size(), 1u) << "the next element is read";
  std::ofstream(locale, std::ios::binary | std::ios::trunc);
  loadLocaleFile(locale.string().c_str(), true);
}

TEST_F(PlanetTypesTest, WithoutScriptsEveryHookIsDroppedAndLogged) {
  EXPECT_EQ(load(R"(<conditions><cond id="Hot">
    <hook func="planet::warm" arg0="1" arg1="2.5"/>
    <hook func="warm"/>
  </cond></conditions>)"),
            "Error finding function 'void warm(subSystem@,SubSystemEvalMode,float,float)'\n"
            "Error finding function 'void warm(subSystem@,SubSystemEvalMode)'\n");
  ASSERT_EQ(getPlanetConditionCount(), 1u);
  EXPECT_TRUE(getPlanetCondition(0)->hooks.empty());
}

TEST_F(PlanetTypesTest, AMissingFileIsReportedWithItsPath) {
  const std::string path = (scratchDir() / "absent.xml").string();
  LogCapture log;
  loadPlanetTypes(path.c_str());
  const std::string logged = log.take();
  EXPECT_NE(logged.find(path), std::string::npos) << logged;
  EXPECT_EQ(getPlanetConditionCount(), 0u);
  EXPECT_EQ(planetTypeRegistry().size(), 0u);
}

TEST_F(PlanetTypesTest, ACutOffFileKeepsWhatWasReadBeforeTheDamage) {
  const std::string whole =
      R"(<conditions><cond id="Hot"><tags>hot</tags></cond></conditions><physical><tag name="Rock"><constructed/>)"
      R"(<condition_tags>hot</condition_tags></tag></physical>)";
  const std::string::size_type rockBegun = whole.find("<constructed/>");
  for (std::string::size_type length = 0; length <= whole.size(); ++length) {
    SCOPED_TRACE(length);
    const std::string logged = load(whole.substr(0, length));
    if (length >= rockBegun) {
      ASSERT_NE(getPlanetType(L"Rock"), nullptr);
      ASSERT_EQ(getPlanetConditionCount(), 1u);
    }
    const std::string kept = whole.substr(0, length);
    const std::string::size_type open = kept.rfind('<');
    const std::string::size_type close = kept.rfind('>');
    const bool insideMarkup = open != std::string::npos && (close == std::string::npos || open > close);
    if (insideMarkup)
      EXPECT_NE(logged.find("PlanetTypes.xml"), std::string::npos) << logged;
    else
      EXPECT_EQ(logged, "");
    clearPlanetTypes();
  }
}

TEST_F(PlanetTypesTest, ClearingEmptiesEverythingAndALaterLoadWorks) {
  const std::string file = std::string(kTaggedConditions) +
                           R"(<physical><tag name="Rock"><condition_tags>hot</condition_tags></tag></physical>
                              <atmosphere><mat name="haze"/></atmosphere>)";
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    EXPECT_EQ(load(file), "");
    EXPECT_EQ(getPlanetConditionCount(), 5u);
    EXPECT_EQ(applicable(L"Rock"), (Ids{"Hot", "Plain"}));
    EXPECT_EQ(planetAtmospheres().size(), 1u);
    clearPlanetTypes();
    EXPECT_EQ(getPlanetConditionCount(), 0u);
    EXPECT_EQ(getPlanetCondition(0), nullptr);
    EXPECT_EQ(planetTypeRegistry().size(), 0u);
    EXPECT_EQ(findPlanetType(L"Rock"), -1);
    EXPECT_EQ(findPlanetCondition(L"Hot"), -1);
    EXPECT_EQ(planetAtmospheres().size(), 0u);
  }
}

TEST_F(PlanetTypesTest, TheShippedFileLoadsCleanly) {
  ASSERT_TRUE(loadLocaleFile(CORVANE_SOURCE_DIR "/data/Locales/english.txt", true));
  LogCapture log;
  loadPlanetTypes(CORVANE_SOURCE_DIR "/data/Game Data/PlanetTypes.xml");
  EXPECT_EQ(log.take(), "");

  EXPECT_GE(getPlanetConditionCount(), 3u);
  EXPECT_LE(getPlanetConditionCount(), 5u);
  bool untagged = false;
  for (unsigned i = 0; i < getPlanetConditionCount(); ++i) {
    const planetCondition* condition = getPlanetCondition(i);
    EXPECT_FALSE(condition->desc.empty() || condition->desc[0] == L'#') << stringc(condition->id).c_str();
    EXPECT_TRUE(condition->hooks.empty());
    untagged = untagged || condition->tags.empty();
  }
  EXPECT_TRUE(untagged);

  for (const wchar_t* name : {L"Terran", L"Barren", L"Desert", L"Ice", L"Gas Giant", L"Volcanic", L"Artificial"}) {
    const PlanetPhysicalType* type = getPlanetType(name);
    ASSERT_NE(type, nullptr) << stringc(name).c_str();
    EXPECT_EQ(type->constructed, std::wstring(name) == L"Artificial") << stringc(name).c_str();
    EXPECT_FALSE(type->conditionTags.empty()) << stringc(name).c_str();
    EXPECT_FALSE(type->applicableConditions.empty()) << stringc(name).c_str();
  }
  EXPECT_GT(planetAtmospheres().size(), 0u);
  std::ofstream(scratchDir() / "empty.txt");
  loadLocaleFile((scratchDir() / "empty.txt").string().c_str(), true);
}

}  // namespace

}  // namespace planet_types_test
