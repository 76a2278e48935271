#include "app/galaxy_backdrop.h"

#include <irrlicht.h>

#include <cmath>
#include <cstdlib>

#include "app/base/config.h"
#include "core/random.h"

namespace {

constexpr int kBillboards = 250;
constexpr double kNearest = 1000000.0;
constexpr double kDepth = 49000000.0;
constexpr float kSmallest = 150000.0f;
constexpr float kLargest = 600000.0f;
constexpr float kTwoPi = 6.28318530717958647692f;
constexpr float kPi = 3.14159265358979323846f;
constexpr int kMaterials = 9;

irr::scene::ISceneNode* backdrop = nullptr;

// The tint: red for 0 and 1, blue for 2 and 3, grey for 4, each faded by a
// strength drawn after the choice.
irr::video::SColor drawTint() {
  const int choice = processRandom() % 5;
  if (choice <= 1) {
    const irr::u32 c = static_cast<irr::u32>(processRandom() % 100 + 20);
    return irr::video::SColor(255, 255, 255 - c, 255 - c);
  }
  if (choice <= 3) {
    const irr::u32 c = static_cast<irr::u32>(processRandom() % 100 + 20);
    return irr::video::SColor(255, 255 - c, 255 - c, 255);
  }
  const irr::u32 c = static_cast<irr::u32>(processRandom() % 50);
  return irr::video::SColor(255, 255 - c, 255 - c, 255 - c);
}

void addBillboard(irr::scene::ISceneManager* scene, NamedMaterialLookup materials) {
  const double r = std::sqrt(static_cast<double>(randomf(1.0f))) * kDepth + kNearest;
  const float a = randomf(kTwoPi);
  const float b = randomf(kTwoPi) - kPi;
  const irr::video::SColor tint = drawTint();
  const float width = randomf(kSmallest, kLargest);
  const float height = randomf(kSmallest, kLargest);
  const int number = processRandom() % kMaterials + 1;

  const double across = std::cos(b) * r;
  const irr::core::vector3df position(static_cast<float>(across * std::cos(a)), static_cast<float>(std::sin(b) * r),
                                      static_cast<float>(across * std::sin(a)));
  irr::scene::IBillboardSceneNode* billboard =
      scene->addBillboardSceneNode(backdrop, irr::core::dimension2df(width, height), position);
  if (billboard == nullptr)
    return;
  irr::core::stringc name = "dist_glx_";
  name += number;
  const irr::video::SMaterial* material = materials != nullptr ? materials(name) : nullptr;
  if (material != nullptr)
    billboard->getMaterial(0) = *material;
  billboard->getMaterial(0).DiffuseColor = tint;
}

}  // namespace

irr::scene::ISceneNode* createGalaxyBackdrop(irr::scene::ISceneManager* scene, NamedMaterialLookup materials) {
  removeGalaxyBackdrop();
  if (!bDisplayBackground || scene == nullptr)
    return nullptr;
  backdrop = scene->addEmptySceneNode();
  if (backdrop == nullptr)
    return nullptr;
  backdrop->grab();
  for (int i = 0; i < kBillboards; ++i)
    addBillboard(scene, materials);
  return backdrop;
}

void removeGalaxyBackdrop() {
  if (backdrop == nullptr)
    return;
  backdrop->remove();
  backdrop->drop();
  backdrop = nullptr;
}
