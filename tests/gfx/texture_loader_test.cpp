// The background texture loader on the null driver with PNG files written
// here: shrinking to the texture limit, the order of priorities, loads
// shared by path, materials copied into their meshes once complete, the
// flush after loading, failed loads, and sessions in a row.
#include "gfx/texture_loader.h"

#include <gtest/gtest.h>

#include <irrlicht.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/base/engine.h"
#include "core/threads.h"
#include "platform/engine/engine_textures.h"
#include "support/null_device.h"
#include "support/scratch_dir.h"

namespace texture_loader_test {

namespace {

using irr::core::stringc;

class TextureLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    engine.device = device_;
    engine.driver = device_->getVideoDriver();
    engine.scene = device_->getSceneManager();
    engine.fileSystem = device_->getFileSystem();
    dir_ = scratchDir();
    resetTextureQueue();
  }
  void TearDown() override {
    finishLoading();
    while (!textureLoader.deferredResults.empty() || !textureLoader.requiredResults.empty())
      processTextureQueue(false);
    processTextureQueue(false);
    resetTextureQueue();
    engine.driver->removeAllTextures();
    plat::forgetTextureSizes();
    engine = EngineGlobals{};
    device_->drop();
  }

  // A PNG of that size; the path as given to the loader.
  std::string writePng(const std::string& name, irr::u32 width, irr::u32 height) {
    const std::filesystem::path path = dir_ / name;
    std::filesystem::create_directories(path.parent_path());
    irr::video::IImage* image =
        engine.driver->createImage(irr::video::ECF_A8R8G8B8, irr::core::dimension2du(width, height));
    image->fill(irr::video::SColor(0xFF336699));
    EXPECT_TRUE(engine.driver->writeImageToFile(image, path.string().c_str()));
    image->drop();
    return path.string();
  }
  std::string missing(const std::string& name) const { return (dir_ / name).string(); }

  // The loader thread's work, run here: it drains the queue and ends.
  static void finishLoading() {
    textureLoader.stopRequested.store(true);
    textureLoaderThread(&textureLoader);
  }

  static irr::core::dimension2du sizeAt(const irr::video::SMaterial& material, irr::u32 layer) {
    return plat::textureSize(material.getTexture(layer));
  }

  irr::IrrlichtDevice* device_ = nullptr;
  std::filesystem::path dir_;
};

// A mesh of `buffers` buffers, each with a texture matrix of its own in
// layer 0.
irr::scene::SMesh* makeMesh(irr::u32 buffers) {
  auto* mesh = new irr::scene::SMesh;
  for (irr::u32 i = 0; i < buffers; ++i) {
    auto* buffer = new irr::scene::SMeshBuffer;
    irr::core::matrix4 matrix;
    matrix.setTextureTranslate(0.5f, static_cast<float>(i));
    buffer->Material.setTextureMatrix(0, matrix);
    mesh->addMeshBuffer(buffer);
    buffer->drop();
  }
  return mesh;
}

TEST_F(TextureLoaderTest, OversizedImagesShrinkByPowersOfTwoToTheLimit) {
  struct Case {
    irr::u32 width, height, maxPixels, expectedWidth, expectedHeight;
  };
  const Case cases[] = {
      {1024, 1024, 262144, 512, 512},   {1024, 1024, 65536, 256, 256}, {1024, 1024, 1048576, 1024, 1024},
      {2048, 512, 262144, 1024, 256},   {1000, 600, 100000, 250, 150},
  };
  std::vector<irr::video::SMaterial> materials(std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const std::string path = writePng("shrink" + std::to_string(i) + ".png", c.width, c.height);
    requestTexture(kTextureRequired, path.c_str(), &materials[i], 0, c.maxPixels);
  }
  finishLoading();
  processTextureQueue(true);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " at " + std::to_string(c.maxPixels));
    ASSERT_NE(materials[i].getTexture(0), nullptr);
    EXPECT_EQ(sizeAt(materials[i], 0), irr::core::dimension2du(c.expectedWidth, c.expectedHeight));
  }
}

TEST_F(TextureLoaderTest, LowerPriorityNumbersAreTakenFirst) {
  irr::video::SMaterial material;
  const std::string low = writePng("low.png", 4, 4);
  const std::string high = writePng("high.png", 4, 4);
  const std::string required = writePng("required.png", 4, 4);
  requestTexture(kTextureLow, low.c_str(), &material, 0, 1024);
  requestTexture(kTextureHigh, high.c_str(), &material, 1, 1024);
  requestTexture(kTextureRequired, required.c_str(), &material, 2, 1024);
  std::vector<std::pair<irr::u32, irr::u8>> order;
  TextureRequest request;
  irr::u32 priority = 0;
  while (takeTextureRequest(textureLoader, request, priority))
    order.emplace_back(priority, request.layer);
  EXPECT_EQ(order, (std::vector<std::pair<irr::u32, irr::u8>>{{0, 2}, {1, 1}, {3, 0}}));
  // Nothing was loaded: the material still waits for all three.
  EXPECT_EQ(textureLoader.pendingPerMaterial[&material], 3);
}

TEST_F(TextureLoaderTest, PathsDifferingInCaseShareOneLoadOpenedByItsOwnName) {
  irr::video::SMaterial first;
  irr::video::SMaterial second;
  const std::string path = writePng("Tex/Ring.png", 8, 4);
  requestTexture(kTextureRequired, path.c_str(), &first, 0, 1024);
  requestTexture(kTextureRequired, (dir_ / "tex/ring.PNG").string().c_str(), &second, 1, 1024);
  {
    MutexGuard guard(textureLoader.requestLock);
    EXPECT_EQ(textureLoader.queuedPaths.size(), 1u);
    EXPECT_EQ(textureLoader.waiters.size(), 1u);
    EXPECT_EQ(textureLoader.requests[kTextureRequired].size(), 1u);
  }
  finishLoading();
  processTextureQueue(true);
  ASSERT_NE(first.getTexture(0), nullptr);
  EXPECT_EQ(second.getTexture(1), first.getTexture(0));
  EXPECT_EQ(sizeAt(first, 0), irr::core::dimension2du(8, 4));
  EXPECT_TRUE(textureLoader.pendingPerMaterial.empty());
  EXPECT_EQ(completedMaterialCount, 2u);
  // A request after the texture is made takes it at once.
  irr::video::SMaterial third;
  requestTexture(kTextureRequired, (dir_ / "TEX/RING.png").string().c_str(), &third, 2, 1024);
  EXPECT_EQ(third.getTexture(2), first.getTexture(0));
  EXPECT_EQ(queuedTextureCount(), 1u);
}

TEST_F(TextureLoaderTest, AMaterialIsCopiedIntoItsMeshesOnceItsLastTextureArrives) {
  irr::video::SMaterial material;
  material.Shininess = 42.0f;
  irr::scene::SMesh* whole = makeMesh(2);
  irr::scene::SMesh* second = makeMesh(2);
  registerMaterialMesh(&material, whole);
  registerSecondMaterialMesh(&material, second);
  for (irr::u8 layer = 0; layer < 3; ++layer)
    requestTexture(kTextureMedium, writePng("part" + std::to_string(layer) + ".png", 4, 4).c_str(), &material,
                   layer, 1024);
  finishLoading();
  for (int applied = 1; applied <= 3; ++applied) {
    processTextureQueue(false);
    ASSERT_NE(material.getTexture(static_cast<irr::u32>(applied - 1)), nullptr);
    const bool complete = applied == 3;
    SCOPED_TRACE(applied);
    for (irr::u32 i = 0; i < 2; ++i)
      EXPECT_EQ(whole->getMeshBuffer(i)->getMaterial().Shininess == 42.0f, complete);
    EXPECT_EQ(second->getMeshBuffer(1)->getMaterial().Shininess == 42.0f, complete);
  }
  for (irr::u32 layer = 0; layer < 3; ++layer)
    EXPECT_EQ(whole->getMeshBuffer(1)->getMaterial().getTexture(layer), material.getTexture(layer));
  // Buffer 0 of the second mesh is not the material's, and every buffer
  // keeps its own texture matrix.
  EXPECT_NE(second->getMeshBuffer(0)->getMaterial().Shininess, 42.0f);
  EXPECT_EQ(whole->getMeshBuffer(1)->getMaterial().getTextureMatrix(0).getTranslation().Y, 0.0f);
  irr::core::matrix4 expected;
  expected.setTextureTranslate(0.5f, 1.0f);
  EXPECT_EQ(whole->getMeshBuffer(1)->getMaterial().getTextureMatrix(0), expected);
  EXPECT_EQ(completedMaterialCount, 1u);
  // No copy after that: the maps are cleared on the next pump.
  whole->getMeshBuffer(0)->getMaterial().Shininess = 1.0f;
  processTextureQueue(false);
  EXPECT_EQ(whole->getMeshBuffer(0)->getMaterial().Shininess, 1.0f);
  EXPECT_TRUE(textureLoader.meshesByMaterial.empty());
  whole->drop();
  second->drop();
}

TEST_F(TextureLoaderTest, TheFlushAppliesRequiredTexturesOnly) {
  irr::video::SMaterial required;
  irr::video::SMaterial deferred;
  requestTexture(kTextureRequired, writePng("a.png", 4, 4).c_str(), &required, 0, 1024);
  requestTexture(kTextureHigh, writePng("b.png", 4, 4).c_str(), &deferred, 0, 1024);
  requestTexture(kTextureRequired, writePng("c.png", 4, 4).c_str(), &required, 1, 1024);
  finishLoading();
  processTextureQueue(true);
  EXPECT_NE(required.getTexture(0), nullptr);
  EXPECT_NE(required.getTexture(1), nullptr);
  EXPECT_EQ(deferred.getTexture(0), nullptr);
  EXPECT_EQ(textureLoader.deferredResults.size(), 1u);
  processTextureQueue(false);
  EXPECT_NE(deferred.getTexture(0), nullptr);
}

TEST_F(TextureLoaderTest, FailedLoadsLeaveTheirMaterialsPendingUntilTheNextSession) {
  irr::video::SMaterial material;
  irr::scene::SMesh* mesh = makeMesh(1);
  material.Shininess = 42.0f;
  // First session: every texture fails (no file), one of them asked for
  // twice.
  registerMaterialMesh(&material, mesh);
  requestTexture(kTextureRequired, missing("Gone.png").c_str(), &material, 0, 1024);
  requestTexture(kTextureHigh, missing("gone.png").c_str(), &material, 1, 1024);
  requestTexture(kTextureRequired, missing("nodir/other.png").c_str(), &material, 2, 1024);
  requestTexture(kTextureRequired, missing("nodir/./more.png").c_str(), &material, 3, 1024);
  // Missing files of a missing folder keep keys of their own.
  EXPECT_EQ(queuedTextureCount(), 3u);
  finishLoading();
  processTextureQueue(true);
  processTextureQueue(false);
  EXPECT_EQ(textureLoader.pendingPerMaterial[&material], 4);
  EXPECT_EQ(material.getTexture(0), nullptr);
  EXPECT_NE(mesh->getMeshBuffer(0)->getMaterial().Shininess, 42.0f);

  // Second session: a material at the same address with one texture that
  // loads is complete with it.
  resetTextureQueue();
  EXPECT_TRUE(textureLoader.pendingPerMaterial.empty());
  registerMaterialMesh(&material, mesh);
  requestTexture(kTextureRequired, writePng("ok.png", 4, 4).c_str(), &material, 0, 1024);
  finishLoading();
  processTextureQueue(true);
  EXPECT_NE(material.getTexture(0), nullptr);
  EXPECT_EQ(mesh->getMeshBuffer(0)->getMaterial().Shininess, 42.0f);
  EXPECT_EQ(completedMaterialCount, 1u);
  mesh->drop();
}

// A session that ends before its textures were applied (a finished image
// not yet pumped, a request not yet taken) frees its materials and meshes:
// the next session's reset drops all of it, and its pump touches none of
// the freed objects (the sanitizer build would catch it).
TEST_F(TextureLoaderTest, WhatAnEndedSessionLeftNeverReachesTheNextSession) {
  auto* material = new irr::video::SMaterial;
  irr::scene::SMesh* mesh = makeMesh(2);
  registerMaterialMesh(material, mesh);
  registerSecondMaterialMesh(material, mesh);
  requestTexture(kTextureHigh, writePng("finished.png", 4, 4).c_str(), material, 0, 1024);
  finishLoading();
  requestTexture(kTextureLow, writePng("untaken.png", 4, 4).c_str(), material, 1, 1024);
  ASSERT_EQ(textureLoader.deferredResults.size(), 1u);
  delete material;
  mesh->drop();

  resetTextureQueue();
  EXPECT_TRUE(textureLoader.deferredResults.empty());
  EXPECT_TRUE(textureLoader.meshesByMaterial.empty());
  EXPECT_TRUE(textureLoader.secondMaterialMeshes.empty());
  TextureRequest request;
  irr::u32 priority = 0;
  EXPECT_FALSE(takeTextureRequest(textureLoader, request, priority));

  irr::video::SMaterial fresh;
  requestTexture(kTextureMedium, writePng("fresh.png", 4, 4).c_str(), &fresh, 0, 1024);
  finishLoading();
  for (int pass = 0; pass < 3; ++pass)
    processTextureQueue(false);
  EXPECT_NE(fresh.getTexture(0), nullptr);
  EXPECT_EQ(completedMaterialCount, 1u);
}

TEST_F(TextureLoaderTest, SessionsInARowRunTheLoaderThreadBesideTheMainThread) {
  const std::string shared = writePng("shared.png", 16, 16);
  const std::string other = writePng("other.png", 32, 8);
  for (int run = 0; run < 20; ++run) {
    SCOPED_TRACE(run);
    resetTextureQueue();
    Thread loaderThread;
    ASSERT_TRUE(loaderThread.start(textureLoaderThread, &textureLoader, true));
    irr::video::SMaterial first;
    irr::video::SMaterial second;
    requestTexture(kTextureRequired, shared.c_str(), &first, 0, 1024);
    requestTexture(kTextureLow, other.c_str(), &first, 1, 1024);
    requestTexture(kTextureHigh, shared.c_str(), &second, 0, 1024);
    requestTexture(kTextureRequired, missing("none.png").c_str(), &second, 1, 1024);
    textureLoader.stopRequested.store(true);
    processTextureQueue(true);
    // The pump finishes the rest; the thread ends by itself.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!(textureLoader.stopped.load() && textureLoader.queuedPaths.empty()) &&
           std::chrono::steady_clock::now() < deadline) {
      processTextureQueue(false);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(loaderThread.waitForExit(60000));
    EXPECT_NE(first.getTexture(0), nullptr);
    EXPECT_NE(first.getTexture(1), nullptr);
    EXPECT_EQ(second.getTexture(0), first.getTexture(0));
    // The missing file keeps the second material waiting.
    EXPECT_EQ(textureLoader.pendingPerMaterial[&second], 1);
  }
}

}  // namespace

}  // namespace texture_loader_test
