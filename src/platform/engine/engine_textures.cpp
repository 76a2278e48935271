#include "platform/engine/engine_textures.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace plat {

namespace {

std::atomic<irr::u32> textureLimit{kDefaultTextureLimit};

// Textures are made on the main thread and by the texture loader's thread.
std::mutex sizesLock;
std::unordered_map<const irr::video::ITexture*, irr::core::dimension2du>& sizes() {
  static auto* table = new std::unordered_map<const irr::video::ITexture*, irr::core::dimension2du>;
  return *table;
}

}  // namespace

irr::u32 getTextureLimit(const irr::video::IVideoDriver*) { return textureLimit.load(); }

void setTextureLimit(irr::video::IVideoDriver*, irr::u32 pixels) { textureLimit.store(pixels); }

void recordTextureSize(const irr::video::ITexture* texture, const irr::core::dimension2du& size) {
  if (texture == nullptr)
    return;
  const std::lock_guard<std::mutex> guard(sizesLock);
  sizes()[texture] = size;
}

irr::video::ITexture* addImageTexture(irr::video::IVideoDriver* driver, const irr::io::path& name,
                                      irr::video::IImage* image) {
  if (driver == nullptr || image == nullptr)
    return nullptr;
  irr::video::ITexture* texture = driver->addTexture(name, image);
  recordTextureSize(texture, image->getDimension());
  return texture;
}

irr::video::ITexture* loadTextureFile(irr::video::IVideoDriver* driver, const irr::io::path& file) {
  if (driver == nullptr)
    return nullptr;
  if (irr::video::ITexture* known = driver->findTexture(file))
    return known;
  irr::video::IImage* image = driver->createImageFromFile(file);
  if (image == nullptr)
    return nullptr;
  irr::video::ITexture* texture = addImageTexture(driver, file, image);
  image->drop();
  return texture;
}

irr::core::dimension2du textureSize(const irr::video::ITexture* texture) {
  if (texture == nullptr)
    return irr::core::dimension2du(0, 0);
  {
    const std::lock_guard<std::mutex> guard(sizesLock);
    const auto found = sizes().find(texture);
    if (found != sizes().end())
      return found->second;
  }
  return texture->getOriginalSize();
}

void removeTexture(irr::video::IVideoDriver* driver, irr::video::ITexture* texture) {
  if (texture == nullptr)
    return;
  {
    const std::lock_guard<std::mutex> guard(sizesLock);
    sizes().erase(texture);
  }
  if (driver != nullptr)
    driver->removeTexture(texture);
}

void forgetTextureSizes() {
  const std::lock_guard<std::mutex> guard(sizesLock);
  sizes().clear();
}

}  // namespace plat
