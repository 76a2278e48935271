#include "gfx/texture_loader.h"

#include <initializer_list>
#include <vector>

#include "app/base/engine.h"
#include "platform/engine/engine_textures.h"
#include "platform/thread.h"

using irr::core::stringc;

TextureLoader textureLoader;
irr::u32 completedMaterialCount = 0;

namespace {

constexpr unsigned kIdleSleepMs = 16;
constexpr unsigned kImageSleepMs = 4;
constexpr irr::u8 kMaterialLayers = 4;

stringc lowerAsciiCase(const stringc& text) {
  stringc out = text;
  for (irr::u32 i = 0; i < out.size(); ++i)
    if (out[i] >= 'A' && out[i] <= 'Z')
      out[i] = static_cast<char>(out[i] - 'A' + 'a');
  return out;
}

// The path from the root, with ".", ".." and doubled separators resolved in
// the text. (The engine's own absolute path asks the file system, which cuts
// the path of a file that does not exist at its first missing folder: two
// missing files of one folder would share a key.)
stringc absolutePath(const stringc& path) {
  stringc full = path;
  full.replace('\\', '/');
  if ((full.size() == 0 || full[0] != '/') && engine.fileSystem != nullptr)
    full = stringc(engine.fileSystem->getWorkingDirectory()) + "/" + full;
  std::vector<stringc> steps;
  irr::u32 begin = 0;
  while (begin <= full.size()) {
    irr::s32 slash = full.findNext('/', begin);
    const irr::u32 end = slash < 0 ? full.size() : static_cast<irr::u32>(slash);
    const stringc step = full.subString(begin, end - begin);
    if (step == "..") {
      if (!steps.empty())
        steps.pop_back();
    } else if (step.size() != 0 && step != ".") {
      steps.push_back(step);
    }
    begin = end + 1;
  }
  stringc out;
  for (const stringc& step : steps)
    out += stringc("/") + step;
  return out.size() == 0 ? stringc("/") : out;
}

// Copies `material` over `target`, keeping the target's texture matrices.
void copyKeepingMatrices(irr::video::SMaterial& material, irr::video::SMaterial& target) {
  irr::core::matrix4 kept[irr::video::MATERIAL_MAX_TEXTURES];
  for (irr::u32 i = 0; i < irr::video::MATERIAL_MAX_TEXTURES; ++i) {
    material.TextureLayer[i].getTextureMatrix();
    kept[i] = target.TextureLayer[i].getTextureMatrix();
  }
  target = material;
  for (irr::u32 i = 0; i < irr::video::MATERIAL_MAX_TEXTURES; ++i)
    target.TextureLayer[i].setTextureMatrix(kept[i]);
}

// Counts one delivered texture of `material`; true when it was its last.
bool countDelivered(TextureLoader& loader, irr::video::SMaterial* material) {
  auto pending = loader.pendingPerMaterial.find(material);
  if (pending == loader.pendingPerMaterial.end())
    return false;
  if (pending->second > 0)
    --pending->second;
  if (pending->second != 0)
    return false;
  loader.pendingPerMaterial.erase(pending);
  return true;
}

void applyAndFree(TextureLoader& loader, std::list<LoadedTexture>& results) {
  LoadedTexture& front = results.front();
  applyLoadedTexture(loader, front);
  results.pop_front();
}

}  // namespace

void requestTexture(irr::u32 priority, const stringc& path, irr::video::SMaterial* material, irr::u8 layer,
                    irr::u32 maxPixels) {
  TextureLoader& loader = textureLoader;
  if (priority >= kTexturePriorities)
    priority = kTextureLow;
  const stringc filePath = absolutePath(path);
  const stringc key = lowerAsciiCase(filePath);
  MutexGuard guard(loader.requestLock);
  auto queued = loader.queuedPaths.find(key);
  if (queued == loader.queuedPaths.end()) {
    loader.queuedPaths.emplace(key, nullptr);
    loader.requests[priority].push_back(TextureRequest{key, filePath, material, layer, maxPixels});
    ++loader.pendingPerMaterial[material];
  } else if (queued->second != nullptr) {
    if (layer < kMaterialLayers && material != nullptr)
      material->setTexture(layer, queued->second);
  } else {
    loader.waiters.emplace(key, TextureWaiter{material, layer});
    ++loader.pendingPerMaterial[material];
  }
}

void registerMaterialMesh(irr::video::SMaterial* material, irr::scene::IMesh* mesh) {
  textureLoader.meshesByMaterial.emplace(material, mesh);
}

void registerSecondMaterialMesh(irr::video::SMaterial* material, irr::scene::IMesh* mesh) {
  textureLoader.secondMaterialMeshes.emplace(material, mesh);
}

bool takeTextureRequest(TextureLoader& loader, TextureRequest& out, irr::u32& priority) {
  MutexGuard guard(loader.requestLock);
  for (irr::u32 i = 0; i < kTexturePriorities; ++i) {
    if (!loader.requests[i].empty()) {
      out = loader.requests[i].front();
      loader.requests[i].pop_front();
      priority = i;
      return true;
    }
  }
  return false;
}

irr::video::IImage* shrinkImageToLimit(irr::video::IVideoDriver* driver, irr::video::IImage* image,
                                       irr::u32 maxPixels) {
  const irr::core::dimension2du size = image->getDimension();
  const irr::u64 pixels = static_cast<irr::u64>(size.Width) * size.Height;
  if (pixels <= maxPixels)
    return image;
  irr::u64 factor = 2;
  while (pixels / (factor * factor) > maxPixels)
    factor *= 2;
  const irr::core::dimension2du shrunk(static_cast<irr::u32>(size.Width / factor),
                                       static_cast<irr::u32>(size.Height / factor));
  if (shrunk.Width == 0 || shrunk.Height == 0) {
    // Nothing is left of it at that limit: no texture.
    image->drop();
    return nullptr;
  }
  irr::video::IImage* smaller = driver->createImage(image->getColorFormat(), shrunk);
  if (smaller != nullptr)
    image->copyToScaling(smaller);
  image->drop();
  return smaller;
}

uint32_t textureLoaderThread(void* argument) {
  TextureLoader& loader = *static_cast<TextureLoader*>(argument);
  for (;;) {
    TextureRequest request;
    irr::u32 priority = 0;
    if (!takeTextureRequest(loader, request, priority)) {
      if (loader.stopRequested.load()) {
        loader.stopped.store(true);
        return 0;
      }
      plat::sleepMs(kIdleSleepMs);
      continue;
    }
    irr::video::IVideoDriver* driver = engine.driver;
    irr::video::IImage* image = driver != nullptr ? driver->createImageFromFile(request.filePath) : nullptr;
    if (image != nullptr)
      image = shrinkImageToLimit(driver, image, request.maxPixels);
    if (image != nullptr) {
      MutexGuard guard(loader.resultLock);
      std::list<LoadedTexture>& results = priority == kTextureRequired ? loader.requiredResults : loader.deferredResults;
      results.push_back(LoadedTexture{request.path, image, request.material, request.layer});
    }
    plat::sleepMs(kImageSleepMs);
  }
}

void applyLoadedTexture(TextureLoader& loader, LoadedTexture& result) {
  irr::video::ITexture* texture = nullptr;
  if (engine.driver != nullptr) {
    const stringc name = stringc("$cache_") + stringc(completedMaterialCount);
    texture = plat::addImageTexture(engine.driver, name, result.image);
  }
  result.image->drop();
  result.image = nullptr;
  if (texture == nullptr)
    return;
  if (result.layer < kMaterialLayers && result.material != nullptr)
    result.material->setTexture(result.layer, texture);
  {
    MutexGuard guard(loader.requestLock);
    loader.queuedPaths[result.path] = texture;
    auto range = loader.waiters.equal_range(result.path);
    for (auto waiter = range.first; waiter != range.second; ++waiter) {
      irr::video::SMaterial* material = waiter->second.material;
      if (waiter->second.layer < kMaterialLayers && material != nullptr)
        material->setTexture(waiter->second.layer, texture);
      if (countDelivered(loader, material)) {
        refreshMaterialUsers(loader, material);
        ++completedMaterialCount;
      }
    }
    loader.waiters.erase(range.first, range.second);
  }
  if (countDelivered(loader, result.material)) {
    ++completedMaterialCount;
    refreshMaterialUsers(loader, result.material);
  }
}

void refreshMaterialUsers(TextureLoader& loader, irr::video::SMaterial* material) {
  if (material == nullptr)
    return;
  auto all = loader.meshesByMaterial.equal_range(material);
  for (auto entry = all.first; entry != all.second; ++entry) {
    irr::scene::IMesh* mesh = entry->second;
    for (irr::u32 i = 0; i < mesh->getMeshBufferCount(); ++i)
      copyKeepingMatrices(*material, mesh->getMeshBuffer(i)->getMaterial());
  }
  auto second = loader.secondMaterialMeshes.equal_range(material);
  for (auto entry = second.first; entry != second.second; ++entry) {
    irr::scene::IMesh* mesh = entry->second;
    if (mesh->getMeshBufferCount() > 1)
      copyKeepingMatrices(*material, mesh->getMeshBuffer(1)->getMaterial());
  }
}

void processTextureQueue(bool flushRequired) {
  TextureLoader& loader = textureLoader;
  // Once the thread has ended it touches nothing more: the lists are ours.
  if (loader.stopped.load() && loader.requiredResults.empty() && loader.deferredResults.empty()) {
    loader.queuedPaths.clear();
    loader.meshesByMaterial.clear();
    loader.secondMaterialMeshes.clear();
    return;
  }
  MutexGuard guard(loader.resultLock);
  if (flushRequired) {
    while (!loader.requiredResults.empty())
      applyAndFree(loader, loader.requiredResults);
    bool requiredLeft = false;
    {
      MutexGuard requestGuard(loader.requestLock);
      requiredLeft = !loader.requests[kTextureRequired].empty();
    }
    if (requiredLeft)
      plat::sleepMs(kImageSleepMs);
    return;
  }
  if (!loader.requiredResults.empty())
    applyAndFree(loader, loader.requiredResults);
  else if (!loader.deferredResults.empty())
    applyAndFree(loader, loader.deferredResults);
}

void resetTextureQueue() {
  TextureLoader& loader = textureLoader;
  completedMaterialCount = 0;
  // A session that ended before its loading was over may have left
  // requests and finished images for its materials, and meshes registered
  // for them: all of those are gone now, so none of it may reach the new
  // session.
  {
    MutexGuard guard(loader.resultLock);
    for (std::list<LoadedTexture>* results : {&loader.requiredResults, &loader.deferredResults}) {
      for (LoadedTexture& result : *results)
        if (result.image != nullptr)
          result.image->drop();
      results->clear();
    }
  }
  {
    MutexGuard guard(loader.requestLock);
    loader.queuedPaths.clear();
    loader.waiters.clear();
    for (std::list<TextureRequest>& requests : loader.requests)
      requests.clear();
  }
  loader.meshesByMaterial.clear();
  loader.secondMaterialMeshes.clear();
  // A material of the last session whose textures never came must not pass
  // its count on to one of this session at the same address.
  loader.pendingPerMaterial.clear();
  loader.stopRequested.store(false);
  loader.stopped.store(false);
}

irr::u32 queuedTextureCount() {
  MutexGuard guard(textureLoader.requestLock);
  return static_cast<irr::u32>(textureLoader.queuedPaths.size());
}
