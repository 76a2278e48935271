// The particle layer's material request callback: copies of registered
// materials, the error material for any other name.
#include "app/resource_fetcher.h"

#include <gtest/gtest.h>

#include "gfx/gfx_resources.h"

namespace resource_fetcher_test {

namespace {

class ResourceFetcherTest : public testing::Test {
 protected:
  void SetUp() override {
    savedError_ = gfxResources.errorMaterial;
    gfxResources.errorMaterial.Thickness = 7.0f;
    registered_ = new irr::video::SMaterial;
    registered_->MaterialType = irr::video::EMT_TRANSPARENT_ADD_COLOR;
    registered_->Shininess = 3.0f;
    NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, L"hull").value = registered_;
  }
  void TearDown() override {
    clearGfxResources(gfxResources);
    gfxResources.errorMaterial = savedError_;
  }

  irr::video::SMaterial savedError_;
  irr::video::SMaterial* registered_ = nullptr;
};

TEST_F(ResourceFetcherTest, AnUnknownNameGivesTheErrorMaterial) {
  for (const wchar_t* name : {L"nope", L"Hull", L""}) {
    SCOPED_TRACE(irr::core::stringc(name).c_str());
    irr::video::SMaterial material;
    material.Shininess = 99.0f;
    EXPECT_FALSE(resourceFetcher.requestMaterial(name, material));
    EXPECT_EQ(material, gfxResources.errorMaterial);
    EXPECT_EQ(material.Thickness, 7.0f);
  }
}

TEST_F(ResourceFetcherTest, TwoRequestsGiveEqualCopiesOfTheRegisteredMaterial) {
  irr::video::SMaterial first;
  irr::video::SMaterial second;
  EXPECT_TRUE(resourceFetcher.requestMaterial(L"hull", first));
  EXPECT_TRUE(resourceFetcher.requestMaterial(L"hull", second));
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, *registered_);
  EXPECT_EQ(first.MaterialType, irr::video::EMT_TRANSPARENT_ADD_COLOR);
  // Copies: changing one changes neither the other nor the registry's.
  first.Shininess = 50.0f;
  EXPECT_EQ(second.Shininess, 3.0f);
  EXPECT_EQ(registered_->Shininess, 3.0f);
  // Asked to fill the registry's own material, it stays as it is.
  EXPECT_TRUE(resourceFetcher.requestMaterial(L"hull", *registered_));
  EXPECT_EQ(registered_->Shininess, 3.0f);
}

}  // namespace

}  // namespace resource_fetcher_test
