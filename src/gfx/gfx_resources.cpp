#include "gfx/gfx_resources.h"

#include <unordered_set>

#include "app/base/engine.h"
#include "core/locale.h"
#include "core/locks.h"
#include "gfx/active_effects.h"
#include "gfx/shader_desc.h"
#include "core/log.h"
#include "platform/engine/engine_textures.h"

// Made at process start in this order: the registry, then the active effect
// list and its lock.
GfxResourceRegistry gfxResources;
irr::core::array<gfx_base*> activeGfxEffects;
Mutex* activeGfxEffectsLock = createMutex();

// Shader descriptors: read by our own reader.
GfxLoadHooks gfxLoadHooks = [] {
  GfxLoadHooks hooks;
  hooks.loadShaderDescriptors = loadShaderDescriptors;
  return hooks;
}();

namespace {

constexpr irr::u32 kErrorImageSide = 16;
constexpr irr::u32 kErrorSquareSide = 8;
constexpr irr::u32 kErrorMagenta = 0xFFFF00FF;
constexpr irr::u32 kErrorBlack = 0xFF000000;

// Texture limits in pixels, by texture quality 0 to 4.
constexpr irr::u32 kTextureLimits[] = {65536, 262144, 1048576, 4194304, 104857600};

struct PlanetSphere {
  const char* meshName;  // null: the mesh of the model "planet"
  irr::u32 around;
  irr::u32 down;
  const wchar_t* modelName;
};
constexpr PlanetSphere kPlanetSpheres[] = {
    {"plMeshL", 8, 4, L"sphereLo"},     {"plMesh", 16, 8, L"planet"},     {nullptr, 0, 0, L"sphereMd"},
    {"plMeshMp", 32, 16, L"sphereMd+"}, {"plMeshH", 64, 32, L"sphereHi"},
};

void showText(void (*showLoadingScreen)(const wchar_t*), const wchar_t* key) {
  if (showLoadingScreen != nullptr)
    showLoadingScreen(getLocalizedText(key));
}

void readEach(std::vector<irr::core::stringc>* files, void (*read)(const irr::core::stringc&)) {
  if (files == nullptr)
    return;
  for (const irr::core::stringc& path : *files)
    if (read != nullptr)
      read(path);
  files->clear();
}

void makeErrorModel(GfxResourceRegistry& registry) {
  if (engine.scene == nullptr)
    return;
  irr::scene::IAnimatedMesh* mesh =
      engine.scene->addArrowMesh("ERRORMESH", irr::video::SColor(0xFFFF0000), irr::video::SColor(0xFFFFFFFF), 4, 8,
                                 1.0f, 0.6f, 0.05f, 0.3f);
  if (mesh == nullptr)
    mesh = engine.scene->getMeshCache()->getMeshByName("ERRORMESH");
  if (mesh == nullptr)
    return;
  mesh->setMaterialFlag(irr::video::EMF_LIGHTING, false);
  mesh->grab();
  if (registry.errorModel.mesh != nullptr)
    registry.errorModel.mesh->drop();
  registry.errorModel.mesh = mesh;
}

void makeErrorTexture(GfxResourceRegistry& registry) {
  irr::video::IVideoDriver* driver = engine.driver;
  irr::video::IImage* image = createErrorImage(driver);
  if (image == nullptr)
    return;
  // The previous session's texture of that name leaves the driver first.
  if (irr::video::ITexture* old = driver->findTexture("ERRORTEXTURE"))
    plat::removeTexture(driver, old);
  irr::video::ITexture* texture = plat::addImageTexture(driver, "ERRORTEXTURE", image);
  image->drop();
  if (texture == nullptr)
    return;
  texture->grab();
  if (registry.errorTexture != nullptr)
    registry.errorTexture->drop();
  registry.errorTexture = texture;
}

// Registers `mesh` as the model `name` unless that name has a model already.
void registerSphere(GfxResourceRegistry& registry, irr::scene::IAnimatedMesh* mesh, const wchar_t* name) {
  if (mesh == nullptr)
    return;
  ModelRef*& slot = NamedVar<ModelRef*>::getOrAdd(registry.models, name).value;
  if (slot != nullptr) {
    logError("Attempted to overwrite mesh \"%ls\"\n", name);
    return;
  }
  slot = new ModelRef(mesh);
  mesh->setHardwareMappingHint(irr::scene::EHM_STATIC, irr::scene::EBT_VERTEX_AND_INDEX);
}

void registerPlanetSpheres(GfxResourceRegistry& registry) {
  if (engine.scene == nullptr)
    return;
  for (const PlanetSphere& sphere : kPlanetSpheres) {
    irr::scene::IAnimatedMesh* mesh = nullptr;
    if (sphere.meshName != nullptr) {
      // A name the mesh cache has already is not the engine's new mesh.
      if (engine.scene->getMeshCache()->getMeshByName(sphere.meshName) == nullptr)
        mesh = engine.scene->addSphereMesh(sphere.meshName, 1.0f, sphere.around, sphere.down);
    } else {
      ModelRef* const* planet = findNamedValue<ModelRef*>(registry.models, L"planet");
      mesh = planet != nullptr && *planet != nullptr ? (*planet)->mesh : registry.errorModel.mesh;
    }
    registerSphere(registry, mesh, sphere.modelName);
  }
}

void loadErrorSound(GfxResourceRegistry& registry) {
  if (gfxLoadHooks.loadSoundSource == nullptr)
    return;
  audio::ISoundSource* sound = gfxLoadHooks.loadSoundSource("sounds/error.wav");
  if (registry.errorSound != nullptr && gfxLoadHooks.dropSoundSource != nullptr)
    gfxLoadHooks.dropSoundSource(registry.errorSound);
  registry.errorSound = sound;
}

void deleteMaterials(GfxResourceRegistry& registry) {
  for (irr::u32 i = 0; i < registry.materials.size(); ++i)
    delete registry.materials[i].value;
  registry.materials.clear();
}

// Frees every record of the models registry and the lower levels of detail
// they lead to, each once (a level may also be registered by name).
void deleteModels(GfxResourceRegistry& registry) {
  std::unordered_set<ModelRef*> records;
  for (irr::u32 i = 0; i < registry.models.size(); ++i)
    for (ModelRef* model = registry.models[i].value; model != nullptr && model != &registry.errorModel;
         model = model->nextLevel)
      if (!records.insert(model).second)
        break;
  for (ModelRef* model : records)
    delete model;
  registry.models.clear();
}

}  // namespace

GfxResourceRegistry::~GfxResourceRegistry() {
  deleteMaterials(*this);
  if (errorTexture != nullptr)
    errorTexture->drop();
  if (errorModel.mesh != nullptr)
    errorModel.mesh->drop();
}

bool textureLimitForQuality(int32_t quality, irr::u32& limit) {
  if (quality < 0 || quality >= static_cast<int32_t>(sizeof(kTextureLimits) / sizeof(kTextureLimits[0])))
    return false;
  limit = kTextureLimits[quality];
  return true;
}

irr::video::IImage* createErrorImage(irr::video::IVideoDriver* driver) {
  if (driver == nullptr)
    return nullptr;
  auto* pixels = new irr::u32[kErrorImageSide * kErrorImageSide];
  for (irr::u32 y = 0; y < kErrorImageSide; ++y)
    for (irr::u32 x = 0; x < kErrorImageSide; ++x)
      pixels[y * kErrorImageSide + x] =
          ((x < kErrorSquareSide) != (y < kErrorSquareSide)) ? kErrorMagenta : kErrorBlack;
  // The image takes the buffer and frees it.
  irr::video::IImage* image = driver->createImageFromData(
      irr::video::ECF_A8R8G8B8, irr::core::dimension2du(kErrorImageSide, kErrorImageSide), pixels, true, true);
  if (image == nullptr)
    delete[] pixels;
  return image;
}

void initGfxResources(const GfxDescriptorLists& lists, int32_t textureQuality,
                      void (*showLoadingScreen)(const wchar_t* text)) {
  GfxResourceRegistry& registry = gfxResources;

  // 1-3. The fallbacks.
  makeErrorModel(registry);
  makeErrorTexture(registry);
  registry.errorMaterial = irr::video::SMaterial();
  registry.errorMaterial.setTexture(0, registry.errorTexture);

  // 4-5.
  if (lists.shaders != nullptr) {
    for (const irr::core::stringc& path : *lists.shaders)
      if (gfxLoadHooks.loadShaderDescriptors != nullptr)
        gfxLoadHooks.loadShaderDescriptors(registry, path, false);
    lists.shaders->clear();
  }
  showText(showLoadingScreen, L"#EV_ShadersInit");
  showText(showLoadingScreen, L"#EV_MaterialsInit");

  // 6-7. Materials load with the texture quality's limit.
  const irr::u32 keptLimit = plat::getTextureLimit(engine.driver);
  irr::u32 limit = 0;
  if (textureLimitForQuality(textureQuality, limit))
    plat::setTextureLimit(engine.driver, limit);
  readEach(lists.materials, gfxLoadHooks.loadMaterialDescriptors);
  plat::setTextureLimit(engine.driver, keptLimit);

  // 8-9.
  showText(showLoadingScreen, L"#EV_MaterialsDone");
  showText(showLoadingScreen, L"#EV_ModelsInit");
  readEach(lists.models, gfxLoadHooks.loadModelDescriptors);
  showText(showLoadingScreen, L"#EV_ModelsDone");

  // 10-13.
  registerPlanetSpheres(registry);
  loadErrorSound(registry);
  if (lists.sounds != nullptr) {
    for (const irr::core::stringc& path : *lists.sounds)
      if (gfxLoadHooks.loadSoundDescriptors != nullptr)
        gfxLoadHooks.loadSoundDescriptors(registry, path);
    lists.sounds->clear();
  }
  showText(showLoadingScreen, L"#EV_SoundInit");
}

void clearGfxResources(GfxResourceRegistry& registry) {
  deleteMaterials(registry);
  registry.materialTypes.clear();

  if (engine.driver != nullptr)
    engine.driver->setMaterial(irr::video::SMaterial());
  // Sprite banks hold textures of the session; the GUI environment's other
  // elements stay.
  if (gfxLoadHooks.releaseSessionSpriteBanks != nullptr)
    gfxLoadHooks.releaseSessionSpriteBanks();

  for (irr::u32 i = 0; i < registry.textures.size(); ++i)
    if (registry.textures[i].value != registry.errorTexture)
      plat::removeTexture(engine.driver, registry.textures[i].value);
  registry.textures.clear();
  deleteModels(registry);

  if (engine.scene != nullptr)
    engine.scene->getMeshCache()->clear();

  for (irr::u32 i = 0; i < registry.sounds.size(); ++i)
    if (registry.sounds[i].value != nullptr && gfxLoadHooks.dropSoundSource != nullptr)
      gfxLoadHooks.dropSoundSource(registry.sounds[i].value);
  registry.sounds.clear();
  // The music tracks' sources are counted by their music list.
  registry.musicSounds.clear();
}

uint32_t namedMaterialTextureMemoryKB(GfxResourceRegistry& registry) {
  uint64_t bytes = 0;
  for (irr::u32 i = 0; i < registry.materials.size(); ++i) {
    const irr::video::SMaterial* material = registry.materials[i].value;
    if (material == nullptr)
      continue;
    for (irr::u32 layer = 0; layer < irr::video::MATERIAL_MAX_TEXTURES; ++layer) {
      irr::video::ITexture* texture = material->getTexture(layer);
      if (texture == nullptr)
        continue;
      const irr::core::dimension2du size = plat::textureSize(texture);
      uint64_t pitch = texture->getPitch();
      if (pitch == 0)  // the null driver keeps no pixels
        pitch = static_cast<uint64_t>(size.Width) *
                irr::video::IImage::getBitsPerPixelFromFormat(texture->getColorFormat()) / 8;
      uint64_t layerBytes = pitch * size.Height;
      if (texture->hasMipMaps())
        layerBytes = layerBytes * 4 / 3;
      bytes += layerBytes;
    }
  }
  return static_cast<uint32_t>(bytes / 1024);
}

ModelRef* getModelRef(const irr::core::stringw& name) {
  ModelRef** found = findNamedValue<ModelRef*>(gfxResources.models, name);
  return found != nullptr && *found != nullptr ? *found : &gfxResources.errorModel;
}

irr::video::SMaterial* getMaterial(const irr::core::stringw& name) {
  irr::video::SMaterial** found = findNamedValue<irr::video::SMaterial*>(gfxResources.materials, name);
  return found != nullptr && *found != nullptr ? *found : &gfxResources.errorMaterial;
}

audio::ISoundSource* getSoundSource(const irr::core::stringw& name) {
  audio::ISoundSource** found = findNamedValue<audio::ISoundSource*>(gfxResources.sounds, name);
  return found != nullptr && *found != nullptr ? *found : gfxResources.errorSound;
}

bool endsWithNoCase(const wchar_t* text, const wchar_t* ending) {
  if (text == nullptr || ending == nullptr)
    return false;
  size_t textLength = 0;
  while (text[textLength] != 0)
    ++textLength;
  size_t endingLength = 0;
  while (ending[endingLength] != 0)
    ++endingLength;
  if (endingLength > textLength)
    return false;
  const auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
  const wchar_t* tail = text + (textLength - endingLength);
  for (size_t i = 0; i < endingLength; ++i)
    if (lower(tail[i]) != lower(ending[i]))
      return false;
  return true;
}
