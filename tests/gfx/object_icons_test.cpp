// Object icon descriptions: each element's effect on a record, the
// rectangles measured against the real image size of the material's first
// texture, the malformed records the reader keeps to defaults, and the
// session's shipped file.
#include "gfx/object_icons.h"

#include <gtest/gtest.h>

#include <irrlicht.h>

#include <string>

#include "app/base/engine.h"
#include "gfx/gfx_resources.h"
#include "platform/engine/engine_textures.h"
#include "script/script_xml_io.h"
#include "support/null_device.h"

namespace object_icons_test {

namespace {

using irr::core::rectf;
using irr::core::stringw;

class ObjectIconsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    engine.device = device_;
    engine.driver = device_->getVideoDriver();
    engine.scene = device_->getSceneManager();
    engine.fileSystem = device_->getFileSystem();
    engine.timer = device_->getTimer();
    initGfxResources(GfxDescriptorLists{}, -1, nullptr);
    // "sheet" pictures a 64 x 32 image; "bare" has no texture.
    irr::video::IImage* image =
        engine.driver->createImage(irr::video::ECF_A8R8G8B8, irr::core::dimension2du(64, 32));
    irr::video::ITexture* texture = plat::addImageTexture(engine.driver, "sheet.png", image);
    image->drop();
    ASSERT_NE(texture, nullptr);
    auto* sheet = new irr::video::SMaterial();
    sheet->setTexture(0, texture);
    NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, L"sheet").value = sheet;
    NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, L"bare").value =
        new irr::video::SMaterial();
  }
  void TearDown() override {
    clearObjectIconDescs();
    clearGfxResources(gfxResources);
    engine = EngineGlobals{};
    device_->drop();
  }

  // Reads `xml` as the file's text.
  void load(const std::string& xml) { loadObjectIconDescs(new ScriptXmlReader(xml)); }

  irr::video::SMaterial* material(const wchar_t* name) { return getMaterial(name); }

  irr::IrrlichtDevice* device_ = nullptr;
};

void expectRect(const rectf& actual, const rectf& expected) {
  EXPECT_FLOAT_EQ(actual.UpperLeftCorner.X, expected.UpperLeftCorner.X);
  EXPECT_FLOAT_EQ(actual.UpperLeftCorner.Y, expected.UpperLeftCorner.Y);
  EXPECT_FLOAT_EQ(actual.LowerRightCorner.X, expected.LowerRightCorner.X);
  EXPECT_FLOAT_EQ(actual.LowerRightCorner.Y, expected.LowerRightCorner.Y);
}

TEST_F(ObjectIconsTest, AWholeRecordSetsEveryField) {
  load(
      "<icons>\n"
      " <icon>\n"
      "  <scale low=\"0.5\" hi=\"200\"/>\n"
      "  <mobile/>\n"
      "  <class name=\"ColonyShip\"/>\n"
      "  <tag has=\"Fleet\"/><tag has=\"Armed\"/>\n"
      "  <texture mat=\"sheet\" rect=\"16, 8, 32, 24\" size=\"2.5\"/>\n"
      "  <microtexture mat=\"sheet\" rect=\"0,0,64,32\" size=\"0.25\"/>\n"
      " </icon>\n"
      " <icon><immobile/><planet/></icon>\n"
      "</icons>\n");
  ASSERT_EQ(objectIconDescs.size(), 2u);
  const ObjectIconDesc& ship = *objectIconDescs[0];
  EXPECT_EQ(ship.low, 0.5f);
  EXPECT_EQ(ship.hi, 200.0f);
  EXPECT_EQ(ship.mobility, OIM_Mobile);
  EXPECT_TRUE(ship.hasClass);
  EXPECT_EQ(ship.classCode, kObjectIconColonyShip);
  EXPECT_FALSE(ship.planet);
  ASSERT_EQ(ship.tags.size(), 2u);
  EXPECT_EQ(ship.tags[0], stringw(L"Fleet"));
  EXPECT_EQ(ship.tags[1], stringw(L"Armed"));
  EXPECT_EQ(ship.iconMaterial, material(L"sheet"));
  expectRect(ship.iconRect, rectf(0.25f, 0.25f, 0.5f, 0.75f));
  EXPECT_EQ(ship.iconSize, 2.5f);
  EXPECT_EQ(ship.microMaterial, material(L"sheet"));
  expectRect(ship.microRect, rectf(0.0f, 0.0f, 1.0f, 1.0f));
  EXPECT_EQ(ship.microSize, 0.25f);

  const ObjectIconDesc& planet = *objectIconDescs[1];
  EXPECT_EQ(planet.mobility, OIM_Immobile);
  EXPECT_TRUE(planet.planet);
  EXPECT_FALSE(planet.hasClass);
  EXPECT_EQ(planet.low, 0.0f);
  EXPECT_EQ(planet.hi, 9e36f);
  EXPECT_EQ(planet.iconMaterial, &gfxResources.errorMaterial);
  EXPECT_EQ(planet.microMaterial, &gfxResources.errorMaterial);
  EXPECT_EQ(planet.iconSize, 1.0f);
}

// Each record is read alone; the checks name the one field it is about.
TEST_F(ObjectIconsTest, MalformedOrPartialElementsKeepTheDefaults) {
  const rectf whole(0.0f, 0.0f, 1.0f, 1.0f);
  struct Case {
    const char* record;  // the inside of one icon element
    rectf rect;          // the icon rectangle afterwards
    bool hasClass;
    irr::u32 tags;
    float low;
    float hi;
  } const cases[] = {
      {"<texture mat=\"sheet\" rect=\"16,8,32\"/>", whole, false, 0, 0.0f, 9e36f},
      {"<texture mat=\"sheet\" rect=\"16,8,32,24,8\"/>", whole, false, 0, 0.0f, 9e36f},
      {"<texture mat=\"sheet\" rect=\"16,,8,32,\"/>", whole, false, 0, 0.0f, 9e36f},
      {"<texture mat=\"sheet\" rect=\"\"/>", whole, false, 0, 0.0f, 9e36f},
      // Pieces are whole numbers read as far as they go.
      {"<texture mat=\"sheet\" rect=\"16x, 8, 32, 16 px\"/>", rectf(0.25f, 0.25f, 0.5f, 0.5f), false, 0, 0.0f,
       9e36f},
      // A material without a texture, or none named (the error texture is
      // 16 x 16), measures against what it has.
      {"<texture mat=\"bare\" rect=\"16,8,32,24\"/>", whole, false, 0, 0.0f, 9e36f},
      {"<texture rect=\"4,4,8,8\"/>", rectf(0.25f, 0.25f, 0.5f, 0.5f), false, 0, 0.0f, 9e36f},
      {"<class name=\"Colonyship\"/>", whole, false, 0, 0.0f, 9e36f},
      {"<class/>", whole, false, 0, 0.0f, 9e36f},
      {"<tag has=\"\"/><tag/>", whole, false, 0, 0.0f, 9e36f},
      {"<scale hi=\"40\"/>", whole, false, 0, 0.0f, 40.0f},
      {"<scale low=\"abc\"/>", whole, false, 0, 0.0f, 9e36f},
      // Names compare exactly; unknown elements are ignored.
      {"<Tag has=\"x\"/><Scale low=\"3\"/><sprite mat=\"sheet\"/>", whole, false, 0, 0.0f, 9e36f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    clearObjectIconDescs();
    load(std::string("<icons><icon>") + c.record + "</icon></icons>");
    ASSERT_EQ(objectIconDescs.size(), 1u);
    const ObjectIconDesc& icon = *objectIconDescs[0];
    expectRect(icon.iconRect, c.rect);
    EXPECT_EQ(icon.hasClass, c.hasClass);
    EXPECT_EQ(icon.classCode, kObjectIconClassNone);
    EXPECT_EQ(icon.tags.size(), c.tags);
    EXPECT_EQ(icon.low, c.low);
    EXPECT_EQ(icon.hi, c.hi);
  }
}

TEST_F(ObjectIconsTest, RecordsOpenAtEveryIconAndElementsOutsideOneAreIgnored) {
  // The empty icon stays open up to the next icon end tag; the planet flag
  // before any icon, and the one after the end tag, belong to no record.
  load(
      "<root><planet/><tag has=\"lost\"/>"
      "<icon/><tag has=\"first\"/><mobile/>"
      "<icon><tag has=\"second\"/></icon>"
      "<planet/>"
      "<group><icon><planet/></icon></group>"
      "</root>");
  ASSERT_EQ(objectIconDescs.size(), 3u);
  ASSERT_EQ(objectIconDescs[0]->tags.size(), 1u);
  EXPECT_EQ(objectIconDescs[0]->tags[0], stringw(L"first"));
  EXPECT_EQ(objectIconDescs[0]->mobility, OIM_Mobile);
  EXPECT_FALSE(objectIconDescs[0]->planet);
  ASSERT_EQ(objectIconDescs[1]->tags.size(), 1u);
  EXPECT_EQ(objectIconDescs[1]->tags[0], stringw(L"second"));
  EXPECT_FALSE(objectIconDescs[1]->planet);
  EXPECT_TRUE(objectIconDescs[2]->planet);
  EXPECT_EQ(objectIconDescs[2]->tags.size(), 0u);

  // Loading again appends; clearing empties.
  load("<x><icon/></x>");
  EXPECT_EQ(objectIconDescs.size(), 4u);
  clearObjectIconDescs();
  EXPECT_EQ(objectIconDescs.size(), 0u);
}

TEST_F(ObjectIconsTest, BrokenDocumentsAndAMissingFileLoadWhatTheyHold) {
  loadObjectIconDescs(nullptr);
  loadObjectIconFile(CORVANE_SOURCE_DIR "/data/Game Data/no_such_icons.xml");
  EXPECT_EQ(objectIconDescs.size(), 0u);
  const char* const documents[] = {"", "not xml at all", "<icons><icon><tag has=\"cut", "<icon", "\xff\xfe\x00"};
  for (const char* text : documents) {
    SCOPED_TRACE(text);
    clearObjectIconDescs();
    load(text);
    EXPECT_LE(objectIconDescs.size(), 1u);
  }
}

TEST_F(ObjectIconsTest, TheShippedFileHoldsRecordsOnItsMaterial) {
  loadObjectIconFile(CORVANE_SOURCE_DIR "/data/Game Data/object_icons.xml");
  ASSERT_GE(objectIconDescs.size(), 3u);
  bool planet = false;
  bool colonyShip = false;
  for (irr::u32 i = 0; i < objectIconDescs.size(); ++i) {
    const ObjectIconDesc& icon = *objectIconDescs[i];
    planet = planet || icon.planet;
    colonyShip = colonyShip || icon.hasClass;
    EXPECT_LT(icon.low, icon.hi);
  }
  EXPECT_TRUE(planet);
  EXPECT_TRUE(colonyShip);
}

}  // namespace

}  // namespace object_icons_test
