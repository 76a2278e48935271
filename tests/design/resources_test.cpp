#include "design/effects/resources.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/log_capture.h"
#include "support/scratch_dir.h"

namespace resources_test {

namespace {

class ResourcesTest : public testing::Test {
 protected:
  void TearDown() override { clearResources(); }

  // Loads `text` as a resource file; gives what was logged.
  std::string load(const std::string& text) {
    const std::filesystem::path file = scratchDir() / "resources.xml";
    std::ofstream(file, std::ios::binary) << text;
    LogCapture log;
    loadResources(file.string().c_str());
    return log.take();
  }
};

TEST_F(ResourcesTest, PropertiesActOnTheCurrentResource) {
  struct Case {
    const char* what;
    const char* file;
    bool canBeCargo;
    float recycle;
  };
  const Case cases[] = {
      {"properties inside", R"(<resource name="Ore"><canBeCargo/><recycle pct="0.25"/></resource>)", true, 0.25f},
      {"property elements may have content", "<resource name=\"Ore\"><canBeCargo>yes</canBeCargo></resource>", true, 0},
      {"recycle without pct", R"(<resource name="Ore"><recycle/></resource>)", false, 0},
      {"element names are case-sensitive", R"(<resource name="Ore"><CanBeCargo/></resource>)", false, 0},
      {"after the closing tag nothing is current",
       R"(<resource name="Ore"></resource><canBeCargo/><recycle pct="1"/>)", false, 0},
      {"a self-closing resource stays current", R"(<resource name="Ore"/><canBeCargo/></resource><recycle pct="1"/>)",
       true, 0},
      {"inside a root element", R"(<?xml version="1.0"?><!-- x --><all><resource name="Ore"><canBeCargo/></resource></all>)",
       true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(load(c.file), "");
    const cargoData* ore = findResource(L"Ore");
    ASSERT_NE(ore, nullptr);
    EXPECT_EQ(ore->canBeCargo, c.canBeCargo);
    EXPECT_FLOAT_EQ(ore->recycle, c.recycle);
    EXPECT_FALSE(ore->canTransfer || ore->planetsRequire || ore->alwaysVisible);
    clearResources();
  }
}

TEST_F(ResourcesTest, DuplicateMakesFurtherNamesOfTheSameRecord) {
  EXPECT_EQ(load(R"(<resource name="Ore"><canTransfer/><duplicate>Metal, Ore, </duplicate></resource>
                    <resource name="Gas"><duplicate/><alwaysVisible/></resource>)"),
            "");
  const cargoData* ore = findResource(L"Ore");
  ASSERT_NE(ore, nullptr);
  EXPECT_EQ(findResource(L"Metal"), ore);
  EXPECT_TRUE(ore->canTransfer);
  EXPECT_EQ(findResource(L""), nullptr) << "the empty piece is no name";
  ASSERT_NE(findResource(L"Gas"), nullptr);
  EXPECT_TRUE(findResource(L"Gas")->alwaysVisible) << "an empty duplicate element takes nothing after it";
}

TEST_F(ResourcesTest, NamingErrorsSkipTheResource) {
  EXPECT_EQ(load(R"(<resource name="Ore"><canBeCargo/></resource>
                    <resource name="Ore"><canTransfer/><recycle pct="0.5"/></resource>
                    <resource name=""><alwaysVisible/></resource>
                    <resource><planetsRequire/></resource>)"),
            "Duplicate resource name: 'Ore'\n"
            "Non-empty name is required to setup a resource\n"
            "Non-empty name is required to setup a resource\n");
  const cargoData* ore = findResource(L"Ore");
  ASSERT_NE(ore, nullptr);
  EXPECT_TRUE(ore->canBeCargo);
  EXPECT_FALSE(ore->canTransfer || ore->planetsRequire || ore->alwaysVisible);
  EXPECT_EQ(ore->recycle, 0.0f);
  EXPECT_EQ(findResource(L""), nullptr);
}

TEST_F(ResourcesTest, ClearingDeletesASharedRecordOnce) {
  // Deleting it once per name would be a double free, not deleting it a
  // leak: the sanitizer build reports either.
  load(R"(<resource name="Ore"><duplicate>Metal, Rock</duplicate></resource><resource name="Gas"></resource>)");
  ASSERT_NE(findResource(L"Rock"), nullptr);
  ASSERT_EQ(findResource(L"Rock"), findResource(L"Ore"));
  clearResources();
  for (const wchar_t* name : {L"Ore", L"Metal", L"Rock", L"Gas"})
    EXPECT_EQ(findResource(name), nullptr) << name;
}

TEST_F(ResourcesTest, AMissingFileIsReportedWithItsPath) {
  const std::string path = (scratchDir() / "absent.xml").string();
  LogCapture log;
  loadResources(path.c_str());
  const std::string logged = log.take();
  EXPECT_NE(logged.find(path), std::string::npos) << logged;
  EXPECT_EQ(findResource(L"Ore"), nullptr);
}

TEST_F(ResourcesTest, ACutOffFileKeepsWhatWasReadBeforeTheDamage) {
  const std::string whole =
      R"(<resource name="Ore"><canBeCargo/></resource><!-- gas --><resource name="Gas"><recycle pct="0.5"/></resource>)";
  const std::string::size_type oreEnd = whole.find("<!--");
  for (std::string::size_type length = 0; length <= whole.size(); ++length) {
    SCOPED_TRACE(length);
    const std::string logged = load(whole.substr(0, length));
    if (length >= oreEnd) {
      ASSERT_NE(findResource(L"Ore"), nullptr);
      EXPECT_TRUE(findResource(L"Ore")->canBeCargo);
    }
    const char last = length > 0 ? whole[length - 1] : '>';
    if (last != '>') {
      EXPECT_NE(logged.find("resources.xml"), std::string::npos) << "cut inside markup: " << logged;
    }
    clearResources();
  }
}

TEST_F(ResourcesTest, TheShippedFileLoadsCleanly) {
  LogCapture log;
  loadResources(CORVANE_SOURCE_DIR "/data/Game Data/resources.xml");
  EXPECT_EQ(log.take(), "");
  for (const wchar_t* good : {L"Metals", L"Electronics", L"AdvParts"}) {
    const cargoData* resource = findResource(good);
    ASSERT_NE(resource, nullptr) << good;
    EXPECT_TRUE(resource->canBeCargo && resource->canTransfer) << good;
  }
  for (const wchar_t* stock : {L"Fuel", L"Workers", L"Damage", L"Control"}) {
    ASSERT_NE(findResource(stock), nullptr) << stock;
    EXPECT_FALSE(findResource(stock)->canBeCargo) << stock;
  }
  EXPECT_EQ(findResource(L"Metal"), findResource(L"Metals"));
}

TEST(DefaultResource, HasNoFlags) {
  const cargoData* plain = defaultResource();
  ASSERT_NE(plain, nullptr);
  EXPECT_FALSE(plain->canBeCargo || plain->canTransfer || plain->planetsRequire || plain->alwaysVisible);
  EXPECT_EQ(plain->recycle, 0.0f);
}

}  // namespace

}  // namespace resources_test
