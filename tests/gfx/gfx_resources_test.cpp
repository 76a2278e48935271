// The graphics resource registry on the null driver: the fallbacks that
// unknown names give, the texture limit around the material pass, the
// planet spheres, the node rings and the session-end clear.
#include "gfx/gfx_resources.h"

#include <gtest/gtest.h>

#include <irrlicht.h>

#include <string>
#include <vector>

#include "app/base/engine.h"
#include "gfx/effect_node_pools.h"
#include "platform/engine/engine_textures.h"
#include "support/log_capture.h"
#include "support/null_device.h"

namespace gfx_resources_test {

namespace {

using irr::core::stringc;

// What the test hooks saw and register.
std::vector<irr::u32> limitsSeenByMaterialPass;
std::vector<std::wstring> shownTexts;
const wchar_t* modelToRegister = nullptr;
ModelRef* registeredByHook = nullptr;

void recordLimit(const stringc&) { limitsSeenByMaterialPass.push_back(plat::getTextureLimit(engine.driver)); }
void recordText(const wchar_t* text) { shownTexts.emplace_back(text); }

// A model descriptor "file" that registers one model on the arrow mesh.
void registerHookModel(const stringc&) {
  registeredByHook = new ModelRef(gfxResources.errorModel.mesh);
  NamedVar<ModelRef*>::getOrAdd(gfxResources.models, modelToRegister).value = registeredByHook;
}

// A material descriptor "file" that registers "GenericSubSys" with a 512 x
// 512 texture in layers 0 and 1.
void registerHookMaterial(const stringc&) {
  irr::video::IImage* image =
      engine.driver->createImage(irr::video::ECF_A8R8G8B8, irr::core::dimension2du(512, 512));
  irr::video::ITexture* texture = plat::addImageTexture(engine.driver, "hook.png", image);
  image->drop();
  NamedVar<irr::video::ITexture*>::getOrAdd(gfxResources.textures, L"hook.png").value = texture;
  auto* material = new irr::video::SMaterial;
  material->setTexture(0, texture);
  material->setTexture(1, texture);
  NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, L"GenericSubSys").value = material;
}

class GfxResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    // The interfaces without the engine's logger, so that every level of the
    // server's log is printed.
    engine.device = device_;
    engine.driver = device_->getVideoDriver();
    engine.scene = device_->getSceneManager();
    engine.gui = device_->getGUIEnvironment();
    limitsSeenByMaterialPass.clear();
    keptHooks_ = gfxLoadHooks;
    shownTexts.clear();
  }
  void TearDown() override {
    clearGfxResources(gfxResources);
    gfxLoadHooks = keptHooks_;
    engine = EngineGlobals{};
    plat::setTextureLimit(nullptr, plat::kDefaultTextureLimit);
    device_->drop();
  }

  void start(int32_t quality = 2) {
    GfxDescriptorLists lists;
    lists.shaders = &shaders_;
    lists.materials = &materials_;
    lists.models = &models_;
    lists.sounds = &sounds_;
    initGfxResources(lists, quality, recordText);
  }

  irr::IrrlichtDevice* device_ = nullptr;
  // The hooks as they were before the test (our own readers).
  GfxLoadHooks keptHooks_;
  std::vector<stringc> shaders_;
  std::vector<stringc> materials_;
  std::vector<stringc> models_;
  std::vector<stringc> sounds_;
};

TEST_F(GfxResourcesTest, UnknownNamesGiveTheErrorModelMaterialAndSound) {
  start();
  ModelRef* model = getModelRef(L"nope");
  ASSERT_EQ(model, &gfxResources.errorModel);
  ASSERT_NE(model->mesh, nullptr);
  EXPECT_EQ(model->mesh, engine.scene->getMeshCache()->getMeshByName("ERRORMESH"));
  EXPECT_EQ(model->nextLevel, nullptr);
  EXPECT_EQ(model->lodDistance, 1.0f);
  EXPECT_FALSE(model->mesh->getMeshBuffer(0)->getMaterial().Lighting);

  irr::video::SMaterial* material = getMaterial(L"nope");
  ASSERT_EQ(material, &gfxResources.errorMaterial);
  ASSERT_NE(material->getTexture(0), nullptr);
  EXPECT_EQ(material->getTexture(0), gfxResources.errorTexture);
  EXPECT_EQ(stringc(material->getTexture(0)->getName().getPath()), "ERRORTEXTURE");
  EXPECT_EQ(material->getTexture(1), nullptr);
  // The null driver's texture knows no size; the size table does.
  EXPECT_EQ(plat::textureSize(gfxResources.errorTexture), irr::core::dimension2du(16, 16));

  // No sound loader: the error sound is none, and so is every sound.
  EXPECT_EQ(getSoundSource(L"nope"), nullptr);
  EXPECT_EQ(findNamedValue<ModelRef*>(gfxResources.models, L"nope"), nullptr);

  // The progress texts, in order; keys the locale lacks come back as they are.
  EXPECT_EQ(shownTexts, (std::vector<std::wstring>{L"#EV_ShadersInit", L"#EV_MaterialsInit", L"#EV_MaterialsDone",
                                                   L"#EV_ModelsInit", L"#EV_ModelsDone", L"#EV_SoundInit"}));
}

TEST_F(GfxResourcesTest, TheErrorImageIsACheckerboardWithBlackTopLeft) {
  irr::video::IImage* image = createErrorImage(engine.driver);
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(image->getDimension(), irr::core::dimension2du(16, 16));
  EXPECT_EQ(image->getColorFormat(), irr::video::ECF_A8R8G8B8);
  // Quadrants: top-left, top-right, bottom-left, bottom-right.
  const irr::u32 kQuadrant[2][2] = {{0xFF000000, 0xFFFF00FF}, {0xFFFF00FF, 0xFF000000}};
  for (irr::u32 y = 0; y < 16; ++y)
    for (irr::u32 x = 0; x < 16; ++x)
      ASSERT_EQ(image->getPixel(x, y).color, kQuadrant[y / 8][x / 8]) << "pixel " << x << "," << y;
  image->drop();
}

TEST_F(GfxResourcesTest, TheMaterialPassRunsUnderTheQualitysTextureLimit) {
  constexpr irr::u32 kBefore = 777;
  struct Case {
    int32_t quality;
    irr::u32 limit;
  };
  const Case cases[] = {
      {0, 65536}, {1, 262144}, {2, 1048576}, {3, 4194304}, {4, 104857600}, {7, kBefore}, {-1, kBefore},
  };
  gfxLoadHooks.loadMaterialDescriptors = recordLimit;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.quality);
    limitsSeenByMaterialPass.clear();
    plat::setTextureLimit(engine.driver, kBefore);
    materials_ = {"a.txt", "b.txt"};
    start(c.quality);
    EXPECT_EQ(limitsSeenByMaterialPass, (std::vector<irr::u32>{c.limit, c.limit}));
    EXPECT_TRUE(materials_.empty());
    EXPECT_EQ(plat::getTextureLimit(engine.driver), kBefore);
    clearGfxResources(gfxResources);
  }
}

TEST_F(GfxResourcesTest, PlanetSpheresKeepAModelThatADescriptorRegisteredFirst) {
  gfxLoadHooks.loadModelDescriptors = registerHookModel;
  modelToRegister = L"sphereHi";
  models_ = {"models.txt"};
  LogCapture log;
  start();
  EXPECT_EQ(countOccurrences(log.take(), "Attempted to overwrite mesh \"sphereHi\"\n"), 1u);
  EXPECT_EQ(getModelRef(L"sphereHi"), registeredByHook);

  struct Case {
    const wchar_t* model;
    const char* mesh;
  };
  irr::scene::IMeshCache* cache = engine.scene->getMeshCache();
  const Case cases[] = {{L"sphereLo", "plMeshL"}, {L"planet", "plMesh"}, {L"sphereMd+", "plMeshMp"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(stringc(c.model).c_str());
    ModelRef* model = getModelRef(c.model);
    ASSERT_NE(model, &gfxResources.errorModel);
    EXPECT_EQ(model->mesh, cache->getMeshByName(c.mesh));
    EXPECT_EQ(model->mesh->getMesh(0)->getMeshBuffer(0)->getHardwareMappingHint_Vertex(), irr::scene::EHM_STATIC);
  }
  // "sphereMd" shares the mesh of "planet" in a record of its own.
  EXPECT_EQ(getModelRef(L"sphereMd")->mesh, getModelRef(L"planet")->mesh);
  EXPECT_NE(getModelRef(L"sphereMd"), getModelRef(L"planet"));
  // More segments, more vertices.
  EXPECT_LT(getModelRef(L"sphereLo")->mesh->getMesh(0)->getMeshBuffer(0)->getVertexCount(),
            getModelRef(L"planet")->mesh->getMesh(0)->getMeshBuffer(0)->getVertexCount());
}

TEST_F(GfxResourcesTest, TwoSessionsClearTheRegistriesAndReplaceTheErrorResources) {
  gfxLoadHooks.loadMaterialDescriptors = registerHookMaterial;
  gfxLoadHooks.loadModelDescriptors = registerHookModel;
  modelToRegister = L"ship";
  for (int session = 0; session < 2; ++session) {
    SCOPED_TRACE(session);
    materials_ = {"materials.txt"};
    models_ = {"models.txt"};
    start();
    ASSERT_NE(getMaterial(L"GenericSubSys"), &gfxResources.errorMaterial);
    EXPECT_EQ(getModelRef(L"ship"), registeredByHook);
    // Two layers of a 512 x 512 texture, each counted.
    irr::video::ITexture* texture = getMaterial(L"GenericSubSys")->getTexture(0);
    const irr::u32 bytesPerPixel = irr::video::IImage::getBitsPerPixelFromFormat(texture->getColorFormat()) / 8;
    irr::u32 layerKB = 512 * 512 * bytesPerPixel / 1024;
    if (texture->hasMipMaps())
      layerKB = layerKB * 4 / 3;
    EXPECT_EQ(namedMaterialTextureMemoryKB(gfxResources), 2 * layerKB);

    // The driver has one error texture, the registry's.
    irr::u32 errorTextures = 0;
    for (irr::u32 i = 0; i < engine.driver->getTextureCount(); ++i)
      if (stringc(engine.driver->getTextureByIndex(i)->getName().getPath()) == "ERRORTEXTURE")
        ++errorTextures;
    EXPECT_EQ(errorTextures, 1u);
    EXPECT_EQ(engine.driver->findTexture("ERRORTEXTURE"), gfxResources.errorTexture);

    irr::video::ITexture* errorTexture = gfxResources.errorTexture;
    irr::scene::IAnimatedMesh* errorMesh = gfxResources.errorModel.mesh;
    clearGfxResources(gfxResources);
    EXPECT_EQ(gfxResources.materials.size(), 0u);
    EXPECT_EQ(gfxResources.materialTypes.size(), 0u);
    EXPECT_EQ(gfxResources.textures.size(), 0u);
    EXPECT_EQ(gfxResources.models.size(), 0u);
    EXPECT_EQ(gfxResources.sounds.size(), 0u);
    EXPECT_EQ(engine.driver->findTexture("hook.png"), nullptr);
    EXPECT_EQ(engine.scene->getMeshCache()->getMeshCount(), 0u);
    // The error resources stay and still answer for unknown names.
    EXPECT_EQ(gfxResources.errorTexture, errorTexture);
    EXPECT_EQ(getModelRef(L"ship"), &gfxResources.errorModel);
    EXPECT_EQ(getModelRef(L"ship")->mesh, errorMesh);
    EXPECT_GT(errorMesh->getMeshBufferCount(), 0u);
    EXPECT_EQ(getMaterial(L"GenericSubSys"), &gfxResources.errorMaterial);
  }
}

TEST_F(GfxResourcesTest, TheEffectRingHandsOutItsFiftyNodesRoundRobin) {
  irr::scene::ISceneNode* root = engine.scene->getRootSceneNode();
  createEffectNodePool();
  createBurstNodePool();
  EXPECT_EQ(root->getChildren().size(), kEffectNodeCount + kBurstNodeCount);
  std::vector<irr::scene::ISceneNode*> handed;
  for (unsigned i = 0; i < kEffectNodeCount + 1; ++i)
    handed.push_back(nextPooledEffectNode());
  EXPECT_EQ(handed[kEffectNodeCount], handed[0]);
  for (unsigned i = 0; i < kEffectNodeCount; ++i) {
    ASSERT_NE(handed[i], nullptr);
    EXPECT_EQ(handed[i]->getParent(), root);
    EXPECT_EQ(handed[i]->getID(), -1);
    for (unsigned j = 0; j < i; ++j)
      ASSERT_NE(handed[i], handed[j]);
  }
  releaseBurstNodePool();
  releaseEffectNodePool();
  EXPECT_EQ(root->getChildren().size(), 0u);
  EXPECT_EQ(nextPooledEffectNode(), nullptr);
  EXPECT_EQ(burstPoolNode(0), nullptr);
}

TEST(EndsWithNoCase, ComparesTheEndingWithoutCase) {
  struct Case {
    const wchar_t* text;
    const wchar_t* ending;
    bool ends;
  };
  const Case cases[] = {
      {L"Music.OGG", L".ogg", true}, {L"ogg", L".ogg", false}, {L"a.wav", L".WAV", true},
      {L"a.wav", L".ogg", false},    {L"", L"", true},         {L"x.og", L".ogg", false},
      {L"[.ogg", L"{.ogg", false},  // outside A-Z nothing is folded
  };
  for (const Case& c : cases)
    EXPECT_EQ(endsWithNoCase(c.text, c.ending), c.ends) << stringc(c.text).c_str() << " / " << stringc(c.ending).c_str();
}

}  // namespace

}  // namespace gfx_resources_test
