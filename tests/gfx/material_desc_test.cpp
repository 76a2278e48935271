// Material descriptor files on the null driver: the message of each faulty
// line (with file and line, the reading going on), texture layers, the
// duplicate material, the "#" preprocessor with its include stack, and the
// sprite banks' tiling.
#include "gfx/material_desc.h"

#include <gtest/gtest.h>

#include <irrlicht.h>

#include <filesystem>
#include <fstream>
#include <list>
#include <string>
#include <vector>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "gfx/texture_loader.h"
#include "platform/engine/engine_textures.h"
#include "support/log_capture.h"
#include "support/null_device.h"
#include "support/scratch_dir.h"

namespace material_desc_test {

namespace {

using irr::core::stringw;

size_t occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

class MaterialDescTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    engine.device = device_;
    engine.driver = device_->getVideoDriver();
    engine.scene = device_->getSceneManager();
    engine.fileSystem = device_->getFileSystem();
    engine.gui = device_->getGUIEnvironment();
    engine.timer = device_->getTimer();
    keptLevel_ = shaderLevel;
    keptEnabled_ = shadersEnabled;
    initGfxResources(GfxDescriptorLists{}, -1, nullptr);
    dir_ = scratchDir();
  }
  void TearDown() override {
    shaderLevel = keptLevel_;
    shadersEnabled = keptEnabled_;
    descriptorLoadingScreen = nullptr;
    clearGfxResources(gfxResources);
    plat::setTextureLimit(engine.driver, plat::kDefaultTextureLimit);
    engine = EngineGlobals{};
    device_->drop();
  }

  std::string write(const std::string& name, const std::string& text) {
    const std::filesystem::path path = dir_ / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  void writePng(const std::string& name, irr::u32 width, irr::u32 height) {
    const std::filesystem::path path = dir_ / name;
    std::filesystem::create_directories(path.parent_path());
    irr::video::IImage* image =
        engine.driver->createImage(irr::video::ECF_A8R8G8B8, irr::core::dimension2du(width, height));
    image->fill(irr::video::SColor(0xFF336699));
    ASSERT_TRUE(engine.driver->writeImageToFile(image, path.string().c_str()));
    image->drop();
  }

  static irr::video::SMaterial* registered(const wchar_t* name) {
    irr::video::SMaterial** found = findNamedValue<irr::video::SMaterial*>(gfxResources.materials, name);
    return found == nullptr ? nullptr : *found;
  }

  irr::IrrlichtDevice* device_ = nullptr;
  std::filesystem::path dir_;
  int32_t keptLevel_ = 0;
  bool keptEnabled_ = false;
};

// The files sit in "<scratch>/Materials/"; textures are relative to the
// scratch folder ("<folder>/../").
TEST_F(MaterialDescTest, FaultyLinesGetTheirMessageWithFileAndLineAndReadingGoesOn) {
  writePng("tex/a.png", 8, 8);
  struct Case {
    const char* text;
    const char* message;  // "%s" stands for the file
  };
  const Case cases[] = {
      {"Material: M\n: x\n", "%s(2) error M001: Empty Key\n"},
      {"Material: M\nDiffuse:\n", "%s(2) error M002: Empty Value for Key 'Diffuse'\n"},
      {"Material: M\nRenderMode: Glass\n", "%s(2) error M004: Invalid Render Mode 'Glass'\n"},
      {"Material: M\nFlagOn: Shiny\n", "%s(2) error M005: Unrecognized flag 'Shiny'\n"},
      {"Material: M\nColour: fff\n", "%s(2) error M006: Unrecognized Key 'Colour'\n"},
      {"Material: M\nTexture12: tex/a.png\n", "%s(2) error M006: Unrecognized Key 'Texture12'\n"},
      {"Material: M\nAmbient: ff0g\n", "%s(2) error M030: Bad color 'ff0g': contained non-hex characters\n"},
      {"Material: M\nSpecular: ff\n", "%s(2) error M030: Bad color 'ff': was not 3, 4, 6 or 8 characters long\n"},
      {"SpriteBank: B1\nSpriteBank: B1\n", "%s(2) error M040: Sprite bank named 'B1' already exists\n"},
      {"SpriteBank: B2\nTexture: tex/a.png\nAutoTile: Diagonal\n",
       "%s(3) error M041: Unrecognized major order - specify ColMajor or RowMajor first\n"},
      {"SpriteBank: B3\nAutoTile: RowMajor\n", "%s(2) error M043: May only auto tile after specifying a valid texture\n"},
      {"SpriteBank: B4\nTexture: tex/missing.png\nAutoTile: RowMajor\n",
       "%s(3) error M043: May only auto tile after specifying a valid texture\n"},
      {"SpriteBank: B5\nTexture: tex/a.png\nAutoTile: RowMajor, 1\n", "%s(3) error M044: Out-of-bounds texture index\n"},
      {"SpriteBank: B6\nTexture: tex/a.png\nAutoTile: RowMajor, 1x, 1x, 0, 5\n",
       "%s(3) error M046: Auto-Tiling must be specified as: Order [, Width, Height] [, Texture index]\n"},
      {"#pragma once\n", "%s(1) error M070: Invalid directive (must be #if, #elif, #else, #end, or #include)\n"},
      {"#if opengl\n#elif\n", "%s(2) error M070: Invalid directive (must be #if, #elif, #else, #end, or #include)\n"},
      {"#if glide\n#end\n", "%s(1) error M071: Unrecognized directive string\n"},
      {"#elif shaders\n", "%s(1) error M072: #elif without matching #if\n"},
      {"#else\n", "%s(1) error M072: #else without matching #if\n"},
      {"#end\n", "%s(1) error M072: #end without matching #if\n"},
      {"#include other.txt\n", "%s(1) error M075: #include requires a quoted file path/name\n"},
      {"#forceHighQTextures yes\n", "%s(1) error M076: #forceHighQTextures must be followed by \"on\" or \"off\"\n"},
      {"#makeMipMaps\n", "%s(1) error M077: #makeMipMaps must be followed by \"on\" or \"off\"\n"},
  };
  bDeferredTextures = true;
  singleThreaded = false;
  const Case deferCase = {"Material: M\nDefer: Soon\n", "%s(2) error M404: Unrecognized Defer Priority 'Soon'\n"};
  std::vector<Case> all(std::begin(cases), std::end(cases));
  all.push_back(deferCase);
  int row = 0;
  for (const Case& c : all) {
    SCOPED_TRACE(c.text);
    clearGfxResources(gfxResources);
    const std::string path = write("Materials/case" + std::to_string(row++) + ".txt",
                                   std::string(c.text) + "Material: After\nDiffuse: 123\n");
    LogCapture log;
    loadMaterialDescriptors(path.c_str());
    const std::string seen = log.take();
    std::string expected = c.message;
    expected.replace(expected.find("%s"), 2, path);
    EXPECT_NE(seen.find(expected), std::string::npos) << seen;
    EXPECT_EQ(occurrences(seen, " error M"), 1u) << seen;
    // The lines after the faulty one are still read.
    ASSERT_NE(registered(L"After"), nullptr);
    EXPECT_EQ(registered(L"After")->DiffuseColor, irr::video::SColor(0xFF102030));
  }
  bDeferredTextures = false;
}

TEST_F(MaterialDescTest, KeysSetTheMaterialAndDuplicatesChangeNothing) {
  writePng("tex/a.png", 8, 8);
  writePng("tex/b.png", 4, 4);
  const std::string path = write("Materials/keys.txt",
                                 "Material: Plain\n"
                                 "Material: Layers\n"
                                 "Texture7: tex/a.png\n"
                                 "Texture0: tex/b.png\n"
                                 "RenderMode: Add\n"
                                 "Shininess: 12.5\n"
                                 "FlagOff: Lighting\n"
                                 "FlagOn: ZIgnore\n"
                                 "FlagOn: Clamp\n"
                                 "RenderVal: 0.25\n"
                                 "Material: Layers\n"
                                 "RenderMode: Alpha\n"
                                 "Texture2: tex/a.png\n"
                                 "FlagOn: Lighting\n"
                                 "SpriteBank: AfterDuplicate\n"
                                 "Material: Next\n"
                                 "RenderMode: Lightmap\n");
  LogCapture log;
  loadMaterialDescriptors(path.c_str());
  const std::string seen = log.take();
  EXPECT_NE(seen.find(path + "(11) error M003: Duplicate Material 'Layers'\n"), std::string::npos) << seen;
  EXPECT_EQ(occurrences(seen, " error M"), 1u) << seen;
  EXPECT_NE(seen.find("Loading material descriptor file: " + path + "\n"), std::string::npos);

  irr::video::SMaterial* plain = registered(L"Plain");
  ASSERT_NE(plain, nullptr);
  for (irr::u32 layer = 0; layer < 4; ++layer)
    EXPECT_EQ(plain->getTexture(layer), gfxResources.errorTexture) << layer;
  EXPECT_EQ(plain->MaterialType, irr::video::EMT_SOLID);
  EXPECT_TRUE(plain->Lighting);
  EXPECT_EQ(plain->ZBuffer, irr::video::ECFN_LESSEQUAL);

  irr::video::SMaterial* layers = registered(L"Layers");
  ASSERT_NE(layers, nullptr);
  ASSERT_NE(layers->getTexture(3), nullptr);
  ASSERT_NE(layers->getTexture(0), nullptr);
  EXPECT_EQ(plat::textureSize(layers->getTexture(3)).Width, 8u);
  EXPECT_EQ(plat::textureSize(layers->getTexture(0)).Width, 4u);
  // The duplicate's "Texture2" went nowhere.
  EXPECT_EQ(layers->getTexture(1), gfxResources.errorTexture);
  EXPECT_EQ(layers->getTexture(2), gfxResources.errorTexture);
  EXPECT_EQ(layers->MaterialType, static_cast<irr::video::E_MATERIAL_TYPE>(material_type::kAdd));
  EXPECT_FLOAT_EQ(layers->Shininess, 12.5f);
  EXPECT_FALSE(layers->Lighting);
  EXPECT_EQ(layers->ZBuffer, irr::video::ECFN_NEVER);
  EXPECT_EQ(layers->TextureLayer[2].TextureWrapU, irr::video::ETC_CLAMP);
  EXPECT_FLOAT_EQ(layers->MaterialTypeParam, 0.25f);

  ASSERT_NE(registered(L"Next"), nullptr);
  EXPECT_EQ(registered(L"Next")->MaterialType, static_cast<irr::video::E_MATERIAL_TYPE>(material_type::kLightmap));
}

TEST_F(MaterialDescTest, DeferredTexturesGoToTheLoaderOnlyWhenThreadedAndDeferredTexturesAreOn) {
  writePng("tex/a.png", 8, 8);
  const std::string path = write("Materials/defer.txt",
                                 "Material: Later\n"
                                 "Defer: High\n"
                                 "Texture: tex/a.png\n"
                                 "Texture2: tex/missing.png\n"
                                 "Material: AtOnce\n"
                                 "Texture: tex/a.png\n");
  const struct {
    bool deferred;
    bool single;
    bool queued;
  } cases[] = {{true, false, true}, {true, true, false}, {false, false, false}};
  const bool keptDeferred = bDeferredTextures;
  const bool keptSingle = singleThreaded;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.deferred << c.single);
    clearGfxResources(gfxResources);
    initGfxResources(GfxDescriptorLists{}, -1, nullptr);
    resetTextureQueue();
    bDeferredTextures = c.deferred;
    singleThreaded = c.single;
    LogCapture log;
    loadMaterialDescriptors(path.c_str());
    EXPECT_EQ(occurrences(log.take(), " error "), 0u);
    // A file that does not exist is never asked for.
    EXPECT_EQ(queuedTextureCount(), c.queued ? 1u : 0u);
    irr::video::SMaterial* later = registered(L"Later");
    ASSERT_NE(later, nullptr);
    EXPECT_EQ(later->getTexture(0) == gfxResources.errorTexture, c.queued);
    // The priority ends with the material.
    EXPECT_NE(registered(L"AtOnce")->getTexture(0), gfxResources.errorTexture);
    std::list<TextureRequest>& high = textureLoader.requests[kTextureHigh];
    ASSERT_EQ(high.size(), c.queued ? 1u : 0u);
    if (c.queued) {
      EXPECT_EQ(high.front().material, later);
      EXPECT_EQ(high.front().layer, 0);
      EXPECT_EQ(high.front().maxPixels, plat::getTextureLimit(engine.driver));
    }
    high.clear();
  }
  bDeferredTextures = keptDeferred;
  singleThreaded = keptSingle;
  resetTextureQueue();
}

TEST_F(MaterialDescTest, ConditionsFollowTheShaderQualityAndNestedLevelsObeyTheirParent) {
  shaderLevel = 1;  // "Low"
  shadersEnabled = true;
  const std::string path = write("Materials/cond.txt",
                                 "#if hi_shaders\n"
                                 "Material: HiOnly\n"
                                 "#else\n"
                                 "Material: LowElse\n"
                                 "#end\n"
                                 "#if shaders\n"
                                 "Material: First\n"
                                 "#elif low_shaders\n"
                                 "Material: ElifAfterTaken\n"
                                 "#else\n"
                                 "Material: ElseAfterTaken\n"
                                 "#end\n"
                                 "#if hi_shaders\n"
                                 "#if shaders\n"
                                 "Material: NestedInFalse\n"
                                 "#else\n"
                                 "Material: NestedElseInFalse\n"
                                 "#end\n"
                                 "#elif low_shaders\n"
                                 "Material: ElifTaken\n"
                                 "#end\n"
                                 "#if opengl\n"
                                 "#if dx9\n"
                                 "Material: NestedFalse\n"
                                 "#else\n"
                                 "Material: NestedElse\n"
                                 "#end\n"
                                 "#end\n");
  LogCapture log;
  loadMaterialDescriptors(path.c_str());
  EXPECT_EQ(occurrences(log.take(), " error "), 0u);
  const struct {
    const wchar_t* name;
    bool read;
  } expected[] = {{L"HiOnly", false},         {L"LowElse", true},       {L"First", true},
                  {L"ElifAfterTaken", false}, {L"ElseAfterTaken", false}, {L"NestedInFalse", false},
                  {L"NestedElseInFalse", false}, {L"ElifTaken", true},  {L"NestedFalse", false},
                  {L"NestedElse", true}};
  for (const auto& e : expected)
    EXPECT_EQ(registered(e.name) != nullptr, e.read) << stringw(e.name).c_str()[0] << " " << e.read;
}

TEST_F(MaterialDescTest, IncludesShowTheirNameKeepTheirOwnTextureLimitAndStopAtACycle) {
  static std::vector<std::wstring> shown;
  shown.clear();
  static void (*screen)(const wchar_t*) = [](const wchar_t* text) { shown.emplace_back(text); };
  descriptorLoadingScreen = &screen;

  static irr::u32 limitAfter = 0;
  plat::setTextureLimit(engine.driver, 262144);
  write("Materials/high.txt",
        "#forceHighQTextures on\n"
        "Material: InInclude\n");
  write("Materials/self.txt",
        "Material: SelfFirst\n"
        "#include \"self.txt\"\n"
        "Material: SelfAfter\n");
  write("Materials/ring_a.txt", "#include \"ring_b.txt\"\nMaterial: RingA\n");
  write("Materials/ring_b.txt", "#include \"ring_a.txt\"\nMaterial: RingB\n");
  const std::string path = write("Materials/main.txt",
                                 "#include \"high.txt\"\n"
                                 "Material: AfterHigh\n"
                                 "#include \"self.txt\"\n"
                                 "#include \"ring_a.txt\"\n"
                                 "Material: End\n");
  LogCapture log;
  loadMaterialDescriptors(path.c_str());
  limitAfter = plat::getTextureLimit(engine.driver);
  const std::string seen = log.take();

  // The limit that the included file forced is gone when it ends.
  EXPECT_EQ(limitAfter, 262144u);
  for (const wchar_t* name : {L"InInclude", L"AfterHigh", L"SelfFirst", L"SelfAfter", L"RingA", L"RingB", L"End"})
    EXPECT_NE(registered(name), nullptr);
  EXPECT_EQ(occurrences(seen, " error M078: "), 2u) << seen;
  const std::string selfPath = (dir_ / "Materials/self.txt").string();
  EXPECT_NE(seen.find(selfPath + "(2) error M078: "), std::string::npos) << seen;
  ASSERT_GE(shown.size(), 3u);
  EXPECT_EQ(shown[0], L"  ...high.txt");
  EXPECT_EQ(shown[1], L"  ...self.txt");
}

TEST_F(MaterialDescTest, ForcedHighQualityHoldsTheLimitUntilTheIncludedFileEnds) {
  plat::setTextureLimit(engine.driver, 65536);
  static irr::u32 seenLimit = 0;
  static void (*probe)(const wchar_t*) = [](const wchar_t*) { seenLimit = plat::getTextureLimit(engine.driver); };
  descriptorLoadingScreen = &probe;
  // The second include's loading screen call runs while the first included
  // file's force is over, the nested one's inside it.
  write("Materials/force.txt",
        "#forceHighQTextures on\n"
        "#include \"probe.txt\"\n");
  write("Materials/probe.txt", "Material: Probe\n");
  const std::string path = write("Materials/outer.txt", "#include \"force.txt\"\n");
  loadMaterialDescriptors(path.c_str());
  EXPECT_EQ(seenLimit, 104857600u);
  EXPECT_EQ(plat::getTextureLimit(engine.driver), 65536u);
}

TEST_F(MaterialDescTest, AutoTileCutsTheTextureIntoEqualTiles) {
  writePng("tex/sheet.png", 64, 64);
  struct Case {
    const char* line;
    std::vector<irr::core::rect<irr::s32>> rects;
    const char* error;
  };
  using R = irr::core::rect<irr::s32>;
  const Case cases[] = {
      {"RowMajor, 2x, 2x", {R(0, 0, 32, 32), R(32, 0, 64, 32), R(0, 32, 32, 64), R(32, 32, 64, 64)}, nullptr},
      {"colmajor, 32, 2X, 0", {R(0, 0, 32, 32), R(0, 32, 32, 64), R(32, 0, 64, 32), R(32, 32, 64, 64)}, nullptr},
      {"RowMajor", {R(0, 0, 64, 64)}, nullptr},
      {"RowMajor, 0x, 2x", {}, "error M042: "},
      {"RowMajor, 65x, 2x", {}, "error M042: "},
      {"RowMajor, 0, 16", {}, "error M042: "},
      {"RowMajor, wide, 16", {}, "error M042: "},
  };
  int row = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string bankName = "Sheet" + std::to_string(row);
    const std::string path = write("Materials/tile" + std::to_string(row++) + ".txt",
                                   "SpriteBank: " + bankName + "\nTexture: tex/sheet.png\nAutoTile: " + c.line + "\n");
    LogCapture log;
    loadMaterialDescriptors(path.c_str());
    const std::string seen = log.take();
    irr::gui::IGUISpriteBank* bank = engine.gui->getSpriteBank(bankName.c_str());
    ASSERT_NE(bank, nullptr);
    ASSERT_EQ(bank->getTextureCount(), 1u);
    if (c.error != nullptr)
      EXPECT_NE(seen.find(path + "(3) " + c.error), std::string::npos) << seen;
    else
      EXPECT_EQ(occurrences(seen, " error "), 0u) << seen;
    ASSERT_EQ(bank->getPositions().size(), c.rects.size());
    ASSERT_EQ(bank->getSprites().size(), c.rects.size());
    for (irr::u32 i = 0; i < c.rects.size(); ++i) {
      EXPECT_EQ(bank->getPositions()[i], c.rects[i]) << i;
      ASSERT_EQ(bank->getSprites()[i].Frames.size(), 1u);
      EXPECT_EQ(bank->getSprites()[i].Frames[0].rectNumber, i);
      EXPECT_EQ(bank->getSprites()[i].Frames[0].textureNumber, 0u);
    }
  }
}

TEST_F(MaterialDescTest, AnEndedSessionsBankIsEmptiedAndTakenUpAgain) {
  writePng("tex/sheet.png", 16, 16);
  const std::string path =
      write("Materials/bank.txt", "SpriteBank: Icons\nTexture: tex/sheet.png\nAutoTile: RowMajor, 2x, 2x\n");
  loadMaterialDescriptors(path.c_str());
  irr::gui::IGUISpriteBank* bank = engine.gui->getSpriteBank("Icons");
  ASSERT_NE(bank, nullptr);
  EXPECT_EQ(bank->getSprites().size(), 4u);
  clearGfxResources(gfxResources);
  EXPECT_EQ(bank->getTextureCount(), 0u);
  EXPECT_EQ(bank->getSprites().size(), 0u);
  initGfxResources(GfxDescriptorLists{}, -1, nullptr);
  LogCapture log;
  loadMaterialDescriptors(path.c_str());
  EXPECT_EQ(occurrences(log.take(), " error M040"), 0u);
  EXPECT_EQ(bank->getSprites().size(), 4u);
}

}  // namespace

}  // namespace material_desc_test
